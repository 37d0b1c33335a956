#!/usr/bin/env bash
# Starts the program with a file on a private X server where no session bus is
# named (no DBUS_SESSION_BUS_ADDRESS, nothing at $XDG_RUNTIME_DIR/bus): its
# window must be shown without dbus-launch ever being started for it, which
# would start a bus daemon of the program's own and keep the window waiting.
# A dbus-launch first on PATH only notes that it was started.
# Usage: check-no-bus.sh PROGRAM
set -euo pipefail
program="$1"
work="$(mktemp -d)"
pids=()
trap 'kill "${pids[@]}" 2>/dev/null; rm -rf "$work"' EXIT

exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do [[ -s "$work/display" ]] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")"
unset WAYLAND_DISPLAY QT_QPA_PLATFORM DBUS_SESSION_BUS_ADDRESS
mkdir "$work/runtime" "$work/bin"
export XDG_RUNTIME_DIR="$work/runtime"
printf '#!/bin/sh\necho "$@" >> "%s"\nexit 1\n' "$work/launched" > "$work/bin/dbus-launch"
chmod +x "$work/bin/dbus-launch"
export PATH="$work/bin:$PATH"
echo "line" > "$work/a.txt"
"$program" "$work/a.txt" >"$work/output" 2>&1 &
program_pid=$!
pids+=("$program_pid")

# Polled for up to 60 s, as check-centred.sh does.
window=""
for _ in $(seq 600); do
  window="$(xdotool search --onlyvisible --class rowtick 2>/dev/null | head -n 1 || true)"
  [[ -n "$window" ]] && break
  if ! kill -0 "$program_pid" 2>/dev/null; then
    echo "the program ended before its window was shown:" >&2
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
# The window is made after every look for the bus (the accessibility bridge
# looks as its controls are made): a launch would have been noted by now.
if [[ -e "$work/launched" ]]; then
  echo "dbus-launch was started for the program: $(cat "$work/launched")" >&2
  exit 1
fi
echo "window shown, no bus launched"
