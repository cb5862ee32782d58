#!/usr/bin/env bash
# Starts the Windows window program (vemo.exe) under wine on a virtual X display and drives it
# with xdotool: the caption carries the version; the working folder's drive is C: and Drive1 also
# offers wine's Z:; a data file with a non-ASCII name, picked in File1, is converted by Extract to
# exactly the bytes the Linux vemo-convert writes. Screenshots of each step go to
# VEMO_SCREENSHOT_DIR (default: a new temporary folder), for a person to look at.
#
# Usage: window_check.sh WINDOWS_BUILD_DIR [LINUX_BUILD_DIR]
#   WINDOWS_BUILD_DIR holds vemo.exe; LINUX_BUILD_DIR (default: build/ of this repository) holds
#   vemo-convert and tools/axegen.
# Wine runs in a prefix of its own, the tests' prefix with "-window" added: by default
# ${VEMO_CACHE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/vemo}/wine-window, or $VEMO_WINEPREFIX-window.
# The first run makes it and starts vemo.exe once in it, untimed, before the check.
# A missing tool ends the check with 77 (skipped), or with 1 when CI=true.
set -euo pipefail

repo="$(cd "$(dirname "$0")/../.." && pwd)"
windows_build=$(readlink -f "${1:?usage: window_check.sh WINDOWS_BUILD_DIR [LINUX_BUILD_DIR]}")
linux_build=$(readlink -f "${2:-$repo/build}")
program=$windows_build/vemo.exe
convert=$linux_build/vemo-convert
axegen=$linux_build/tools/axegen
for file in "$program" "$convert" "$axegen"; do
  [ -x "$file" ] || [ -f "$file" ] || { echo "missing: $file" >&2; exit 1; }
done
source "$repo/tests/support/x_session.sh"
require_tools "scripts/install-deps.sh --test --windows" \
  Xvfb openbox wine wineserver xdotool xprop import

shots=${VEMO_SCREENSHOT_DIR:-$(mktemp -d)}
mkdir -p "$shots"
shots=$(readlink -f "$shots")
cache="${VEMO_CACHE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/vemo}"
export WINEPREFIX="${VEMO_WINEPREFIX:-$cache/wine}-window"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

scratch=$(mktemp -d)
xvfb_pid=""
wm_pid=""
vemo_pid=""
work=""
cleanup() {
  for pid in "$vemo_pid" "$wm_pid" "$xvfb_pid"; do
    [ -n "$pid" ] && stop "$pid"
  done
  # This check's prefix only: its wineserver and any program left in it.
  wineserver -k 2>/dev/null || true
  [ -n "$work" ] && rm -rf "$work"
  rm -rf "$scratch"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  [ -n "${DISPLAY:-}" ] && import -window root "$shots/failure.png" 2>/dev/null &&
    echo "screenshot: $shots/failure.png" >&2
  [ -f "$scratch/vemo.log" ] && sed 's/^/vemo: /' "$scratch/vemo.log" >&2
  exit 1
}
# A wine session lives as long as its wineserver, and its programs show their windows on the
# desktop that the session's first graphical start made. This prefix is the check's own: a server
# left by an earlier run (its desktop on a display that is gone) is stopped.
wineserver -k 2>/dev/null || true
timeout 60 wineserver -w 2>/dev/null || true
# The prefix once (it stays for later runs). wineboot's session goes on for some seconds after it
# returns, with a desktop that has no display: a program started in it has an invisible window,
# so the check waits until that session has ended.
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "Making the wine prefix $WINEPREFIX"
  started=$SECONDS
  mkdir -p "$WINEPREFIX"
  rm -f "$WINEPREFIX/.vemo-window-ready"
  DISPLAY="" wine wineboot --init >"$scratch/wineboot.log" 2>&1 || {
    cat "$scratch/wineboot.log" >&2
    fail "wineboot failed"
  }
  timeout 300 wineserver -w || fail "wineboot's wine session did not end within 300 s"
  echo "Made the wine prefix in $((SECONDS - started)) s"
fi

start_x_session 1024x768
# One wineserver for the whole check, its desktop on this display.
wineserver -p 2>/dev/null || true

# The working folder lies on C: (wine's drive_c) and holds one data file with a non-ASCII name.
work=$WINEPREFIX/drive_c/vemo-window-check-$$
mkdir -p "$work"
name="Zürich 2026.dat"
"$axegen" --profile realistic --size 200K --seed 16 -o "$work/$name"
"$convert" -q -j 1 -o "$scratch/expected.csv" "$work/$name"
output_windows='C:\vemo-window-check-'$$'\out.csv'
output=$work/out.csv

