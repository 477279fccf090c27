#!/bin/bash
# Builds the interpreter, prepares Wine and a display, and runs every
# benchmark in our language, Lua and Python side by side; the ratios end the
# output. Arguments go to bench.py (for example --runs 5, --scale 2, --only concat).
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$ROOT/scripts/build.sh" qrv qrvrun

source "$ROOT/scripts/wine-env.sh"
trap qrv_display_stop EXIT
qrv_display_start
qrv_wine_init
# One wineserver for every run spares each its start-up. It ends by itself a
# minute after its last client, so nothing here has to stop it, and a server
# that someone else already runs for this prefix is used as it is.
wineserver -p60 >/dev/null 2>&1 || true
# Wine's own services start with the first program; starting them here, with
# their output going nowhere, keeps that out of the first timed run.
timeout 120 wine wineboot >/dev/null 2>&1 || true

python3 "$ROOT/bench/bench.py" --build-dir "$ROOT/build" "$@"
