#!/usr/bin/env bash
# Builds the Debian packages and checks them as a user's machine would meet them: vemo-convert
# (the command, for servers) and vemo (the window). The desktop entry and AppStream metadata
# validate, lintian finds no error or warning in either, their dependencies resolve, vemo-convert
# depends on nothing beyond the C and C++ runtime and the compression and hash libraries (so that
# a server without Qt gets none), a build without the window needs no Qt and packs the same
# vemo-convert, and the programs work as packed (version, conversion, man pages, completion, the
# window under Xvfb), vemo-convert without the window's package.
#
# By default the packages are unpacked into a throw-away root (dpkg-deb -x) and tried from there:
# the machine's system is not touched, and an installed Vemo stays as it is. With --system, or
# under CI=true, they are installed for real instead (apt-get, as root or with sudo): vemo-convert
# alone first, then vemo; tried from /usr/bin and removed again, vemo first, without leaving a
# file behind. That refuses to run when a vemo or vemo-convert package is already installed, so
# that the tests never replace or remove a user's Vemo.
#
#   test-package.sh [--system] [VEMO_CONVERT_DEB VEMO_DEB]   check these instead of building them
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

system=0
[ "${CI:-}" = true ] && system=1
if [ "${1:-}" = --system ]; then
  system=1
  shift
fi

fail() {
  echo "test-package: $*" >&2
  exit 1
}
installed_vemo() {  # "PACKAGE VERSION" of each installed package of ours, or nothing
  dpkg-query -W -f='${Status} ${Package} ${Version}\n' vemo vemo-convert 2>/dev/null |
    sed -n 's/^install ok installed //p' || true
}
if [ "$system" -eq 1 ] && [ -n "$(installed_vemo)" ]; then
  fail "$(installed_vemo | paste -sd, -) installed on this machine; the installing check would" \
    "replace and remove it, so it does not run (remove it first, or run without --system and" \
    "CI=true)"
fi

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
apt_get() {  # waits for a lock held by another apt run instead of failing
  DEBIAN_FRONTEND=noninteractive $sudo apt-get -o DPkg::Lock::Timeout=300 -y -q "$@"
}

