# Sourced by the checks that drive a window on a virtual X display (tests/ui/real_window_check.sh,
# tests/windows/window_check.sh): the tool check, process stopping, polling, the display with its
# window manager, and finding windows by title. The sourcing script defines fail() and $scratch.

# require_tools HINT TOOL...: a missing tool ends the check with 77 (skipped), or 1 when CI=true.
require_tools() {
  local hint=$1 tool
  shift
  for tool in "$@"; do
    if ! command -v "$tool" >/dev/null; then
      echo "$tool is missing; $hint installs it" >&2
      [ "${CI:-}" = true ] && exit 1
      exit 77
    fi
  done
}

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

# wait_for SECONDS COMMAND...: polls every 0.1 s until COMMAND succeeds; fails after SECONDS.
wait_for() {
  local tenths=$(($1 * 10))
  shift
  for _ in $(seq "$tenths"); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}

# start_x_session WIDTHxHEIGHT: Xvfb on a free display, exported as DISPLAY, with openbox on it;
# sets xvfb_pid and wm_pid for the caller's cleanup.
start_x_session() {
  # Xvfb picks a free display itself and writes its number to descriptor 3.
  Xvfb -displayfd 3 -screen 0 "$1x24" -nolisten tcp 3>"$scratch/display" 2>"$scratch/xvfb.log" &
  xvfb_pid=$!
  wait_for 10 test -s "$scratch/display" || fail "Xvfb did not start: $(cat "$scratch/xvfb.log")"
  export DISPLAY=":$(head -n 1 "$scratch/display")"
  unset WAYLAND_DISPLAY
  XDG_CONFIG_HOME=$scratch/config XDG_CACHE_HOME=$scratch/cache openbox --sm-disable \
    >"$scratch/openbox.log" 2>&1 &
  wm_pid=$!
  wait_for 10 sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"' ||
    fail "openbox did not start"
}

# xdotool matches names by regular expression: a whole title with its special characters escaped.
title_pattern() {
  printf '^%s$' "$(printf '%s' "$1" | sed 's/[][\.*^$+?(){}|]/\\&/g')"
}

find_window() {  # title pattern -> the first visible window's id, if any
  xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1 || true
}

# window_within SECONDS PATTERN [PID]: prints the first visible window whose title matches, once
# there is one; fails after SECONDS, or as soon as process PID has ended.
window_within() {
  local tenths=$(($1 * 10)) id
  for _ in $(seq "$tenths"); do
    id=$(find_window "$2")
    [ -n "$id" ] && echo "$id" && return 0
    [ -z "${3:-}" ] || kill -0 "$3" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}
