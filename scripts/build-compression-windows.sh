#!/usr/bin/env bash
# Builds zlib and libzstd for Windows x86-64 (mingw-w64, static) from Debian's own source
# packages, the versions of the system's zlib1g-dev and libzstd-dev, once, into a cache outside
# the repository keyed by both versions. Prints the install prefix (include/, lib/) on its last
# line; a later call finds the stamp and returns at once.
#
#   build-compression-windows.sh   cache: ${VEMO_CACHE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/vemo}
#
# Needs root (or sudo) the first time, to install packages and add a deb-src entry.
set -euo pipefail

repo="$(cd "$(dirname "$0")/.." && pwd)"
cache="${VEMO_CACHE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/vemo}"
mkdir -p "$cache"
log="$cache/compression-mingw-build.log"
: >"$log"
fail() {
  echo "build-compression-windows.sh: $1 failed; log: $log" >&2
  tail -n 20 "$log" >&2
  exit 1
}

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
needed=()
for p in zlib1g-dev libzstd-dev g++-mingw-w64-x86-64-posix dpkg-dev make; do
  dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q "install ok installed" || needed+=("$p")
done
if [ ${#needed[@]} -gt 0 ]; then
  echo "Installing: ${needed[*]}" >&2
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
    "${needed[@]}" >/dev/null
fi
zlib_version="$(dpkg-query -W -f='${source:Version}' zlib1g-dev)"
zstd_version="$(dpkg-query -W -f='${source:Version}' libzstd-dev)"
key="zlib-${zlib_version//[:+~]/_}-zstd-${zstd_version//[:+~]/_}"
prefix="$cache/compression-$key-mingw-static"
stamp="$prefix/.vemo-built"
work="$cache/compression-$key-mingw-work"
if [ -f "$stamp" ]; then
  echo "$prefix"
  exit 0
fi

# shellcheck source=scripts/deb-src.sh
. "$repo/scripts/deb-src.sh"
vemo_ensure_deb_src "$log" || fail "adding a deb-src entry"

# The unpacked source of Debian package $1 in $work, at version $2 when the mirror has it, else at
# the newest version it has (a security update's source may be missing from a mirror while its
# binaries are there); sets src. $3 is the start of the unpacked folder's name.
fetch() {
  src="$(find "$work" -maxdepth 1 -mindepth 1 -type d -name "$3*" | head -n 1)"
  if [ -z "$src" ]; then
    echo "Fetching Debian's $1 source into $work" >&2
    local version
    for version in "$2" $(apt-cache showsrc "$1" 2>/dev/null | awk '/^Version:/ { print $2 }'); do
      (cd "$work" && apt-get source -qq "$1=$version") >>"$log" 2>&1 && break
    done
    src="$(find "$work" -maxdepth 1 -mindepth 1 -type d -name "$3*" | head -n 1)"
    [ -n "$src" ] || fail "apt-get source $1"
  fi
}

mkdir -p "$work" "$prefix/include" "$prefix/lib"
cross=x86_64-w64-mingw32
start=$SECONDS

# zlib: its library sources compiled and archived (Debian's source leaves out win32/).
fetch zlib "$zlib_version" zlib-
echo "Building zlib for mingw-w64 (log: $log)" >&2
objects=()
for c in adler32 compress crc32 deflate gzclose gzlib gzread gzwrite infback inffast inflate \
  inftrees trees uncompr zutil; do
  "$cross-gcc-posix" -O2 -c "$src/$c.c" -o "$work/zlib-$c.o" >>"$log" 2>&1 || fail "building zlib"
  objects+=("$work/zlib-$c.o")
done
rm -f "$prefix/lib/libz.a"
"$cross-ar" rcs "$prefix/lib/libz.a" "${objects[@]}" >>"$log" 2>&1 || fail "archiving zlib"
cp "$src/zlib.h" "$src/zconf.h" "$prefix/include/"

# libzstd: the static library of lib/, single-threaded (the program runs its own threads), its
# x86-64 assembly left out (it is written for ELF).
fetch libzstd "$zstd_version" libzstd-
echo "Building libzstd for mingw-w64 (log: $log)" >&2
make -C "$src/lib" clean >>"$log" 2>&1 || true
make -C "$src/lib" CC="$cross-gcc-posix" AR="$cross-ar" ZSTD_NO_ASM=1 \
  CPPFLAGS="-DZSTD_DISABLE_ASM" libzstd.a-nomt -j"$(nproc)" >>"$log" 2>&1 ||
  make -C "$src/lib" CC="$cross-gcc-posix" AR="$cross-ar" ZSTD_NO_ASM=1 \
    CPPFLAGS="-DZSTD_DISABLE_ASM" libzstd.a -j"$(nproc)" >>"$log" 2>&1 || fail "building libzstd"
cp "$src/lib/libzstd.a" "$prefix/lib/"
cp "$src/lib/zstd.h" "$src/lib/zstd_errors.h" "$src/lib/zdict.h" "$prefix/include/"

echo "zlib and libzstd for mingw built in $((SECONDS - start)) s" | tee -a "$log" >&2
touch "$stamp"
echo "$prefix"
