#!/bin/bash
# WinExist by title among 50 windows: our interpreter against the same
# search in C++ (EnumWindows), both timed under Wine; prints the ratio.
#   bench/winexist/run.sh [COUNT]   (default 10000)
# The interpreter's start-up is measured with COUNT 0 and taken off.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
COUNT="${1:-10000}"
"$ROOT/scripts/build.sh" qrv winfixture winexist_peer >/dev/null
source "$ROOT/scripts/wine-env.sh"
qrv_wine_init
qrv_display_start
trap 'kill "$fixture" 2>/dev/null || true; qrv_display_stop' EXIT
BIN="$ROOT/build/bin"
titles=()
for i in $(seq 1 50); do titles+=("title=QrvBench $i"); done
wine "$BIN/winfixture.exe" seconds=120 "${titles[@]}" &
fixture=$!
sleep 3
seconds() { local start end; start=$(date +%s.%N); "$@" >/dev/null; end=$(date +%s.%N); echo "$end - $start" | bc -l; }
script="$(winepath -w "$ROOT/bench/winexist/winexist.qrv")"
base=$(seconds wine "$BIN/qrv.exe" "$script" 0)
ours=$(seconds wine "$BIN/qrv.exe" "$script" "$COUNT")
peer_base=$(seconds wine "$BIN/winexist_peer.exe" 0)
peer=$(seconds wine "$BIN/winexist_peer.exe" "$COUNT")
ours_net=$(echo "$ours - $base" | bc -l)
peer_net=$(echo "$peer - $peer_base" | bc -l)
printf 'WinExist x%s among 50 windows: qrv %.3f s, C++ %.3f s, ratio %.2f\n' "$COUNT" "$ours_net" "$peer_net" \
  "$(echo "$ours_net / ($peer_net + 0.000001)" | bc -l)"
