#!/bin/bash
# Makes the run-time profile the optimised build is compiled with: builds an
# instrumented interpreter in build-profile/, runs the training scripts with
# it under Wine (a prefix of its own, build-profile/wine), and leaves the
# counts in build-profile/data. Called by build.sh when the profile is
# missing; run it again (or build with QRV_PROFILE=refresh) after large
# changes to the hot paths.
#
# The training scripts are the benchmark programs at their own small sizes
# and the script tests of the language core, strings, regular expressions,
# objects and files: the lines real scripts spend their time on. Their
# results do not matter here, only which paths they take.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$ROOT"
dir="build-profile"
data="$ROOT/$dir/data"
mkdir -p "$dir"
[ -f "$dir/.gitignore" ] || echo '*' >"$dir/.gitignore"
exec 9>"$dir/.build-lock"
flock 9

# Counts from an older training would be merged with the new ones.
rm -rf "$data"
mkdir -p "$data"
if [ ! -f "$dir/build.ninja" ]; then
  cmake -S . -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQRV_PROFILE_GENERATE="$data" >/dev/null
fi
echo "building the instrumented interpreter in $dir/" >&2
cmake --build "$dir" -- qrv qrvrun

export WINEPREFIX="$ROOT/$dir/wine"
source "$ROOT/scripts/wine-env.sh"
finish() {
  timeout 20 wineserver -k >/dev/null 2>&1 || true
  qrv_display_stop
}
trap finish EXIT
qrv_display_start
qrv_wine_init

# Every training run has a time limit; a run that fails or is stopped
# simply adds fewer counts.
train="$ROOT/$dir/train"
rm -rf "$train"
mkdir -p "$train"
cp bench/programs/*.qrv "$train/"
python3 - "$train/lines.txt" <<'PY'
import sys
sys.path.insert(0, "bench")
from bench import text_lines
with open(sys.argv[1], "w", newline="") as handle:
    handle.write(text_lines(200000)["lines.txt"])
PY
echo "training: benchmark programs" >&2
for script in "$train"/*.qrv; do
  (cd "$train" && timeout 120 wine "$ROOT/$dir/bin/qrv.exe" /ErrorStdOut "$(basename "$script")" >/dev/null 2>&1) || true
done
echo "training: script tests" >&2
for area in flow functions objects classes strings regex files builtin_vars; do
  for test in tests/scripts/"$area"/*.qrv; do
    [ -e "$test" ] || continue
    timeout 300 python3 tests/harness/run_script_test.py --build-dir "$dir" "$test" >/dev/null 2>&1 || true
  done
  for table in tests/scripts/"$area"/*.table; do
    [ -e "$table" ] || continue
    timeout 600 python3 tests/harness/run_table_test.py --build-dir "$dir" "$table" >/dev/null 2>&1 || true
  done
done
timeout 60 wineserver -w >/dev/null 2>&1 || true
count="$(find "$data" -name '*.gcda' | wc -l)"
if [ "$count" -eq 0 ]; then
  echo "profile training wrote no counts" >&2
  exit 1
fi
touch "$data/.complete"
echo "profile: $count files in $data" >&2
