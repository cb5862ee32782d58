#!/usr/bin/env bash
# Starts the built window program on a virtual X display, waits for its window, checks its size,
# saves a screenshot and closes it again. Needs no display of its own.
# Usage: real_window_check.sh VEMO_PROGRAM SCREENSHOT_FILE CAPTION [WORKING_FOLDER]
# A missing tool ends it with 77 (skipped), or with 1 when CI=true.
set -euo pipefail

program=$1
screenshot=$2
caption=$3
for tool in Xvfb xdotool import; do
  if ! command -v "$tool" >/dev/null; then
    echo "$tool is missing; scripts/install-deps.sh --test installs it" >&2
    [ "${CI:-}" = true ] && exit 1
    exit 77
  fi
done

scratch=$(mktemp -d)
working_folder=${4:-$scratch}
xvfb_pid=""
vemo_pid=""

stop() {  # pid: TERM, then KILL when it has not gone within 5 s
  local pid=$1
  kill -TERM "$pid" 2>/dev/null || return 0
  for _ in $(seq 50); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -KILL "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}
cleanup() {
  [ -n "$vemo_pid" ] && stop "$vemo_pid"
  [ -n "$xvfb_pid" ] && stop "$xvfb_pid"
  rm -rf "$scratch"
}
trap cleanup EXIT

# Xvfb picks a free display itself and writes its number to descriptor 3.
Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$scratch/display" 2>"$scratch/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do
  [ -s "$scratch/display" ] && break
  sleep 0.1
done
if [ ! -s "$scratch/display" ]; then
  echo "Xvfb did not start:" >&2
  cat "$scratch/xvfb.log" >&2
  exit 1
fi
export DISPLAY=":$(head -n 1 "$scratch/display")"
unset WAYLAND_DISPLAY
export QT_QPA_PLATFORM=xcb

(cd "$working_folder" && exec "$program") >"$scratch/vemo.log" 2>&1 &
vemo_pid=$!

# xdotool matches names by regular expression: the caption with its special characters escaped.
caption_pattern="^$(printf '%s' "$caption" | sed 's/[][\.*^$+?(){}|]/\\&/g')\$"
window=""
for _ in $(seq 200); do  # 20 s at most
  window=$(xdotool search --onlyvisible --name "$caption_pattern" 2>/dev/null | head -n 1 || true)
  [ -n "$window" ] && break
  if ! kill -0 "$vemo_pid" 2>/dev/null; then
    echo "vemo ended before its window appeared:" >&2
    cat "$scratch/vemo.log" >&2
    exit 1
  fi
  sleep 0.1
done
if [ -z "$window" ]; then
  echo "no window titled \"$caption\" within 20 s" >&2
  cat "$scratch/vemo.log" >&2
  exit 1
fi

geometry=$(xdotool getwindowgeometry "$window" | sed -n 's/^ *Geometry: *//p')
echo "window $window, size $geometry"
if [ "$geometry" != "440x235" ]; then
  echo "the window should be 440x235 pixels" >&2
  exit 1
fi

sleep 1  # let it paint
import -window "$window" "$screenshot"
echo "screenshot: $screenshot"

stop "$vemo_pid"
vemo_pid=""
