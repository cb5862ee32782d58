#!/usr/bin/env bash
# Installs what is missing (with the test toolchain), checks the sources' format, builds the
# developer build, and runs every native test: the normal build's tests, the sanitizer builds, the fuzz smoke run, and the Debian
# package checks (scripts/test-package.sh: in a throw-away root, or installed for real under
# CI=true or with --system). With --windows, last the Windows build and its tests under wine
# (scripts/test-windows.sh; its first run on a machine builds the static Qt for mingw, once).
#
#   test.sh [--windows] [--system]
set -euo pipefail
cd "$(dirname "$0")/.."

windows=0
package_options=()
for option in "$@"; do
  case "$option" in
    --windows) windows=1 ;;
    --system) package_options+=(--system) ;;
    *)
      echo "usage: test.sh [--windows] [--system]" >&2
      exit 2
      ;;
  esac
done

started=$SECONDS
step_started=$SECONDS
step() {  # NAME: the time of the step that just ended
  echo "== $1: $((SECONDS - step_started)) s"
  step_started=$SECONDS
}
bash scripts/install-deps.sh --test
step "install"
# The sources as the repository's .clang-format writes them.
find src tests tools bench \( -name '*.cpp' -o -name '*.h' \) -print0 |
  xargs -0 clang-format-14 --dry-run -Werror
step "format"
bash scripts/build.sh
step "developer build"
QT_QPA_PLATFORM=offscreen ctest --test-dir build --output-on-failure -j "$(nproc)"
step "tests"
bash scripts/test-sanitize.sh
step "sanitizer builds and their tests"
bash scripts/fuzz-smoke.sh
step "fuzz smoke"
bash scripts/test-package.sh "${package_options[@]}"
step "package checks"
if [ "$windows" -eq 1 ]; then
  bash scripts/test-windows.sh
  step "Windows build and tests under wine"
fi
echo "== all tests passed in $((SECONDS - started)) s"
