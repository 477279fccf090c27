#!/bin/bash
# Configures (first time) and builds everything, or the targets given.
# Builds are serialised with a lock: two ninja runs in one tree corrupt it.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$ROOT"
mkdir -p build
exec 9>build/.build-lock
flock 9
if [ ! -f build/build.ninja ]; then
  cmake --preset default >/dev/null
fi
if [ $# -gt 0 ]; then
  cmake --build build -- "$@"
else
  cmake --build build
fi