built=0
if [ $# -eq 2 ]; then
  convert_deb=$(realpath "$1")
  window_deb=$(realpath "$2")
elif [ $# -eq 0 ]; then
  built_debs=$(bash scripts/package.sh | tail -n 2)
  mapfile -t debs <<<"$built_debs"
  convert_deb=${debs[0]}
  window_deb=${debs[1]}
  built=1
else
  fail "usage: test-package.sh [--system] [VEMO_CONVERT_DEB VEMO_DEB]"
fi
for deb in "$convert_deb" "$window_deb"; do
  echo "== package: $deb ($(stat -c %s "$deb") bytes)"
done
[ "$(dpkg-deb -f "$convert_deb" Package)" = vemo-convert ] || fail "$convert_deb is not vemo-convert"
[ "$(dpkg-deb -f "$window_deb" Package)" = vemo ] || fail "$window_deb is not vemo"
# The version the packages were built with, without a Debian revision.
version=$(dpkg-deb -f "$convert_deb" Version)
[ "$(dpkg-deb -f "$window_deb" Version)" = "$version" ] || fail "the two packages' versions differ"

# The build tree's programs must not answer for the packed ones.
export PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
scratch=$(mktemp -d)
installed=0
cleanup() {
  # Only a package this script installed is removed.
  if [ "$installed" -eq 1 ]; then
    apt_get remove --purge vemo vemo-convert >/dev/null ||
      echo "test-package: could not remove vemo and vemo-convert" >&2
  fi
  rm -rf "$scratch"
}
trap cleanup EXIT

echo "== desktop entry and AppStream metadata"
dpkg-deb -x "$window_deb" "$scratch/window"
desktop-file-validate "$scratch/window/usr/share/applications/vemo.desktop"
grep -qx 'Exec=vemo %F' "$scratch/window/usr/share/applications/vemo.desktop" ||
  fail "the desktop entry does not pass the files to vemo"
appstreamcli validate --no-net "$scratch"/window/usr/share/metainfo/*.metainfo.xml

echo "== lintian"
# Root is the only user in CI; lintian would only say so.
lintian --fail-on error,warning --allow-root --display-info "$convert_deb" "$window_deb"

echo "== dependencies"
# vemo-convert is for servers: its dependencies are the C and C++ runtime, the compression and
# hash libraries it links (zlib, zstd, OpenSSL's libcrypto) and adduser for the watch service's
# user; never Qt nor anything graphical. (libssl3t64 is libssl3's name from Debian 13 on.)
relations() {  # DEB: the package names of its Depends and Pre-Depends, one a line
  { dpkg-deb -f "$1" Depends; dpkg-deb -f "$1" Pre-Depends; } | tr ',|' '\n' |
    sed -n 's/^ *\([^ (]\+\).*/\1/p'
}
unexpected=$(relations "$convert_deb" |
  grep -Evx 'libc6|libgcc-s1|libstdc\+\+6|zlib1g|libzstd1|libssl3(t64)?|adduser' || true)
[ -z "$unexpected" ] ||
  fail "vemo-convert depends on more than the runtime and its libraries: $(paste -sd ' ' <<<"$unexpected")"
[ -z "$(dpkg-deb -f "$convert_deb" Recommends)" ] || fail "vemo-convert recommends packages"
# The window needs the command of the same version.
if ! dpkg-deb -f "$window_deb" Depends | tr ',' '\n' | grep -qx " *vemo-convert (= $version)"; then
  fail "vemo does not depend on vemo-convert (= $version)"
fi
# apt resolves both packages' dependencies without installing anything, and the packed programs
# find every library they link.
apt-get -q --simulate install "$convert_deb" "$window_deb" >"$scratch/apt-simulate.log" 2>&1 ||
  { cat "$scratch/apt-simulate.log"; fail "the packages' dependencies do not resolve"; }
dpkg-deb -x "$convert_deb" "$scratch/convert"
for program in "$scratch/convert/usr/bin/vemo-convert" "$scratch/window/usr/bin/vemo"; do
  if ldd "$program" | grep 'not found'; then
    fail "$program links a library this machine lacks"
  fi
done
# What installing vemo-convert pulls in on a minimal Debian (its required and essential packages,
# taken from this machine), simulated with nothing installed, so that a machine with Qt
# installed shows it too: no package of Qt or of a graphical system.
: >"$scratch/nothing-installed"
minimal=$(dpkg-query -W -f='${Package} ${Priority} ${Essential}\n' |
  awk '$2 == "required" || $3 == "yes" { print $1 }')
pulled() {  # OUT PACKAGE...: what apt would install, with nothing installed, one a line, sorted
  local out=$1
  shift
  # shellcheck disable=SC2086  # the names are words
  apt-get -q --simulate -o Dir::State::status="$scratch/nothing-installed" install $minimal "$@" \
    >"$scratch/apt-nothing.log" 2>&1 ||
    { cat "$scratch/apt-nothing.log"; fail "apt cannot install $* on a minimal Debian"; }
  awk '/^Inst / { print $2 }' "$scratch/apt-nothing.log" | sort >"$out"
}
pulled "$scratch/minimal"
pulled "$scratch/with-convert" "$convert_deb"
comm -13 "$scratch/minimal" "$scratch/with-convert" >"$scratch/convert-pulls"
grep -qx vemo-convert "$scratch/convert-pulls" || fail "apt would not install vemo-convert"
echo "vemo-convert on a minimal Debian installs: $(paste -sd ' ' "$scratch/convert-pulls")"
graphical='^(libqt|qt[56]|libx11|libxcb|libxkb|libgl|libegl|libwayland|libfontconfig|libfreetype|mesa|x11-|xdg-utils|libgtk)'
if grep -E "$graphical" "$scratch/convert-pulls"; then
  fail "installing vemo-convert pulls in the graphical packages above"
fi

if [ "$built" -eq 1 ]; then
  echo "== a build without the window"
  # It needs no Qt (package.sh --no-ui forbids looking for it) and packs vemo-convert alone: the
  # same files and dependencies as the full build's.
  no_ui=$(bash scripts/package.sh --no-ui | tail -n 1)
  [ "$(find "$(dirname "$no_ui")" -maxdepth 1 -name '*.deb' | wc -l)" -eq 1 ] ||
    fail "the build without the window makes more than one package"
  [ "$(dpkg-deb -f "$no_ui" Package)" = vemo-convert ] || fail "$no_ui is not vemo-convert"
  [ ! -e "$(dirname "$no_ui")/vemo" ] || fail "the build without the window made vemo"
  contents() { dpkg-deb -c "$1" | awk '{ print $6 }'; }
  diff <(contents "$convert_deb") <(contents "$no_ui") ||
    fail "vemo-convert without the window holds other files"
  [ "$(dpkg-deb -f "$no_ui" Depends)" = "$(dpkg-deb -f "$convert_deb" Depends)" ] ||
    fail "vemo-convert without the window has other dependencies"
fi

# check_convert USR: vemo-convert under USR (/usr, or the throw-away root's) as a user runs it.
check_convert() {
  local usr=$1
  [ "$(command -v vemo-convert)" = "$usr/bin/vemo-convert" ] ||
    fail "vemo-convert is not $usr/bin's"
  [ "$(vemo-convert --version)" = "vemo-convert ${version%%-*}" ] ||
    fail "wrong version: $(vemo-convert --version)"
  vemo-convert -q -o "$scratch/out.csv" samples/switch-a.dat samples/switch-b.dat ||
    fail "the packed vemo-convert did not convert the samples"
  [ -s "$scratch/out.csv" ] || fail "the packed vemo-convert wrote nothing"
  check_man_page "$usr" vemo-convert

  echo "== bash completion"
  # An interactive shell loads it by name, as bash-completion does on the first <Tab>; then
  # options, -j values and, for inputs, data files before other files.
  rm -rf "$scratch/completion"
  mkdir "$scratch/completion"
  cp samples/switch-a.dat "$scratch/completion/b.dat"
  printf 'not a data file\n' >"$scratch/completion/a.txt"
  local completed expected
  completed=$(cd "$scratch/completion" && HOME=$scratch XDG_DATA_DIRS=$usr/share bash --norc -i 2>&1 <<'SHELL'
. /usr/share/bash-completion/bash_completion
__load_completion vemo-convert || echo "not loaded"
complete -p vemo-convert
show() { COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMPREPLY=(); _vemo_convert; echo "$* => ${COMPREPLY[*]}"; }
show vemo-convert --st
show vemo-convert -j 1
show vemo-convert -q ""
SHELL
  )
  echo "$completed"
  for expected in "complete -F _vemo_convert vemo-convert" "--st => --stop-on-invalid" \
      "-j 1 => 1" '-q  => b.dat a.txt'; do
    grep -qF -- "$expected" <<<"$completed" || fail "completion: expected \"$expected\""
  done
}

# check_man_page USR PAGE: PAGE(1) is found under USR and formats without a complaint.
check_man_page() {
  local usr=$1 page=$2 warnings
  [ "$(MANPATH=$usr/share/man man -w "$page")" = "$usr/share/man/man1/$page.1.gz" ] ||
    fail "no man page $page(1)"
  # Any complaint of the formatter counts as a fault of the page.
  warnings=$(MANWIDTH=80 man --warnings -l "$usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man $page: $warnings"
}

# check_window USR: the window under USR, with vemo-convert beside it.
check_window() {
  local usr=$1
  check_man_page "$usr" vemo
  echo "== the packed window under Xvfb"
  # Its screenshot is kept beside the package (the one AppStream points at is made this way).
  # The caption is "Vemo MAJOR.MINOR" of the packed version.
  local caption
  caption=$("$usr/bin/vemo-convert" --version | sed -n 's/^vemo-convert \([0-9]*\.[0-9]*\).*/\1/p')
  bash tests/ui/real_window_check.sh "$usr/bin/vemo" "$(dirname "$window_deb")/vemo-window.png" \
    "Vemo $caption" "$root/samples"
}

if [ "$system" -eq 0 ]; then
  # vemo-convert alone first, as on a server; then the window beside it.
  echo "== vemo-convert in a throw-away root ($scratch/root)"
  dpkg-deb -x "$convert_deb" "$scratch/root"
  [ ! -e "$scratch/root/usr/bin/vemo" ] || fail "vemo-convert's package holds the window"
  PATH="$scratch/root/usr/bin:$PATH" check_convert "$scratch/root/usr"
  echo "== the window added to the throw-away root"
  dpkg-deb -x "$window_deb" "$scratch/root"
  PATH="$scratch/root/usr/bin:$PATH" check_window "$scratch/root/usr"
  echo "test-package: all checks passed (not installed into the system: --system or CI=true does)"
  exit 0
fi

# left_behind LIST: the files of LIST (dpkg-query -L) still there, and our own folders.
left_behind() {
  local path
  while IFS= read -r path; do
    # Folders shared with other packages stay; files of ours and our own folders must go.
    if [ -f "$path" ] || [ -L "$path" ] || { [ -d "$path" ] && [[ $path == */vemo* ]]; }; then
      echo "$path"
    fi
  done <"$1"
}

echo "== install vemo-convert alone"
installed=1
apt_get install "$convert_deb" >"$scratch/apt.log" || { cat "$scratch/apt.log"; fail "installation failed"; }
dpkg-query -L vemo-convert >"$scratch/convert-files"
[ -z "$(command -v vemo)" ] || fail "vemo is there with vemo-convert alone"
check_convert /usr

echo "== install vemo"
apt_get install "$window_deb" >"$scratch/apt.log" || { cat "$scratch/apt.log"; fail "installation failed"; }
dpkg-query -L vemo >"$scratch/window-files"
check_window /usr

echo "== remove vemo, then vemo-convert"
apt_get remove --purge vemo >/dev/null
left=$(left_behind "$scratch/window-files")
[ -z "$left" ] || fail "left behind after removing vemo: $(paste -sd ' ' <<<"$left")"
[ "$(vemo-convert --version)" = "vemo-convert ${version%%-*}" ] ||
  fail "vemo-convert does not work after removing vemo"
apt_get remove --purge vemo-convert >/dev/null
installed=0
left=$(left_behind "$scratch/convert-files")
[ -z "$left" ] || fail "left behind after removing vemo-convert: $(paste -sd ' ' <<<"$left")"
[ -z "$(installed_vemo)" ] || fail "still installed: $(installed_vemo)"
echo "test-package: all checks passed"
