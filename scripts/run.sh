#!/bin/bash
# Builds and runs the product: Quorivance.exe (the embedded script) by
# default, or qrv.exe with the given script file and parameters.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$ROOT/scripts/setup.sh"
"$ROOT/scripts/build.sh" Quorivance qrv

source "$ROOT/scripts/wine-env.sh"
trap qrv_display_stop EXIT
qrv_display_start
qrv_wine_init

status=0
if [ $# -eq 0 ]; then
  wine "$ROOT/build/bin/Quorivance.exe" || status=$?
else
  script="$(winepath -w "$(realpath "$1")" 2>/dev/null)"
  shift
  wine "$ROOT/build/bin/qrv.exe" "$script" "$@" || status=$?
fi
echo "exit code: $status" >&2
exit "$status"
