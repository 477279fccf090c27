#!/bin/bash
# A window of 500 controls built, shown, submitted and destroyed 5 times:
# our interpreter against the same work in C++ (Win32 directly), both timed
# under Wine; prints the ratio.
#   bench/gui_controls/run.sh [COUNT [ROUNDS]]   (default 500 5)
# Each side's start-up is measured with COUNT 0 and taken off.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
COUNT="${1:-500}"
ROUNDS="${2:-5}"
"$ROOT/scripts/build.sh" qrv gui_controls_peer >/dev/null
source "$ROOT/scripts/wine-env.sh"
qrv_wine_init
qrv_display_start
trap 'qrv_display_stop' EXIT
BIN="$ROOT/build/bin"
seconds() { local start end; start=$(date +%s.%N); "$@" >/dev/null; end=$(date +%s.%N); echo "$end - $start" | bc -l; }
script="$(winepath -w "$ROOT/bench/gui_controls/gui_controls.qrv")"
# Both sides must submit the same values: the total length of them.
ours_value=$(timeout 300 wine "$BIN/qrv.exe" "$script" "$COUNT" 1 | tr -d '\r')
peer_value=$(timeout 300 wine "$BIN/gui_controls_peer.exe" "$COUNT" 1 | tr -d '\r')
if [ "$ours_value" != "$peer_value" ]; then
  echo "the values differ: qrv $ours_value, C++ $peer_value" >&2
  exit 1
fi
base=$(seconds timeout 300 wine "$BIN/qrv.exe" "$script" 0 "$ROUNDS")
ours=$(seconds timeout 300 wine "$BIN/qrv.exe" "$script" "$COUNT" "$ROUNDS")
peer_base=$(seconds timeout 300 wine "$BIN/gui_controls_peer.exe" 0 "$ROUNDS")
peer=$(seconds timeout 300 wine "$BIN/gui_controls_peer.exe" "$COUNT" "$ROUNDS")
ours_net=$(echo "$ours - $base" | bc -l)
peer_net=$(echo "$peer - $peer_base" | bc -l)
printf '%s controls x%s rounds (build, show, submit, destroy): qrv %.3f s, C++ %.3f s, ratio %.2f\n' "$COUNT" \
  "$ROUNDS" "$ours_net" "$peer_net" "$(echo "$ours_net / ($peer_net + 0.000001)" | bc -l)"