version=$(sed -n 's/^project(vemo VERSION \([0-9]*\)\.\([0-9]*\)\..*/\1.\2/p' "$repo/CMakeLists.txt")
caption="Vemo $version"
# The first graphical start in a prefix sets up wine's desktop and caches and takes several times
# as long as the later ones: it is made once, untimed, before the check (and its window closed).
if [ ! -f "$WINEPREFIX/.vemo-window-ready" ]; then
  echo "First start of vemo.exe in this prefix"
  started=$SECONDS
  (cd "$work" && exec wine "$program") >"$scratch/vemo.log" 2>&1 &
  vemo_pid=$!
  window_within 600 "$(title_pattern "$caption")" "$vemo_pid" >/dev/null ||
    fail "no window of vemo.exe within 600 s of its first start in $WINEPREFIX"
  stop "$vemo_pid"
  vemo_pid=""
  wait_for 20 sh -c "! xdotool search --onlyvisible --name '$(title_pattern "$caption")' >/dev/null 2>&1" ||
    fail "the window of the first start did not go away"
  touch "$WINEPREFIX/.vemo-window-ready"
  echo "First start: the window after $((SECONDS - started)) s"
fi

(cd "$work" && exec wine "$program") >"$scratch/vemo.log" 2>&1 &
vemo_pid=$!

dialog=$(title_pattern "Vemo")  # the summary and the messages
# 120 s at most, for a loaded machine (a start takes seconds).
window=$(window_within 120 "$(title_pattern "$caption")" "$vemo_pid") || {
  kill -0 "$vemo_pid" 2>/dev/null || fail "vemo.exe ended before its window appeared"
  fail "no window titled \"$caption\" within 120 s"
}
echo "window \"$caption\": $(xdotool getwindowgeometry "$window" | sed -n 's/^ *Geometry: *//p')"
sleep 2  # let it paint
import -window root "$shots/01-start.png"

key() { xdotool key --delay 100 "$@"; sleep 0.5; }
xdotool windowactivate --sync "$window" 2>/dev/null || true
sleep 0.5

# Drive1 has the focus at start: open it and look at the drives offered.
key alt+Down
sleep 1
import -window root "$shots/02-drives.png"
key Escape

# Keyboard only, so that the check does not depend on where wine puts the window: Tab to File1,
# Home and Space select its first (only) file, Tab to Text1 for the output, Tab to Extract.
key Tab Tab Home space
key Tab ctrl+a
xdotool type --delay 20 "$output_windows"
key Tab
import -window root "$shots/03-ready.png"
key space
summary=$(window_within 30 "$dialog") || fail "Extract showed no summary within 30 s"
sleep 1
import -window root "$shots/04-summary.png"
[ -f "$output" ] || fail "Extract wrote no output at $output_windows"
cmp "$scratch/expected.csv" "$output" || fail "vemo.exe's output differs from vemo-convert's"
echo "Extract: $(wc -l <"$output") lines, the same bytes as the Linux vemo-convert"
xdotool windowactivate --sync "$summary" 2>/dev/null || true
key Return
wait_for 10 sh -c "! xdotool search --onlyvisible --name '^Vemo\$' >/dev/null 2>&1" ||
  fail "the summary did not go away"

# Drive1 to Z: (typing its letter picks it): the lists follow the drive, so File1 has no
# selection any more, and Extract says so. Without a Z: entry nothing would change and Extract
# would convert again.
rm -f "$output"
xdotool windowactivate --sync "$window" 2>/dev/null || true
key shift+Tab shift+Tab shift+Tab shift+Tab
key z
sleep 1
import -window root "$shots/05-drive-z.png"
key Tab Tab Tab Tab
key space
message=$(window_within 10 "$dialog") || fail "after choosing Z:, Extract showed no message"
[ ! -f "$output" ] || fail "after choosing Z:, Extract still converted the file on C:"
import -window root "$shots/06-no-selection.png"
xdotool windowactivate --sync "$message" 2>/dev/null || true
key Return

# Closing the window ends the program.
xdotool windowactivate --sync "$window" 2>/dev/null || true
key alt+F4
wait_for 20 sh -c "! kill -0 $vemo_pid 2>/dev/null" || fail "vemo.exe did not end when closed"
wait "$vemo_pid" || fail "vemo.exe ended with an error"
vemo_pid=""
echo "window check passed; screenshots in $shots"
