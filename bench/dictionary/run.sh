#!/bin/bash
# Item sets and gets on Scripting.Dictionary: our interpreter's late-bound
# calls against the same calls made in C++ through IDispatch with the DISPID
# looked up once (the physical limit), both under Wine; prints the ratio.
# No Python COM client installs from the package lists, so C++ is the peer.
#   bench/dictionary/run.sh [COUNT] [RUNS]   (default 100000 sets and 100000
#   gets, that is 200,000 calls; the best of RUNS runs, default 3)
# Each program's start-up is measured with COUNT 0 and taken off.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
COUNT="${1:-100000}"
RUNS="${2:-3}"
"$ROOT/scripts/build.sh" qrv dictionary_peer >/dev/null
source "$ROOT/scripts/wine-env.sh"
qrv_wine_init
qrv_display_start
trap 'qrv_display_stop' EXIT
BIN="$ROOT/build/bin"
wineserver -p >/dev/null 2>&1 || true
script="$(winepath -w "$ROOT/bench/dictionary/dictionary.qrv")"
expected=$(echo "$COUNT * ($COUNT + 1) / 2" | bc)

# The best wall-clock time of RUNS runs; fails when a run prints a wrong sum.
best() {
  local want="$1" run start end out time best=""
  shift
  for run in $(seq 1 "$RUNS"); do
    start=$(date +%s.%N)
    out="$("$@" | tr -d '\r')"
    end=$(date +%s.%N)
    if [ "$out" != "$want" ]; then
      echo "$* printed '$out', not $want" >&2
      exit 1
    fi
    time=$(echo "$end - $start" | bc -l)
    if [ -z "$best" ] || [ "$(echo "$time < $best" | bc -l)" = 1 ]; then best="$time"; fi
  done
  echo "$best"
}
base=$(best 0 wine "$BIN/qrv.exe" "$script" 0)
ours=$(best "$expected" wine "$BIN/qrv.exe" "$script" "$COUNT")
peer_base=$(best 0 wine "$BIN/dictionary_peer.exe" 0)
peer=$(best "$expected" wine "$BIN/dictionary_peer.exe" "$COUNT")
ours_net=$(echo "$ours - $base" | bc -l)
peer_net=$(echo "$peer - $peer_base" | bc -l)
printf 'Dictionary Item x%s sets + x%s gets: qrv %.3f s, C++ IDispatch %.3f s, ratio %.2f\n' "$COUNT" "$COUNT" \
  "$ours_net" "$peer_net" "$(echo "$ours_net / ($peer_net + 0.000001)" | bc -l)"
