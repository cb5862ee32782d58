#!/usr/bin/env bash
# Builds the Debian package and checks it as a user's machine would meet it: the desktop entry
# and AppStream metadata validate, lintian finds no error or warning, and the package installs
# with its dependencies, works from /usr/bin (man page, completion, the window under Xvfb) and
# is removed again without leaving a file behind.
#
# This installs into the running system, so it needs root (or sudo); the package is always
# removed at the end, also when a check fails.
#   test-package.sh [DEB]   check DEB instead of building one
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

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

# The build tree's programs must not answer for the installed ones.
export PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
scratch=$(mktemp -d)
installed=0
cleanup() {
  if [ "$installed" -eq 1 ] || dpkg-query -W -f='${Status}' vemo 2>/dev/null | grep -q installed; then
    apt_get remove --purge vemo >/dev/null || echo "test-package: could not remove vemo" >&2
  fi
  rm -rf "$scratch"
}
trap cleanup EXIT

fail() {
  echo "test-package: $*" >&2
  exit 1
}

echo "== desktop entry and AppStream metadata"
dpkg-deb -x "$deb" "$scratch/root"
desktop-file-validate "$scratch/root/usr/share/applications/vemo.desktop"
grep -qx 'Exec=vemo %F' "$scratch/root/usr/share/applications/vemo.desktop" ||
  fail "the desktop entry does not pass the files to vemo"
appstreamcli validate --no-net "$scratch"/root/usr/share/metainfo/*.metainfo.xml

echo "== lintian"
# Root is the only user in CI; lintian would only say so.
lintian --fail-on error,warning --allow-root --display-info "$deb"

echo "== install"
apt_get install "$deb" >"$scratch/apt.log" || { cat "$scratch/apt.log"; fail "installation failed"; }
installed=1
dpkg-query -L vemo >"$scratch/files"

[ "$(command -v vemo-convert)" = /usr/bin/vemo-convert ] || fail "vemo-convert is not /usr/bin's"
# The version the package was built with, without a Debian revision.
version=$(dpkg-deb -f "$deb" Version)
version=${version%%-*}
[ "$(vemo-convert --version)" = "vemo-convert $version" ] || fail "wrong version: $(vemo-convert --version)"
vemo-convert -q -o "$scratch/out.csv" samples/switch-a.dat samples/switch-b.dat ||
  fail "the installed vemo-convert did not convert the samples"
[ -s "$scratch/out.csv" ] || fail "the installed vemo-convert wrote nothing"

for page in vemo-convert vemo; do
  [ "$(man -w "$page")" = "/usr/share/man/man1/$page.1.gz" ] || fail "no man page $page(1)"
  # Any complaint of the formatter counts as a fault of the page.
  warnings=$(MANWIDTH=80 man --warnings "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man $page: $warnings"
done

echo "== bash completion"
# An interactive shell loads it by name, as bash-completion does on the first <Tab>; then
# options, -j values and, for inputs, data files before other files.
mkdir "$scratch/completion"
cp samples/switch-a.dat "$scratch/completion/b.dat"
printf 'not a data file\n' >"$scratch/completion/a.txt"
completed=$(cd "$scratch/completion" && HOME=$scratch bash --norc -i 2>&1 <<'SHELL'
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

echo "== the installed window under Xvfb"
# Its screenshot is kept beside the package (the one AppStream points at is made this way).
# The caption is "Vemo MAJOR.MINOR" of the installed version.
version=$(/usr/bin/vemo-convert --version | sed -n 's/^vemo-convert \([0-9]*\.[0-9]*\).*/\1/p')
bash tests/ui/real_window_check.sh /usr/bin/vemo "$(dirname "$deb")/vemo-window.png" \
  "Vemo $version" "$root/samples"

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
if dpkg-query -W -f='${Status}' vemo 2>/dev/null | grep -q installed; then
  fail "vemo is still installed"
fi
echo "test-package: all checks passed"
