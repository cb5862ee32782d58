#!/usr/bin/env bash
# Builds a static Qt for Windows x86-64 (mingw-w64, posix threads) from Debian's own qt6-base source
# package, once, into a cache outside the repository keyed by the Qt version. Prints the install
# prefix on its last line; a later call finds the stamp and returns at once.
#
#   build-qt-windows.sh        cache: ${VEMO_CACHE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/vemo}
#                              parallel jobs: VEMO_QT_JOBS (default: ninja's, CPUs + 2)
#
# Only what Qt Widgets needs is built (no OpenGL, SQL, network, D-Bus, printing, examples, tests);
# the host tools (moc, rcc, uic) come from Debian's qt6-base-dev of the same version. Needs root
# (or sudo) the first time, to install packages and add a deb-src entry.
set -euo pipefail

qt_version=6.4.2
repo="$(cd "$(dirname "$0")/.." && pwd)"
cache="${VEMO_CACHE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/vemo}"
prefix="$cache/qt-$qt_version-mingw-static"
stamp="$prefix/.vemo-built"
work="$cache/qt-$qt_version-mingw-work"
log="$cache/qt-$qt_version-mingw-build.log"

if [ -f "$stamp" ]; then
  echo "$prefix"
  exit 0
fi

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"

# The host Qt must be the version being cross-built: its moc and rcc generate the code.
host_version="$(dpkg-query -W -f='${Version}' qt6-base-dev 2>/dev/null || true)"
needed=()
for p in qt6-base-dev qt6-base-dev-tools g++-mingw-w64-x86-64-posix dpkg-dev cmake ninja-build \
  xz-utils perl; do
  dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q "install ok installed" || needed+=("$p")
done
if [ ${#needed[@]} -gt 0 ]; then
  echo "Installing: ${needed[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
    "${needed[@]}" >/dev/null
  host_version="$(dpkg-query -W -f='${Version}' qt6-base-dev)"
fi
case "$host_version" in
  "$qt_version"+*) ;;
  *)
    echo "build-qt-windows.sh: qt6-base-dev is $host_version, need $qt_version" >&2
    exit 1
    ;;
esac

mkdir -p "$cache" "$work"
: >"$log"
fail() {
  echo "build-qt-windows.sh: $1 failed; log: $log" >&2
  tail -n 20 "$log" >&2
  exit 1
}

# apt-get source needs a deb-src entry (scripts/deb-src.sh adds one when the system has none).
# shellcheck source=scripts/deb-src.sh
. "$repo/scripts/deb-src.sh"
vemo_ensure_deb_src "$log" || fail "adding a deb-src entry"

src="$(find "$work" -maxdepth 1 -type d -name "qt6-base-$qt_version*" | head -n 1)"
if [ -z "$src" ]; then
  echo "Fetching Debian's qt6-base source into $work"
  (cd "$work" && apt-get source -qq "qt6-base=$host_version") >>"$log" 2>&1 ||
    fail "apt-get source qt6-base"
  src="$(find "$work" -maxdepth 1 -type d -name "qt6-base-$qt_version*" | head -n 1)"
  [ -n "$src" ] || fail "unpacking qt6-base"
fi

# The Windows platform plugin uses the DirectWrite font database whenever DirectWrite 3 is there,
# but Qt Gui compiles that database only with Direct2D, which is off here: guard its use as well
# (idempotent: the patched condition is looked for first).
integration="$src/src/plugins/platforms/windows/qwindowsintegration.cpp"
if ! grep -q 'QT_CONFIG(directwrite3) && QT_CONFIG(direct2d)' "$integration"; then
  sed -i 's/^#if QT_CONFIG(directwrite3)$/#if QT_CONFIG(directwrite3) \&\& QT_CONFIG(direct2d)/' "$integration"
fi

# A build folder left by a failed run is reused: ninja goes on where it stopped.
build="$work/build"
mkdir -p "$build"
echo "Configuring Qt $qt_version for mingw-w64 (log: $log)"
start=$SECONDS
cmake -S "$src" -B "$build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DBUILD_SHARED_LIBS=OFF \
  -DQT_HOST_PATH=/usr \
  -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
  -DFEATURE_opengl=OFF -DINPUT_opengl=no -DFEATURE_vulkan=OFF -DFEATURE_tabletevent=OFF \
  -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF -DFEATURE_printsupport=OFF \
  -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF -DFEATURE_openssl=OFF \
  -DFEATURE_direct2d=OFF -DFEATURE_freetype=OFF -DFEATURE_jpeg=OFF -DFEATURE_gif=OFF \
  -DFEATURE_ico=OFF -DFEATURE_pdf=OFF -DFEATURE_textodfwriter=OFF \
  -DFEATURE_system_zlib=OFF -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF \
  -DFEATURE_system_freetype=OFF -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_pcre2=OFF \
  -DFEATURE_system_doubleconversion=OFF -DFEATURE_zstd=OFF -DFEATURE_icu=OFF \
  >>"$log" 2>&1 || fail "configuring Qt"
echo "Building Qt (log: $log)"
cmake --build "$build" --parallel ${VEMO_QT_JOBS:-} >>"$log" 2>&1 || fail "building Qt"
cmake --install "$build" >>"$log" 2>&1 || fail "installing Qt"
echo "Qt $qt_version for mingw built in $((SECONDS - start)) s" | tee -a "$log" >&2
touch "$stamp"
echo "$prefix"
