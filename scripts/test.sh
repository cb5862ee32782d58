#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the normal build, then the sanitizer
# build, the fuzz smoke run, and the Debian package (built, installed, checked and removed again)
# where they are set up.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build --output-on-failure -j "$(nproc)"
for extra in scripts/test-sanitize.sh scripts/fuzz-smoke.sh scripts/test-package.sh; do
  if [ -f "$extra" ]; then bash "$extra"; fi
done
