#!/usr/bin/env bash
# Times the program's start against a bare Qt window of the same size: from
# fork to the X server's MapNotify of the window, under a private Xvfb without
# a window manager, runs alternating, medians.
#
#   bench/measure-startup.sh [BUILD] [RUNS]    BUILD defaults to build-test, RUNS to 15
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$repo/build-test}
runs=${2:-15}
display=:${ROWTICK_DISPLAY:-87}

Xvfb "$display" -screen 0 1280x800x24 -noreset >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb' EXIT
sleep 1
export DISPLAY=$display QT_QPA_PLATFORM=xcb
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}
# A desktop has a session bus. Without one, each Qt program starts one of its
# own through dbus-launch while it starts, at no fixed moment: noise for both.
bus=()
if [[ -z ${DBUS_SESSION_BUS_ADDRESS:-} ]] && command -v dbus-run-session > /dev/null; then
  bus=(dbus-run-session --)
fi
echo "$(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg), session bus: ${bus[*]:-${DBUS_SESSION_BUS_ADDRESS:-none}}"
"${bus[@]}" "$build/bench/rowtick-time-to-map" -n "$runs" "$build/app/rowtick" -- "$build/bench/rowtick-bare-window" 2>&1 \
    | grep -v '^QStandardPaths\|^dbus-daemon'
