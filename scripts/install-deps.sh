#!/usr/bin/env bash
# Installs the Debian packages Vemo needs; only the missing ones, so a second call is quick.
# Needs root (or sudo).
#
#   install-deps.sh          what building and running the programs needs (scripts/run.sh)
#   install-deps.sh --test   also the test toolchain: GoogleTest, Google Benchmark, clang for the
#                            sanitizer and fuzzer builds, clang-format, a virtual X display and
#                            its tools for the real-window check, the benchmark's timer, the gzip
#                            and zstd tools the compressed round trips compare with, and the
#                            tools the examples drive: GNU parallel, Dask distributed, sqlite3,
#                            the PostgreSQL server and psql (scripts/test.sh)
#   install-deps.sh --windows  the cross build for Windows: mingw-w64 (posix threads), wine to
#                            run the programs, GoogleTest's sources (scripts/build-windows.sh)
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config
  qt6-base-dev libgl-dev
  zlib1g-dev libzstd-dev libssl-dev
  xdg-utils fonts-dejavu-core
)
test_packages=(
  libgtest-dev libgmock-dev libbenchmark-dev
  clang-14 libclang-rt-14-dev clang-format-14
  xvfb xdotool x11-apps x11-utils openbox imagemagick
  time hyperfine gzip zstd
  parallel python3 python3-distributed sqlite3 postgresql
  dpkg-dev man-db desktop-file-utils appstream lintian bash-completion systemd
)
windows_packages=(
  cmake ninja-build
  g++-mingw-w64-x86-64-posix wine wine64 libgtest-dev
)

case "${1:-}" in
  "") ;;
  --test) packages+=("${test_packages[@]}") ;;
  --windows) packages=("${windows_packages[@]}") ;;
  *)
    echo "usage: install-deps.sh [--test | --windows]" >&2
    exit 2
    ;;
esac

# One query for all of them; a package dpkg does not know prints nothing and counts as missing.
declare -A installed=()
while read -r name status; do
  [ "$status" = "install ok installed" ] && installed[$name]=1
done < <(dpkg-query -W -f='${Package} ${Status}\n' "${packages[@]}" 2>/dev/null || true)
missing=()
for p in "${packages[@]}"; do
  [ -n "${installed[$p]:-}" ] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
