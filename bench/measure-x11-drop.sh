#!/usr/bin/env bash
# A real X11 drop of many files on the running program, then a counting run.
# Usage: bench/measure-x11-drop.sh BUILD_DIR XDNDRAW URI_LIST [DISPLAY] [THEN_LIST]
#   XDNDRAW: a raw XDND drag source, `xdndraw WID ROOTX ROOTY FILE`, that exits
#   when the drop is finished; URI_LIST: the text/uri-list to drop.
# Starts BUILD_DIR/app/rowtick on DISPLAY (an X server already running, default
# :10), drops the list on the target list, presses Space on the count button
# (it has the focus), waits until the process stops using the processor, and
# prints the drop's time and the process's resident and peak memory after each step.
# THEN_LIST, when given, is dropped right after the first drop and timed too: a
# small drop after a huge one shows whether the window is still responsive.
# With SAVE_TO=FILE in the environment, the rows are then saved through the real
# save dialog: the save button is clicked, FILE typed into the dialog and
# Return pressed, and the memory printed once the program is idle again.
# With ROWTICK_WINE=1 the program is BUILD/app/Rowtick.exe (a Windows build)
# started as `wine Rowtick.exe`, with the environment Wine needs already set
# (WINEPREFIX, WINEPATH, a Japanese locale); the uri-list then names files as
# X programs do, and Wine hands them over as a Windows drop.
set -euo pipefail
build=$1 xdndraw=$2 list=$3 then=${5:-}
export DISPLAY=${4:-:10} QT_QPA_PLATFORM=xcb
program=("$build/app/rowtick")
if [[ -n ${ROWTICK_WINE:-} ]]; then
  unset QT_QPA_PLATFORM
  program=(wine "$build/app/Rowtick.exe")
fi

"${program[@]}" >/dev/null 2>&1 &
pid=$!
trap 'kill $pid 2>/dev/null' EXIT
window=""
while [ -z "$window" ]; do
  sleep 0.5
  window=$(xdotool search --onlyvisible --pid "$pid" --name '^Rowtick$' 2>/dev/null | head -1 || true)
done
eval "$(xdotool getwindowgeometry --shell "$window")"
memory() { awk '/^VmRSS|^VmHWM/ {printf "%s %.0f MiB  ", $1, $2 / 1024}' "/proc/$pid/status"; echo; }
idle() {  # until the process's processor time stops growing for a second
  local previous=-1 now
  while now=$(awk '{print $14 + $15}' "/proc/$pid/stat") && [ "$now" != "$previous" ]; do
    previous=$now
    sleep 1
  done
}

drop() {  # LIST: drops it, and prints how long until the program had taken it
  local start
  start=$(date +%s.%N)
  "$xdndraw" "$window" $((X + 100)) $((Y + 60)) "$1" | tail -1
  echo "drop of $(wc -c <"$1") bytes taken in $(echo "$(date +%s.%N) - $start" | bc) s"
}

echo "started:  $(memory)"
drop "$list"
echo "dropped:  $(memory)"
if [ -n "$then" ]; then
  drop "$then"
  echo "dropped:  $(memory)"
fi
start=$(date +%s.%N)
xdotool mousemove $((X + 212)) $((Y + 277)) click 1   # the count button's middle
sleep 0.5
idle
echo "counted:  $(memory) (idle $(echo "$(date +%s.%N) - $start - 1" | bc) s after the press)"
if [ -n "${SAVE_TO:-}" ]; then
  xdotool mousemove $((X + 288)) $((Y + 277)) click 1   # the save button's middle
  until xdotool search --onlyvisible --pid "$pid" --name '^名前を付けて保存$' >/dev/null 2>&1; do sleep 0.2; done
  xdotool type --delay 5 "$SAVE_TO"
  xdotool key Return
  sleep 0.5
  idle
  echo "saved:    $(memory) ($(stat -c %s "$SAVE_TO") bytes in $SAVE_TO)"
fi
