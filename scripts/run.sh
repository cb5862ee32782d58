#!/usr/bin/env bash
# Installs what is missing, builds, and opens the Vemo window on the sample files; without a
# display, prints what vemo-convert makes of samples/switch-a.dat instead. A fresh build/
# is set up as a user build (the programs only, no test tools needed); a developer build there
# (scripts/build.sh, scripts/test.sh) is used as it is.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
if [ ! -f build/build.ninja ]; then
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DVEMO_DEVELOPER_MODE=OFF >/dev/null
fi
cmake --build build
cd samples
# Without a display (a server, an ssh session) the window cannot open: the converter shows what
# it makes of a sample instead. QT_QPA_PLATFORM (offscreen, vnc) chooses a platform that needs none.
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "No display: showing what vemo-convert makes of samples/switch-a.dat instead"
  exec ../build/vemo-convert -o - switch-a.dat
fi
if [ -x ../build/vemo ]; then
  exec ../build/vemo "$@"
fi
echo "The window is not built yet; the lines the converter makes of samples/switch-a.dat:"
exec ../build/vemo-convert -o - switch-a.dat
