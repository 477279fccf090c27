#!/bin/bash
# wine-run.sh SECONDS PROGRAM.exe [args...]: runs a Windows program under the
# checkout's Wine prefix with a hard time limit (exit 124 when it is hit).
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
limit="$1"; shift
exec timeout -k 5 "$limit" wine "$@"
