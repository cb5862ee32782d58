#!/usr/bin/env bash
# Installs what is missing (with the test toolchain), checks the sources' format, builds the
# developer build, and runs every test: the normal build, then the sanitizer build, the fuzz smoke
# run, and the Debian package (built, installed, checked and removed again); last the Windows
# build, its tests under wine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh --test
# The sources as the repository's .clang-format writes them.
find src tests tools bench \( -name '*.cpp' -o -name '*.h' \) -print0 |
  xargs -0 clang-format-14 --dry-run -Werror
bash scripts/build.sh
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build --output-on-failure -j "$(nproc)"
bash scripts/test-sanitize.sh
bash scripts/fuzz-smoke.sh
bash scripts/test-package.sh
bash scripts/test-windows.sh
