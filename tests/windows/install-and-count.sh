#!/usr/bin/env bash
# The whole program on Windows, as a user meets it, under Wine on a private X
# server with Qt's real windows platform plugin:
#   install the MSI into a fresh Wine prefix, start Rowtick.exe from where it
#   was installed, drop three files on it from the X side (XDND, which Wine
#   hands to the program as a Windows drop), press 「ｶｳﾝﾄ開始」, save the rows
#   through the dialog, compare the saved bytes (code page 932, CR LF), and
#   uninstall: nothing may be left.
# Usage: install-and-count.sh MSI XDNDRAW_SOURCE
#   XDNDRAW_SOURCE: xdndraw.c, a raw XDND drag source, compiled here. It is
#   one of the shared tools beside the clone; a clone without them tries
#   everything but the drop, and says so.
# Needs LOCPATH naming a folder that holds the ja_JP.UTF-8 locale.
set -euo pipefail
msi="$(readlink -f "$1")"
xdndraw_source="$2"

fail() { echo "FAILED: $*" >&2; exit 1; }
# wait_for SECONDS WHAT COMMAND...: until COMMAND succeeds, or fails saying WHAT it waited for.
wait_for() {
  local seconds="$1" what="$2"
  shift 2
  for _ in $(seq $((seconds * 5))); do
    "$@" >/dev/null 2>&1 && return 0
    sleep 0.2
  done
  fail "no $what within $seconds s"
}

[[ -f "$msi" ]] || fail "no installer at $msi"
drop=yes
if [[ ! -f "$xdndraw_source" ]]; then
  drop=no
  echo "the drop is not tried: no XDND drag source at $xdndraw_source (the shared tools beside the clone)"
fi
[[ -d "${LOCPATH:-}/ja_JP.UTF-8" ]] || fail "no ja_JP.UTF-8 locale under LOCPATH (${LOCPATH:-unset})"

work="$(mktemp -d)"
pids=()
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=ja_JP.UTF-8
cleanup() {
  wineserver -k 2>/dev/null || true
  kill "${pids[@]}" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

if [[ $drop == yes ]]; then
  cc -O2 "$xdndraw_source" -o "$work/xdndraw" $(pkg-config --cflags --libs x11)
fi

exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset >/dev/null 2>&1 &
pids+=($!)
wait_for 10 "X server" test -s "$work/display"
export DISPLAY=":$(cat "$work/display")"
unset WAYLAND_DISPLAY QT_QPA_PLATFORM

timeout 120 wine wineboot --init >/dev/null 2>&1 || fail "the Wine prefix was not made within 120 s"
program_files="$WINEPREFIX/drive_c/Program Files"
before="$(cd "$program_files" && find . | sort)"

# Installed as the installer's entry under the installed apps will remove it.
timeout 120 wine msiexec /i "$(winepath -w "$msi")" /qn >/dev/null 2>&1 || fail "msiexec /i did not install within 120 s"
installed="$program_files/Rowtick"
for file in Rowtick.exe qtbase_ja.qm Qt6Core.dll Qt6Gui.dll Qt6Widgets.dll platforms/qwindows.dll \
  styles/qwindowsvistastyle.dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll; do
  [[ -f "$installed/$file" ]] || fail "$file is not installed"
done
# Wine keeps the Start menu of a machine-wide install with the user's.
start_menu="$(find "$WINEPREFIX/drive_c" -path '*/Start Menu/Programs/Rowtick.lnk' | head -n 1)"
send_to="$(find "$WINEPREFIX/drive_c/users" -path '*/SendTo/Rowtick.lnk' | head -n 1)"
[[ -n "$start_menu" ]] || fail "no shortcut in the Start menu"
[[ -n "$send_to" ]] || fail "no Send to entry"
wine uninstaller --list 2>/dev/null | grep -q 'Rowtick' || fail "no entry under the installed apps"

# Three files, one with a Japanese name, and the rows their count must give.
mkdir "$work/files"
printf 'a\r\nb\r\nc\r\n' >"$work/files/first.bas"
printf '1\n2\n' >"$work/files/計算 表.txt"
printf 'no line end' >"$work/files/last.c"
for name in first.bas '計算 表.txt' last.c; do
  printf 'file://%s\r\n' "$(python3 -c 'import sys, urllib.parse; print(urllib.parse.quote(sys.argv[1]))' "$work/files/$name")"
done >"$work/drop.uri"
{
  printf '3,\t%s\r\n' "$(winepath -w "$work/files/first.bas")"
  printf '2,\t%s\r\n' "$(winepath -w "$work/files/計算 表.txt")"
  printf '1,\t%s\r\n' "$(winepath -w "$work/files/last.c")"
} | iconv -f UTF-8 -t CP932 >"$work/expected.csv"

# count_and_save NAME: presses 「ｶｳﾝﾄ開始」 in the window at X,Y, saves through the
# dialog to C:\NAME and compares the bytes with the expected rows.
count_and_save() {
  local name="$1" saved="$WINEPREFIX/drive_c/$1" X="$X" Y="$Y" WIDTH HEIGHT dialog
  sleep 1
  xdotool mousemove $((X + 212)) $((Y + 277)) click 1  # 「ｶｳﾝﾄ開始」
  sleep 1
  xdotool mousemove $((X + 288)) $((Y + 277)) click 1  # 「結果保存」
  # The dialog's title is Qt's own, translated: the translation beside the program was found.
  wait_for 30 "save dialog named 名前を付けて保存" xdotool search --onlyvisible --name '^名前を付けて保存$'
  dialog="$(xdotool search --onlyvisible --name '^名前を付けて保存$' | head -n 1)"
  eval "$(xdotool getwindowgeometry --shell "$dialog")"
  xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2))  # the keys go where the pointer is
  sleep 0.5
  xdotool type --delay 20 "C:\\$name"
  xdotool key Return
  # The confirmation comes once the file is whole.
  wait_for 30 "confirmation 保存しました after the save" xdotool search --onlyvisible --name '^Halvern$'
  [[ -f "$saved" ]] || fail "nothing saved at C:\\$name"
  if ! cmp "$saved" "$work/expected.csv"; then
    echo "saved:" >&2; od -c "$saved" >&2
    echo "expected:" >&2; od -c "$work/expected.csv" >&2
    fail "the rows saved in $name differ"
  fi
  echo "saved the three rows in $name, code page 932, CR LF"
}

