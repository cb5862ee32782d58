#!/usr/bin/env bash
# Builds the Debian package in build-package/: a user's build (no tests, benchmarks or fuzzers)
# with Debian's hardening flags, installed under /usr, packed by CPack.
# Prints the path of the .deb on its last line.
set -euo pipefail
cd "$(dirname "$0")/.."

# The compiler and linker flags Debian builds its own packages with (stack protector,
# fortified functions, read-only relocations, immediate binding).
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxxflags="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
ldflags=$(dpkg-buildflags --get LDFLAGS)

source scripts/compiler-cache.sh  # sets launcher=(...) for cmake
cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DVEMO_DEVELOPER_MODE=OFF -DVEMO_BUILD_TESTS=OFF -DVEMO_BUILD_BENCH=OFF \
  -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" "${launcher[@]}" >/dev/null
cmake --build build-package
rm -f build-package/vemo_*.deb
(cd build-package && cpack -G DEB >/dev/null)
ls "$PWD"/build-package/vemo_*.deb
