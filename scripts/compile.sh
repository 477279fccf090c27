#!/bin/bash
# Compiles a script into a Windows executable that carries it:
#   scripts/compile.sh SCRIPT.qrv [OUT.exe] [/icon FILE.ico]
# Builds qrvc.exe and the runtime when needed, then runs the compiler under
# the checkout's Wine prefix. OUT.exe defaults to the script's name with .exe.
# Paths are Unix paths; the compiler's messages and exit code are its own.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
if [ $# -lt 1 ]; then
  echo "usage: scripts/compile.sh SCRIPT.qrv [OUT.exe] [/icon FILE.ico]" >&2
  exit 2
fi
"$ROOT/scripts/setup.sh"
"$ROOT/scripts/build.sh" qrvc >&2
source "$ROOT/scripts/wine-env.sh"
qrv_wine_init
# Unix paths become Windows paths; the /icon switch passes through.
args=()
for arg in "$@"; do
  case "$arg" in
    /icon | /ICON | /Icon) args+=("$arg") ;;
    *) args+=("$(winepath -w "$(realpath -m "$arg")" 2>/dev/null)") ;;
  esac
done
exec timeout -k 5 120 wine "$ROOT/build/bin/qrvc.exe" "${args[@]}"
