#!/usr/bin/env bash
# Builds the Debian packages in build-package/: a user's build (no tests, benchmarks or fuzzers)
# with Debian's hardening flags, installed under /usr, packed by CPack into vemo-convert (the
# command) and vemo (the window). With --no-ui, a build without the window in
# build-package-no-ui/, which needs no Qt and makes vemo-convert's package alone.
# Prints the paths of the packages, one a line: vemo-convert's, then vemo's.
#
#   package.sh [--no-ui]
set -euo pipefail
cd "$(dirname "$0")/.."

dir=build-package
options=()
case "${1:-}" in
  "") ;;
  --no-ui)
    dir=build-package-no-ui
    # Qt may not even be looked for: a find_package(Qt6) left in its path fails the build.
    options=(-DVEMO_BUILD_UI=OFF -DCMAKE_DISABLE_FIND_PACKAGE_Qt6=ON)
    ;;
  *)
    echo "usage: package.sh [--no-ui]" >&2
    exit 2
    ;;
esac

# The compiler and linker flags Debian builds its own packages with (stack protector,
# fortified functions, read-only relocations, immediate binding).
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxxflags="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
ldflags=$(dpkg-buildflags --get LDFLAGS)

source scripts/compiler-cache.sh  # sets launcher=(...) for cmake
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DVEMO_DEVELOPER_MODE=OFF -DVEMO_BUILD_TESTS=OFF -DVEMO_BUILD_BENCH=OFF \
  -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" "${options[@]}" \
  "${launcher[@]}" >/dev/null
cmake --build "$dir"
rm -f "$dir"/vemo_*.deb "$dir"/vemo-convert_*.deb
(cd "$dir" && cpack -G DEB >/dev/null)
ls "$PWD/$dir"/vemo-convert_*.deb
[ "$dir" = build-package-no-ui ] || ls "$PWD/$dir"/vemo_*.deb