# start_program ARGUMENT...: starts wine with the arguments and finds the window.
start_program() {
  (cd "$installed" && exec wine "$@" >/dev/null 2>&1) &
  disown $!  # ended by wineserver -k, quietly
  pids+=($!)
  wait_for 60 "window named Rowtick" xdotool search --onlyvisible --name '^Rowtick$'
  window="$(xdotool search --onlyvisible --name '^Rowtick$' | head -n 1)"
  eval "$(xdotool getwindowgeometry --shell "$window")"  # X, Y: the client area's corner
}

start_program ./Rowtick.exe
echo "window ${WIDTH}x${HEIGHT} at $X,$Y"
# Centred with its frame, which Wine draws itself here: as much room left as
# right, and less below than above, where the title bar is.
((X == 1024 - X - WIDTH)) || fail "not centred across: the client area at x=$X"
((768 - Y - HEIGHT < Y && 768 - Y - HEIGHT + 80 > Y)) || fail "not centred down: the client area at y=$Y"

if [[ $drop == yes ]]; then
  XDNDRAW_TIMEOUT=30 "$work/xdndraw" "$window" $((X + 100)) $((Y + 60)) "$work/drop.uri" >/dev/null \
    || fail "the drop was not taken"
  count_and_save result.csv
fi

# "Send to" with the three files selected: one start of the program with them.
wineserver -k
start_program start /unix "$send_to" "$(winepath -w "$work/files/first.bas")" \
  "$(winepath -w "$work/files/計算 表.txt")" "$(winepath -w "$work/files/last.c")"
count_and_save sent.csv

# The program ends; the uninstall leaves nothing behind.
wineserver -k
timeout 120 wine msiexec /x "$(winepath -w "$msi")" /qn >/dev/null 2>&1 || fail "msiexec /x did not uninstall within 120 s"
after="$(cd "$program_files" && find . | sort)"
[[ "$after" == "$before" ]] || fail "left under Program Files: $(comm -13 <(echo "$before") <(echo "$after") | tr '\n' ' ')"
[[ ! -e "$start_menu" ]] || fail "the Start menu shortcut is left"
[[ ! -e "$send_to" ]] || fail "the Send to entry is left"
! wine uninstaller --list 2>/dev/null | grep -q 'Rowtick' || fail "the entry under the installed apps is left"
echo "installed, counted, saved and uninstalled"
