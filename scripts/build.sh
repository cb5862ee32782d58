#!/usr/bin/env bash
# Configures (once) and builds Vemo in build/: the developer build, with the tests and benchmarks.
# A build/ that scripts/run.sh set up as a user build is switched to the developer build.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/compiler-cache.sh  # sets launcher=(...) for cmake
if [ ! -f build/build.ninja ] || ! grep -qx 'VEMO_DEVELOPER_MODE:BOOL=ON' build/CMakeCache.txt; then
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DVEMO_DEVELOPER_MODE=ON \
    "${launcher[@]}" >/dev/null
fi
cmake --build build
