#!/usr/bin/env bash
# Starts the built window program on a virtual X display under a window manager (openbox), checks
# its size and saves a screenshot. Then drives a run into a FIFO that is read slowly, as a slow
# network share would take it, and checks that the window stays alive meanwhile: it repaints an
# area that another window uncovers, answers the manager's ping after a close request (asking
# whether to stop, answered No), and stops on Esc (answered Yes) with the output ending after a
# whole line. Needs no display of its own.
# Usage: real_window_check.sh VEMO_PROGRAM SCREENSHOT_FILE CAPTION [SAMPLES_FOLDER]
# The screenshots taken during the run go beside SCREENSHOT_FILE (-running, -stop-question,
# -stopped).
# A missing tool ends it with 77 (skipped), or with 1 when CI=true.
set -euo pipefail

program=$(readlink -f "$1")
screenshot=$2
caption=$3
samples=${4:-}
shots=${screenshot%.png}
source "$(dirname "${BASH_SOURCE[0]}")/../support/x_session.sh"
require_tools "scripts/install-deps.sh --test" Xvfb openbox xdotool xprop xwininfo import compare xlogo

scratch=$(mktemp -d)
xvfb_pid=""
wm_pid=""
vemo_pid=""
reader_pid=""
cover_pid=""
cleanup() {
  for pid in "$cover_pid" "$vemo_pid" "$reader_pid" "$wm_pid" "$xvfb_pid"; do
    [ -n "$pid" ] && stop "$pid"
  done
  rm -rf "$scratch"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  [ -f "$scratch/vemo.log" ] && sed 's/^/vemo: /' "$scratch/vemo.log" >&2
  exit 1
}
start_x_session 800x600
export QT_QPA_PLATFORM=xcb

# The working folder: a data file of some 20 MB, made of a sample repeated whole.
work=$scratch/work
mkdir -p "$work" "$scratch/out"
sample=${samples:+$samples/switch-a.dat}
if [ -z "$sample" ] || [ ! -f "$sample" ]; then
  fail "the samples folder with switch-a.dat is needed"
fi
for _ in $(seq 500); do cat "$sample"; done >"$work/big.dat"

(cd "$work" && exec "$program") >"$scratch/vemo.log" 2>&1 &
vemo_pid=$!

caption_pattern=$(title_pattern "$caption")
window=$(window_within 20 "$caption_pattern" "$vemo_pid") || {
  kill -0 "$vemo_pid" 2>/dev/null || fail "vemo ended before its window appeared"
  fail "no window titled \"$caption\" within 20 s"
}

geometry=$(xdotool getwindowgeometry "$window" | sed -n 's/^ *Geometry: *//p')
echo "window $window, size $geometry"
[ "$geometry" = "440x235" ] || fail "the window should be 440x235 pixels"

sleep 1  # let it paint
import -window "$window" "$screenshot"
echo "screenshot: $screenshot"

# --- A run into a slowly read FIFO ---------------------------------------------------------
fifo=$scratch/out/slow.csv
copy=$scratch/out/copy.csv
mkfifo "$fifo"
: >"$copy"
# At most 16 KiB every 50 ms: some 300 KB/s, far slower than the run could write.
(
  exec 3<"$fifo"
  while :; do
    n=$(dd bs=16384 count=1 status=none <&3 | tee -a "$copy" | wc -c)
    [ "$n" -eq 0 ] && break
    sleep 0.05
  done
) &
reader_pid=$!

click() {  # x y, in the window's client area
  xdotool mousemove --window "$window" "$1" "$2" click 1
}
xdotool windowactivate --sync "$window" 2>/dev/null || true
click 300 24                          # File1's first item: big.dat
click 110 156                         # Text1
xdotool key ctrl+a
xdotool type --delay 2 "$fifo"
click 372 197                         # Extract
wait_for 15 test -s "$copy" || fail "the run did not start writing to the FIFO"
sleep 1
kill -0 "$reader_pid" 2>/dev/null || fail "the run ended before it could be watched"

