# Sourced by the window's shell checks: a private X server, and the wait for
# the program's window. Expects `work` (a scratch folder, removed by the
# caller) and `pids` (killed by the caller); sets DISPLAY.

# StartDisplay WIDTHxHEIGHT
StartDisplay() {
  exec 3>"$work/display"
  Xvfb -displayfd 3 -screen 0 "$1x24" -nolisten tcp >/dev/null 2>&1 &
  pids+=($!)
  for _ in $(seq 100); do [[ -s "$work/display" ]] && break; sleep 0.1; done
  export DISPLAY=":$(cat "$work/display")"
}

# WaitForWindow PID OUTPUT: sets `window` to the program's shown window, or
# fails saying why. Polled for up to 60 s, which a loaded machine running the
# program under a sanitizer may need.
WaitForWindow() {
  window=""
  for _ in $(seq 600); do
    window="$(xdotool search --onlyvisible --class rowtick 2>/dev/null | head -n 1 || true)"
    [[ -n "$window" ]] && return 0
    if ! kill -0 "$1" 2>/dev/null; then
      local status=0
      wait "$1" || status=$?
      echo "the program ended (status $status) before its window was shown:" >&2
      cat "$2" >&2
      exit 1
    fi
    sleep 0.1
  done
  echo "no window of the program shown within 60 s; its output:" >&2
  cat "$2" >&2
  exit 1
}
