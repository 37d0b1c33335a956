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

source "$(dirname "$0")/private-display.sh"
StartDisplay 800x600
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
WaitForWindow "$program_pid" "$work/output"
# The window is made after every look for the bus (the accessibility bridge
# looks as its controls are made): a launch would have been noted by now.
if [[ -e "$work/launched" ]]; then
  echo "dbus-launch was started for the program: $(cat "$work/launched")" >&2
  exit 1
fi
echo "window shown, no bus launched"
