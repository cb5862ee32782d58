#!/usr/bin/env bash
# Builds the Windows programs and their tests (scripts/build-windows.sh, into build-windows/) and
# runs the tests under wine: the GoogleTest programs through CTest, then the Windows checks that
# exist (vemo-convert.exe against the Linux build in build/, and the window). scripts/test.sh calls
# it after the Linux tests.
#
# Wine keeps its prefix in the cache, outside the repository (VEMO_WINEPREFIX chooses another);
# the first run on a machine makes it. One persistent wineserver serves every run of the session,
# so that a program starts in a fraction of a second instead of several.
set -euo pipefail
cd "$(dirname "$0")/.."
started=$SECONDS

# It installs what is missing (mingw-w64, wine, GoogleTest's sources) before it builds.
bash scripts/build-windows.sh -DVEMO_BUILD_TESTS=ON -DVEMO_BUILD_BENCH=OFF

export WINEPREFIX="${VEMO_WINEPREFIX:-${VEMO_CACHE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/vemo}/wine}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="  # no offer to install Mono or Gecko
mkdir -p "$WINEPREFIX"
# Status 2: a wineserver already serves this prefix (another session's); it is left running.
if wineserver -p; then
  trap 'wineserver -k' EXIT
fi
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  prefix_started=$SECONDS
  wineboot -i
  echo "Made the wine prefix $WINEPREFIX in $((SECONDS - prefix_started)) s"
fi
# The first program a new wineserver starts brings up wine's services: here, not in a test.
wine cmd.exe /c exit >/dev/null 2>&1 || true

# Each check runs even when one before it failed; the status says whether all passed.
# The differential tests generate fewer files than on Linux: each program start costs more under
# wine, and the decoding they compare is the same code.
failed=()
step_started=$SECONDS
VEMO_DIFF_FILES=300 ctest --test-dir build-windows --output-on-failure -j "$(nproc)" ||
  failed+=("the tests under wine")
echo "Tests under wine: $((SECONDS - step_started)) s"
if [ -f tests/windows/compare_convert.sh ]; then
  step_started=$SECONDS
  bash tests/windows/compare_convert.sh build build-windows || failed+=("compare_convert.sh")
  echo "vemo-convert.exe against the Linux build: $((SECONDS - step_started)) s"
fi
if [ -f tests/windows/window_check.sh ]; then
  step_started=$SECONDS
  bash tests/windows/window_check.sh build-windows || failed+=("window_check.sh")
  echo "The window under wine: $((SECONDS - step_started)) s"
fi
echo "Windows build and tests: $((SECONDS - started)) s"
if [ ${#failed[@]} -gt 0 ]; then
  echo "Failed on Windows: ${failed[*]}" >&2
  exit 1
fi
