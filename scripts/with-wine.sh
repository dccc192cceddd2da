#!/usr/bin/env bash
# Runs a command with what the Windows programs need around it: an X display
# (Xvfb, unless one is given), and a persistent wineserver with Wine's own
# background services already up, so each test program starts quickly and no
# service holds the test runner's output open. With ZUPDATER_PERSISTENT=0 the
# wineserver ends with the last program, so `wineserver -w` can wait for a run
# and every program it started.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/wine-env.sh"
"$root/scripts/wine-prefix.sh" "$WINEPREFIX"

xvfb_pid=
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" >/dev/null 2>&1 || true
}
trap cleanup EXIT

if [ -z "${DISPLAY:-}" ] || [ "${ZUPDATER_XVFB:-1}" = 1 ]; then
  for n in $(seq 90 140); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    export DISPLAY=":$n"
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
    break
  done
fi

wineserver -k >/dev/null 2>&1 || true
wineserver -w >/dev/null 2>&1 || true
# There is no window manager on the test display: Wine draws the windows'
# captions and frames itself (as the pictures of the dialogs need).
if ! grep -q '^"Decorated"="N"' "$WINEPREFIX/user.reg" 2>/dev/null; then
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f </dev/null >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
fi
if [ "${ZUPDATER_PERSISTENT:-1}" = 1 ]; then
  wineserver -p </dev/null >/dev/null 2>&1
  wine cmd /c exit </dev/null >/dev/null 2>&1 || true
  # Wine's desktop process ends soon after its last window-using program;
  # a hidden keeper saves every later test program from starting it again.
  keeper="$ZUPDATER_RUN_DIR/tests/desktop_keeper.exe"
  if [ -f "$keeper" ]; then
    wine "$keeper" </dev/null >/dev/null 2>&1 &
  fi
fi
"$@"
