#!/bin/bash
# Builds and runs the product under the checkout's Wine prefix:
#   scripts/run.sh                    Quorivance.exe (the patch window)
#   scripts/run.sh SCRIPT.qrv [ARGS]  qrv.exe with the script and parameters
# With a display ($DISPLAY) the window appears there. Without one, an Xvfb of
# our own stands in: Quorivance.exe's window is saved as a screenshot
# (build/run-screenshot.png) once it shows, and it runs until Ctrl+C or until
# it closes; a script runs with /ErrorStdOut and every dialog it shows is
# echoed here (title and text) and closed, so nothing waits unseen.
# Everything started here is stopped on the way out.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$ROOT/scripts/setup.sh"
"$ROOT/scripts/build.sh" Quorivance qrv qrvrun

source "$ROOT/scripts/wine-env.sh"
SCREENSHOT="$ROOT/build/run-screenshot.png"
WINE_PID=""
ECHO_PID=""
REPORT=""

stop_all() {
  [ -n "$WINE_PID" ] && kill "$WINE_PID" 2>/dev/null || true
  [ -n "$ECHO_PID" ] && kill "$ECHO_PID" 2>/dev/null || true
  [ -n "$REPORT" ] && rm -f "$REPORT"
  qrv_display_stop
}
trap stop_all EXIT
trap 'echo; echo "stopped by Ctrl+C" >&2; exit 130' INT TERM

virtual=0
if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then virtual=1; fi
qrv_display_start
qrv_wine_init

# Waits (up to 60 s) for a visible window of the program; prints its id.
wait_for_window() {
  local i id
  for i in $(seq 1 120); do
    id="$(xdotool search --onlyvisible --classname "$1" 2>/dev/null | head -n 1 || true)"
    if [ -n "$id" ]; then echo "$id"; return 0; fi
    kill -0 "$WINE_PID" 2>/dev/null || return 1
    sleep 0.5
  done
  return 1
}

status=0
if [ $# -eq 0 ]; then
  # The runtime finds its icon and picture beside it, in build/bin.
  (cd "$ROOT/build/bin" && exec wine "$ROOT/build/bin/Quorivance.exe") &
  WINE_PID=$!
  if [ "$virtual" = 1 ]; then
    if wait_for_window quorivance.exe >/dev/null; then
      sleep 1  # let the controls finish drawing
      import -window root "$SCREENSHOT"
      echo "The window runs on a virtual display ($DISPLAY); screenshot: $SCREENSHOT" >&2
      echo "Press Ctrl+C to stop it." >&2
    else
      echo "Quorivance.exe showed no window" >&2
    fi
  fi
  wait "$WINE_PID" || status=$?
else
  script="$(winepath -w "$(realpath "$1")" 2>/dev/null)"
  shift
  if [ "$virtual" = 1 ]; then
    # qrvrun reads every dialog, reports it and closes it; the report is echoed here.
    REPORT="$(mktemp --suffix=.jsonl)"
    python3 -u -c '
import json, sys, time
with open(sys.argv[1], encoding="utf-8") as report:
    while True:
        line = report.readline()
        if not line:
            time.sleep(0.2)
            continue
        try:
            event = json.loads(line)
        except ValueError:
            continue
        if event.get("event") == "dialog":
            print("[dialog] %s: %s (closed with %s)" % (event.get("title"), event.get("text"),
                  event.get("pressed")), file=sys.stderr, flush=True)
' "$REPORT" &
    ECHO_PID=$!
    wine "$ROOT/build/bin/qrvrun.exe" --timeout 2147483647 --report "$(winepath -w "$REPORT")" -- \
      "$(winepath -w "$ROOT/build/bin/qrv.exe")" /ErrorStdOut "$script" "$@" &
    WINE_PID=$!
    wait "$WINE_PID" || status=$?
    sleep 0.5
  else
    wine "$ROOT/build/bin/qrv.exe" "$script" "$@" &
    WINE_PID=$!
    wait "$WINE_PID" || status=$?
  fi
fi
WINE_PID=""
echo "exit code: $status" >&2
exit "$status"
