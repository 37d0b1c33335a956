#!/usr/bin/env bash
# Times the program's start against a bare Qt window of the same size: from
# fork to the X server's MapNotify of the window, under a private Xvfb without
# a window manager, runs alternating, medians.
#
#   bench/measure-startup.sh [BUILD] [RUNS]    BUILD defaults to build-test, RUNS to 15
# With ROWTICK_WINE=1, BUILD is a Windows build (build-win, configured with
# -DROWTICK_BUILD_BENCH=ON): Rowtick.exe against the bare window built with
# the same Qt, each started as `wine PROGRAM.exe` with the real windows
# plugin, in a Japanese locale; Wine's server runs throughout, so that neither
# pays for starting it. The timer is build-test's.
# With ROWTICK_NO_BUS=1, both start without a session bus: neither
# DBUS_SESSION_BUS_ADDRESS nor a bus at $XDG_RUNTIME_DIR/bus, nor one started
# for them; where dbus-launch is installed, Qt's libdbus would start one.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$repo/build-test}
runs=${2:-15}
display=:${ROWTICK_DISPLAY:-87}
timer=$build/bench/rowtick-time-to-map
program=("$build/app/rowtick")
other=("$build/bench/rowtick-bare-window")
if [[ -n ${ROWTICK_WINE:-} ]]; then
  build=$(cd "$build" && pwd)
  timer=$repo/build-test/bench/rowtick-time-to-map
  qt=$(sed -n 's|^Qt6_DIR:PATH=\(.*\)/lib/cmake/Qt6$|\1|p' "$build/CMakeCache.txt")
  runtime=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-file-name=libstdc++-6.dll)")
  pthread=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-file-name=libwinpthread-1.dll)")
  export WINEPREFIX=$build/wine-prefix WINEDEBUG=-all LOCPATH=$build/locale LC_ALL=ja_JP.UTF-8
  export WINEPATH="Z:$qt/bin;Z:$runtime;Z:$pthread"
  program=(wine "$build/app/Rowtick.exe")
  other=(wine "$build/bench/rowtick-bare-window.exe")
fi

Xvfb "$display" -screen 0 1280x800x24 -noreset >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb' EXIT
sleep 1
export DISPLAY=$display QT_QPA_PLATFORM=xcb
[[ -z ${ROWTICK_WINE:-} ]] || unset QT_QPA_PLATFORM  # the windows plugin
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}
# A desktop has a session bus. Without one, each Qt program starts one of its
# own through dbus-launch while it starts, at no fixed moment: noise for both.
bus=()
if [[ -n ${ROWTICK_NO_BUS:-} ]]; then
  unset DBUS_SESSION_BUS_ADDRESS
  XDG_RUNTIME_DIR=$(mktemp -d)  # no bus there
elif [[ -z ${DBUS_SESSION_BUS_ADDRESS:-} ]] && command -v dbus-run-session > /dev/null; then
  bus=(dbus-run-session --)
fi
launcher=$(command -v dbus-launch || echo "no dbus-launch")
echo "$(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg), session bus: ${bus[*]:-${DBUS_SESSION_BUS_ADDRESS:-none ($launcher)}}"
if [[ -n ${ROWTICK_WINE:-} ]]; then
  wineserver -p
  trap 'wineserver -k; kill $xvfb' EXIT
  wine wineboot --init >/dev/null 2>&1
fi
"${bus[@]}" "$timer" -n "$runs" "${program[@]}" -- "${other[@]}" 2>&1 \
    | grep -v '^QStandardPaths\|^dbus-daemon'
