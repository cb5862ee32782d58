#!/usr/bin/env bash
# Installs what is missing, builds, and opens the Vemo window on the sample files.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
cd samples
if [ -x ../build/vemo ]; then
  exec ../build/vemo "$@"
fi
echo "The window is not built yet; the lines the converter makes of samples/switch-a.dat:"
exec ../build/vemo-convert -o - switch-a.dat
