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

exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 "${width}x${height}x24" -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do [[ -s "$work/display" ]] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")"
unset WAYLAND_DISPLAY QT_QPA_PLATFORM
export XDG_RUNTIME_DIR="$work" DBUS_SESSION_BUS_ADDRESS="unix:path=$work/no-bus"
openbox --sm-disable >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break; sleep 0.1; done
"$program" >"$work/output" 2>&1 &
program_pid=$!
pids+=("$program_pid")

# Waited for as the other window tests wait: polled, for up to 60 s, which a
# loaded machine running the program under a sanitizer may need; a failure
# says why.
window=""
for _ in $(seq 600); do
  window="$(xdotool search --onlyvisible --class rowtick 2>/dev/null | head -n 1 || true)"
  [[ -n "$window" ]] && break
  if ! kill -0 "$program_pid" 2>/dev/null; then
    status=0
    wait "$program_pid" || status=$?
    echo "the program ended (status $status) before its window was shown:" >&2
    cat "$work/output" >&2
    exit 1
  fi
  sleep 0.1
done
if [[ -z "$window" ]]; then
  echo "no window of the program shown within 60 s; its output:" >&2
  cat "$work/output" >&2
  exit 1
fi
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
