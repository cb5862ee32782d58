#!/usr/bin/env bash
# Builds the Debian package and checks it as a user's machine would meet it: the desktop entry
# and AppStream metadata validate, lintian finds no error or warning, its dependencies resolve,
# and the programs work as packed (version, conversion, man pages, completion, the window under
# Xvfb).
#
# By default the package is unpacked into a throw-away root (dpkg-deb -x) and tried from there:
# the machine's system is not touched, and an installed Vemo stays as it is. With --system, or
# under CI=true, it is installed for real instead (apt-get, as root or with sudo), tried from
# /usr/bin and removed again without leaving a file behind; that refuses to run when a vemo
# package is already installed, so that the tests never replace or remove a user's Vemo.
#
#   test-package.sh [--system] [DEB]   check DEB instead of building one
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
installed_vemo() {  # the version of an installed vemo package, or nothing
  dpkg-query -W -f='${Status} ${Version}\n' vemo 2>/dev/null |
    sed -n 's/^install ok installed //p' || true
}
if [ "$system" -eq 1 ] && [ -n "$(installed_vemo)" ]; then
  fail "vemo $(installed_vemo) is installed on this machine; the installing check would replace" \
    "and remove it, so it does not run (remove it first, or run without --system and CI=true)"
fi

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
apt_get() {  # waits for a lock held by another apt run instead of failing
  DEBIAN_FRONTEND=noninteractive $sudo apt-get -o DPkg::Lock::Timeout=300 -y -q "$@"
}

if [ $# -gt 0 ]; then
  deb=$(realpath "$1")
else
  deb=$(bash scripts/package.sh | tail -n 1)
fi
echo "== package: $deb ($(stat -c %s "$deb") bytes)"

# The build tree's programs must not answer for the packed ones.
export PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
scratch=$(mktemp -d)
installed=0
cleanup() {
  # Only a package this script installed is removed.
  if [ "$installed" -eq 1 ]; then
    apt_get remove --purge vemo >/dev/null || echo "test-package: could not remove vemo" >&2
  fi
  rm -rf "$scratch"
}
trap cleanup EXIT

echo "== desktop entry and AppStream metadata"
dpkg-deb -x "$deb" "$scratch/root"
desktop-file-validate "$scratch/root/usr/share/applications/vemo.desktop"
grep -qx 'Exec=vemo %F' "$scratch/root/usr/share/applications/vemo.desktop" ||
  fail "the desktop entry does not pass the files to vemo"
appstreamcli validate --no-net "$scratch"/root/usr/share/metainfo/*.metainfo.xml

echo "== lintian"
# Root is the only user in CI; lintian would only say so.
lintian --fail-on error,warning --allow-root --display-info "$deb"

echo "== dependencies"
# apt resolves the package's dependencies without installing anything, and the packed programs
# find every library they link.
apt-get -q --simulate install "$deb" >"$scratch/apt-simulate.log" 2>&1 ||
  { cat "$scratch/apt-simulate.log"; fail "the package's dependencies do not resolve"; }
for program in vemo vemo-convert; do
  if ldd "$scratch/root/usr/bin/$program" | grep 'not found'; then
    fail "$program links a library this machine lacks"
  fi
done

# check_programs USR: the programs under USR (/usr, or the throw-away root's) as a user runs them.
check_programs() {
  local usr=$1
  [ "$(command -v vemo-convert)" = "$usr/bin/vemo-convert" ] ||
    fail "vemo-convert is not $usr/bin's"
  # The version the package was built with, without a Debian revision.
  local version
  version=$(dpkg-deb -f "$deb" Version)
  version=${version%%-*}
  [ "$(vemo-convert --version)" = "vemo-convert $version" ] ||
    fail "wrong version: $(vemo-convert --version)"
  vemo-convert -q -o "$scratch/out.csv" samples/switch-a.dat samples/switch-b.dat ||
    fail "the packed vemo-convert did not convert the samples"
  [ -s "$scratch/out.csv" ] || fail "the packed vemo-convert wrote nothing"

  local page warnings
  for page in vemo-convert vemo; do
    [ "$(MANPATH=$usr/share/man man -w "$page")" = "$usr/share/man/man1/$page.1.gz" ] ||
      fail "no man page $page(1)"
    # Any complaint of the formatter counts as a fault of the page.
    warnings=$(MANWIDTH=80 man --warnings -l "$usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "man $page: $warnings"
  done

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

  echo "== the packed window under Xvfb"
  # Its screenshot is kept beside the package (the one AppStream points at is made this way).
  # The caption is "Vemo MAJOR.MINOR" of the packed version.
  version=$("$usr/bin/vemo-convert" --version | sed -n 's/^vemo-convert \([0-9]*\.[0-9]*\).*/\1/p')
  bash tests/ui/real_window_check.sh "$usr/bin/vemo" "$(dirname "$deb")/vemo-window.png" \
    "Vemo $version" "$root/samples"
}

if [ "$system" -eq 0 ]; then
  echo "== the programs in a throw-away root ($scratch/root)"
  PATH="$scratch/root/usr/bin:$PATH" check_programs "$scratch/root/usr"
  echo "test-package: all checks passed (not installed into the system: --system or CI=true does)"
  exit 0
fi

echo "== install"
apt_get install "$deb" >"$scratch/apt.log" || { cat "$scratch/apt.log"; fail "installation failed"; }
installed=1
dpkg-query -L vemo >"$scratch/files"
check_programs /usr

echo "== remove"
apt_get remove --purge vemo >/dev/null
installed=0
left=()
while IFS= read -r path; do
  # Folders shared with other packages stay; files of ours and our own folders must go.
  if [ -f "$path" ] || [ -L "$path" ] || { [ -d "$path" ] && [[ $path == */vemo ]]; }; then
    left+=("$path")
  fi
done <"$scratch/files"
[ ${#left[@]} -eq 0 ] || fail "left behind after removal: ${left[*]}"
[ -z "$(installed_vemo)" ] || fail "vemo is still installed"
echo "test-package: all checks passed"
