#!/usr/bin/env bash
# Cross-builds the Windows x86-64 programs into build-windows/ with Debian's mingw-w64, statically
# linked (no DLLs to ship; Qt, zlib and libzstd built from Debian's sources): vemo.exe, vemo-convert.exe and axegen.exe. Installs what is missing
# first.
#
#   build-windows.sh [CMAKE_OPTION...]
#
# Options are added to the configure line and win over its defaults, e.g.
#   build-windows.sh -DVEMO_BUILD_UI=ON -DCMAKE_PREFIX_PATH=/path/to/static/qt
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh --windows

# The window program links a static Qt for mingw, and both programs zlib and libzstd, each built
# once from Debian's sources into a cache outside the repository.
qt_prefix=$(bash scripts/build-qt-windows.sh | tail -n 1)
compression_prefix=$(bash scripts/build-compression-windows.sh | tail -n 1)

source scripts/compiler-cache.sh  # sets launcher=(...) for cmake
configure=(
  -S . -B build-windows -G Ninja
  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
  -DCMAKE_BUILD_TYPE=Release
  -DVEMO_DEVELOPER_MODE=ON  # warnings are errors
  -DVEMO_BUILD_TESTS=OFF
  -DVEMO_BUILD_BENCH=OFF
  -DVEMO_BUILD_UI=ON
  -DCMAKE_PREFIX_PATH="$qt_prefix;$compression_prefix"
  -DQT_HOST_PATH=/usr  # moc, rcc and uic of Debian's Qt, the same version
  -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
)
cmake "${configure[@]}" "${launcher[@]}" "$@" >/dev/null
cmake --build build-windows
