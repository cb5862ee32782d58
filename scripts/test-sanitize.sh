#!/usr/bin/env bash
# Builds everything but the window with AddressSanitizer and UndefinedBehaviorSanitizer (clang 14)
# in build-asan/ and runs all its tests there. Any finding fails the test that made it.
set -euo pipefail
cd "$(dirname "$0")/.."

# Without clang this build is skipped, and fails under CI=true so that CI cannot pass by skipping.
if ! command -v clang++-14 >/dev/null; then
  echo "test-sanitize: clang++-14 is missing (scripts/install-deps.sh --test installs it); skipped" >&2
  [ "${CI:-}" = true ] && exit 1
  exit 0
fi

source scripts/compiler-cache.sh  # sets launcher=(...) for cmake
# Configured every time (quick), so that a folder set up otherwise is put right.
CC=clang-14 CXX=clang++-14 cmake -S . -B build-asan -G Ninja \
  -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" \
  -DVEMO_SANITIZE=ON -DVEMO_BUILD_UI=OFF -DVEMO_BUILD_BENCH=OFF "${launcher[@]}" >/dev/null
cmake --build build-asan

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
ctest --test-dir build-asan --output-on-failure -j "$(nproc)"

# ThreadSanitizer over the code that runs threads: the parallel converter and the comparison of
# its output with the reference converter.
CC=clang-14 CXX=clang++-14 cmake -S . -B build-tsan -G Ninja \
  -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" \
  -DVEMO_SANITIZE=thread -DVEMO_BUILD_UI=OFF -DVEMO_BUILD_BENCH=OFF "${launcher[@]}" \
  >/dev/null
cmake --build build-tsan --target core_tests reference_tests
# Fewer generated files than the normal build checks: every one starts threads, and the
# instrumented threads are slow.
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1" VEMO_DIFF_FILES=300
ctest --test-dir build-tsan --output-on-failure -j "$(nproc)" -R '^(ParallelConverter|Differential)'
