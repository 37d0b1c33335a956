#!/usr/bin/env bash
# Starts the program on a private X server with a window manager that frames
# its windows (Openbox): the whole window, frame and title bar included, must
# end up centred on the screen, to the pixel.
# Usage: check-centred.sh PROGRAM
set -euo pipefail
program="$1"
width=1280 height=1024
work="$(mktemp -d)"
pids=()
trap 'kill "${pids[@]}" 2>/dev/null; rm -rf "$work"' EXIT

source "$(dirname "$0")/private-display.sh"
StartDisplay "${width}x${height}"
unset WAYLAND_DISPLAY QT_QPA_PLATFORM
export XDG_RUNTIME_DIR="$work" DBUS_SESSION_BUS_ADDRESS="unix:path=$work/no-bus"
openbox --sm-disable >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break; sleep 0.1; done
"$program" >"$work/output" 2>&1 &
program_pid=$!
pids+=("$program_pid")
WaitForWindow "$program_pid" "$work/output"
place=""
for _ in $(seq 50); do
  extents="$(xprop -id "$window" _NET_FRAME_EXTENTS 2>/dev/null | sed -n 's/.* = //p' | tr -d ' ')"
  if [[ -n "$extents" ]]; then
    IFS=, read -r left right top bottom <<<"$extents"
    info="$(xwininfo -id "$window")"  # the client area, in screen coordinates
    X="$(sed -n 's/.*Absolute upper-left X: *//p' <<<"$info")" Y="$(sed -n 's/.*Absolute upper-left Y: *//p' <<<"$info")"
    WIDTH="$(sed -n 's/^ *Width: *//p' <<<"$info")" HEIGHT="$(sed -n 's/^ *Height: *//p' <<<"$info")"
    outer_x=$((X - left)) outer_y=$((Y - top))
    outer_w=$((WIDTH + left + right)) outer_h=$((HEIGHT + top + bottom))
    place="frame ${outer_w}x${outer_h} at ${outer_x},${outer_y}"
    dx=$((2 * outer_x + outer_w - width)) dy=$((2 * outer_y + outer_h - height))
    if ((dx >= -2 && dx <= 2 && dy >= -2 && dy <= 2)); then
      echo "centred: $place on ${width}x${height}"
      exit 0
    fi
  fi
  sleep 0.1
done
echo "not centred: ${place:-no frame} on ${width}x${height}" >&2
exit 1