title_ok() {  # openbox marks a window that misses its ping "[Not Responding]"
  ! xprop -id "$window" _NET_WM_VISIBLE_NAME WM_NAME 2>/dev/null | grep -q 'Not Responding'
}
# The client area's place on the screen (xdotool reports the frame's under a window manager).
X=$(xwininfo -id "$window" | sed -n 's/^ *Absolute upper-left X: *//p')
Y=$(xwininfo -id "$window" | sed -n 's/^ *Absolute upper-left Y: *//p')
area="201x96+$((X + 16))+$((Y + 44))"                   # Dir1, which the run leaves alone
import -window root -crop "$area" +repage "$scratch/before.png"
# Another window covers Dir1 and goes again: the window must paint the uncovered area itself.
xlogo -geometry "260x200+$((X + 8))+$((Y + 30))" >/dev/null 2>&1 &
cover_pid=$!
sleep 1
import -window root -crop "$area" +repage "$scratch/covered.png"
stop "$cover_pid"
cover_pid=""
sleep 1
import -window root -crop "$area" +repage "$scratch/after.png"
covered=$(compare -metric AE "$scratch/before.png" "$scratch/covered.png" null: 2>&1 || true)
after=$(compare -metric AE "$scratch/before.png" "$scratch/after.png" null: 2>&1 || true)
echo "Dir1 during the run: $covered pixels differ while covered, $after after"
[ "${covered%% *}" != "0" ] || fail "the covering window did not cover Dir1; the check means nothing"
[ "${after%% *}" = "0" ] || fail "the window did not repaint the area uncovered during the run"
import -window root -crop "440x235+$X+$Y" +repage "$shots-running.png"
title_ok || fail "the window manager marked the window not responding"

# A close request through the window manager (which pings the window) asks; No goes on.
xdotool windowactivate --sync "$window" 2>/dev/null || true
xdotool key alt+F4
question=""
wait_for 10 sh -c "xdotool search --onlyvisible --name '^Vemo\$' >/dev/null 2>&1" ||
  fail "a close request during the run asked nothing (the window did not take its events)"
question=$(find_window '^Vemo$')
sleep 0.5
import -window root "$shots-stop-question.png"
title_ok || fail "the window manager marked the window not responding"
kill -0 "$reader_pid" 2>/dev/null || fail "the run ended while the question was open"
xdotool windowactivate --sync "$question" 2>/dev/null || true
xdotool key Return                    # No is the default
wait_for 5 sh -c "! xdotool search --onlyvisible --name '^Vemo\$' >/dev/null 2>&1" ||
  fail "the stop question did not go away"
size=$(stat -c %s "$copy")
wait_for 10 sh -c "[ \$(stat -c %s '$copy') -gt $size ]" || fail "the run did not go on after No"
title_ok || fail "the window manager marked the window not responding"
[ -n "$(find_window "$caption_pattern")" ] || fail "No closed the window"

# Esc asks again; Yes stops the run after a whole line and says so.
xdotool windowactivate --sync "$window" 2>/dev/null || true
xdotool key Escape
wait_for 10 sh -c "xdotool search --onlyvisible --name '^Vemo\$' >/dev/null 2>&1" ||
  fail "Esc during the run asked nothing"
question=$(find_window '^Vemo$')
xdotool windowactivate --sync "$question" 2>/dev/null || true
xdotool key y
wait_for 10 sh -c "xdotool search --onlyvisible --name '^Vemo\$' | grep -vqx '$question'" ||
  fail "no message after stopping the run"
sleep 0.5
import -window root "$shots-stopped.png"
wait_for 20 sh -c "! kill -0 $reader_pid 2>/dev/null" || fail "the output was not closed"
wait "$reader_pid" 2>/dev/null || true
reader_pid=""
[ "$(tail -c 2 "$copy" | od -An -tx1 | tr -d ' ')" = "0d0a" ] ||
  fail "the output does not end with CR LF"
lines=$(wc -l <"$copy")
[ "$(grep -c $'\r$' "$copy")" = "$lines" ] || fail "a line of the output lacks its CR LF"
echo "stopped: $lines whole lines in the output"
xdotool key Return                    # dismisses "Run stopped: ..."
wait_for 5 sh -c "! xdotool search --onlyvisible --name '^Vemo\$' >/dev/null 2>&1" ||
  fail "the message did not go away"

# With no run, a close request closes the window and ends the program.
xdotool windowactivate --sync "$window" 2>/dev/null || true
xdotool key alt+F4
wait_for 10 sh -c "! kill -0 $vemo_pid 2>/dev/null" || fail "vemo did not end when closed"
wait "$vemo_pid" || fail "vemo ended with an error"
vemo_pid=""
echo "screenshots: $shots-running.png $shots-stop-question.png $shots-stopped.png"
