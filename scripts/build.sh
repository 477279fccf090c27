#!/bin/bash
# Configures (first time) and builds everything, or the targets given.
#   scripts/build.sh [--checked] [TARGET...]
# --checked (or QRV_PRESET=checked) builds the "checked" preset in
# build-checked/: undefined behaviour traps and the standard library checks
# its preconditions. Without it, the "default" preset builds in build/.
# QRV_WERROR=1 treats warnings in our own code as errors (CI sets it).
# The default preset is optimised with a run-time profile that
# scripts/profile.sh makes the first time (a few minutes under Wine) and
# keeps in build-profile/; QRV_PROFILE=refresh makes it again (and rebuilds
# everything with it), QRV_PROFILE=off builds without one.
# Builds are serialised with a lock: two ninja runs in one tree corrupt it.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$ROOT"
source "$ROOT/scripts/preset.sh"
preset="$QRV_PRESET"
dir="$QRV_BUILD_DIR"
mkdir -p "$dir"
# The folder ignores itself, so a second build folder stays out of git status.
[ -f "$dir/.gitignore" ] || echo '*' >"$dir/.gitignore"
profile=""
trained=0
if [ "$preset" = default ] && [ "${QRV_PROFILE:-}" != off ]; then
  profile="$ROOT/build-profile/data"
  if [ "${QRV_PROFILE:-}" = refresh ] || [ ! -f "$profile/.complete" ]; then
    "$ROOT/scripts/profile.sh"
    trained=1
  fi
fi
exec 9>"$dir/.build-lock"
flock 9
if [ ! -f "$dir/build.ninja" ]; then
  cmake --preset "$preset" -DQRV_PROFILE_USE="$profile" >/dev/null
elif [ "$preset" = default ] && ! grep -qxF "QRV_PROFILE_USE:PATH=$profile" "$dir/CMakeCache.txt"; then
  cmake -S . -B "$dir" -DQRV_PROFILE_USE="$profile" >/dev/null
fi
# Objects compiled with older counts are not rebuilt by themselves.
if [ "$trained" = 1 ]; then
  cmake --build "$dir" --target clean >/dev/null
fi
# QRV_WERROR=1 (set by CI) makes warnings in our own code errors; the choice
# is kept in the build folder's cache, so it is set again whenever given.
if [ -n "${QRV_WERROR:-}" ]; then
  cmake -S . -B "$dir" -DQRV_WARNINGS_AS_ERRORS="$([ "$QRV_WERROR" = 0 ] && echo OFF || echo ON)" >/dev/null
fi
if [ $# -gt 0 ]; then
  cmake --build "$dir" -- "$@"
else
  cmake --build "$dir"
fi
