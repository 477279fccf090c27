#!/bin/bash
# Installs what is missing, builds, and runs every test (unit, harness and
# script tests) under Wine with ctest; ctest's summary ends the output.
#   scripts/test.sh [--checked] [ctest arguments...]
# --checked (or QRV_PRESET=checked) builds and tests the checked
# configuration in build-checked/ (undefined behaviour traps, standard
# library assertions on). Its Wine prefix is build-checked/wine, so the two
# suites never share a wineserver: each run's clean-up stops its own.
# Other arguments go to ctest (for example -R script/ to run a subset).
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$ROOT/scripts/preset.sh"
dir="$QRV_BUILD_DIR"
if [ "$QRV_PRESET" = checked ]; then export WINEPREFIX="${WINEPREFIX:-$ROOT/$dir/wine}"; fi
"$ROOT/scripts/setup.sh"
QRV_PRESET="$QRV_PRESET" "$ROOT/scripts/build.sh"

source "$ROOT/scripts/wine-env.sh"
cleanup() {
  timeout 20 wineserver -k >/dev/null 2>&1 || true
  qrv_display_stop
}
trap cleanup EXIT
qrv_display_start
qrv_wine_init
# One wineserver for the whole run spares every test its start-up; booting
# it here, with its output going nowhere, keeps Wine's own services from
# holding a test's output pipe open.
wineserver -p >/dev/null 2>&1 || true
timeout 120 wine wineboot >/dev/null 2>&1 || true

cd "$ROOT/$dir"
ctest --output-on-failure -j2 --timeout 120 "$@"
