#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The run's window under Wine on a virtual X server, against the Linux
# program's on the same server: the window is captured for as long as it is
# there, and the last capture (the final "完了", shown for two seconds) of
# each must be the same picture, black on white. (The window's white differs
# in its last bits: SDL widens 16-bit colours for X by a shift, Windows by
# scaling; so pictures are compared as black and white.) The captures are
# kept as PNGs in WORK for a person to look at.
#   scripts/windows_window_test.sh WORK LINUX_TAVREST WINDOWS_TAVREST FONT_DIR
set -euo pipefail
work=$1 linux_tavrest=$2 windows_tavrest=$3 fonts=$4
unset SDL_VIDEODRIVER

fail() {
  echo "window test: $*" >&2
  exit 1
}

# Xvfb picks a display number no other server holds, and names it once it
# is ready to take clients. Without -noreset it would restart each time its
# last client (a capture) leaves, refusing the program if it came then.
start_server() {
  local attempt
  for attempt in 1 2 3; do
    rm -f "$ready"
    Xvfb -displayfd 3 -screen 0 640x480x24 -nolisten tcp -noreset 3> "$ready" > "$work/xvfb.log" 2>&1 &
    server=$!
    for _ in $(seq 1 300); do
      if [ -s "$ready" ] && grep -q '^[0-9]' "$ready"; then
        export DISPLAY=:$(head -n 1 "$ready")
        return 0
      fi
      kill -0 $server 2> /dev/null || break
      sleep 0.1
    done
    kill $server 2> /dev/null || true
  done
  fail "Xvfb did not start"
}

mkdir -p "$work"
ready=$work/display
server=
trap '[ -z "$server" ] || { kill $server 2> /dev/null && wait $server 2> /dev/null; } || true' EXIT
start_server

# Runs the program in its own folder and keeps capturing its window until it
# ends; the last capture becomes $system.png.
capture_run() {
  local system=$1
  shift
  local folder=$work/$system
  mkdir -p "$folder"
  printf '%s\n%s\n16\n' "$fonts/jiskan16.bdf" "$fonts/8x16rk.bdf" > "$folder/tavrest.ini"
  (cd "$folder" && exec "$@" > run.log 2>&1) &
  local program=$! window
  while kill -0 $program 2> /dev/null; do
    window=$(xwininfo -root -tree 2> /dev/null | awk '$2 == "\"tavrest\":" && !id {id = $1} END {print id}' || true)
    if [ -n "$window" ] && xwd -silent -id "$window" -out "$folder/capture.xwd" 2> /dev/null; then
      mv "$folder/capture.xwd" "$folder/last.xwd"
    fi
  done
  wait $program || fail "the $system run failed: $(cat "$folder/run.log")"
  [ -s "$folder/last.xwd" ] || fail "the $system window was never captured ($(kill -0 $server 2>&1 &&
    echo "the X server runs" || echo "the X server ended: $(tail -n 3 "$work/xvfb.log")"))"
  convert "$folder/last.xwd" "$work/$system.png"
  convert "$work/$system.png" -colorspace gray -threshold 50% "$work/$system-ink.png"
}

rm -rf "$work/linux" "$work/windows"
# A Wine server still running from the conversions before keeps a desktop
# made without this display, on which no window can be made: it is ended
# first, so that the program's Wine starts afresh on this server.
wineserver -k 2> /dev/null || true
timeout 30 wineserver -w || true
capture_run linux "$linux_tavrest"
capture_run windows wine "$windows_tavrest"
size=$(identify -format '%wx%h' "$work/windows.png")
[ "$size" = 444x30 ] || fail "the Windows window is $size, not 444x30"
# Wine's desktop process lets go of the display before the server goes.
timeout 30 wineserver -w || true
colours=$(convert "$work/windows.png" -format '%k' info:)
[ "$colours" = 2 ] || fail "the Windows window shows $colours colours, not black on white"
difference=$(compare -metric AE "$work/linux-ink.png" "$work/windows-ink.png" null: 2>&1) || true
[ "$difference" = 0 ] || fail "the windows differ in $difference pixels (see $work)"
ink=$(convert "$work/windows-ink.png" -format '%[fx:round(w*h*(1-mean))]' info:)
[ "$ink" -gt 0 ] || fail "the Windows window is blank"
echo "window: the last picture under Wine is the Linux one (\"完了\", $ink black pixels)"
