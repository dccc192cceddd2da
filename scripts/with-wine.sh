#!/usr/bin/env bash
# Runs a command with what the Windows programs need around it: an X display
# (Xvfb, unless one is given), and a persistent wineserver with Wine's own
# background services already up, so each test program starts quickly and no
# service holds the test runner's output open. With ZUPDATER_PERSISTENT=0 the
# wineserver ends with the last program, so `wineserver -w` can wait for a run
# and every program it started.
#
# ZUPDATER_TEST_LANES=N (default 1) prepares N lanes for tests that run side
# by side: each lane has a Wine prefix, wineserver, desktop and X display of
# its own, so programs in different lanes share no registry, temporary
# folder or window. The lanes are described in $ZUPDATER_LANES_DIR
# ($ZUPDATER_RUN_DIR/lanes-<prefix>/: one <n>.env each, and resources.json
# for ctest's resource option);
# scripts/wine-run.sh puts each test in the lane ctest gave it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/wine-env.sh"
lanes=${ZUPDATER_TEST_LANES:-1}
# One description per prefix: the demo's own prefix never disturbs a test run.
lanes_dir="$ZUPDATER_RUN_DIR/lanes-$(basename "$WINEPREFIX")"
base_prefix=$WINEPREFIX

xvfb_pids=()
prefixes=()
cleanup() {
  for prefix in "${prefixes[@]}"; do WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1 || true; done
  for pid in "${xvfb_pids[@]}"; do kill "$pid" >/dev/null 2>&1 || true; done
}
trap cleanup EXIT

# A display of its own on the first free number from $1, in xvfb_display.
start_xvfb() {
  local n
  for n in $(seq "$1" 200); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pids+=($!)
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
    # Another run may have taken the number between the look and the start.
    if kill -0 "${xvfb_pids[-1]}" 2>/dev/null && [ -e "/tmp/.X11-unix/X$n" ]; then
      xvfb_display=":$n"
      return 0
    fi
  done
  echo "with-wine: no X display could be started" >&2
  return 1
}

# Makes the lane's prefix ready and its wineserver, desktop and keeper run.
prepare_lane() {
  export WINEPREFIX=$1 DISPLAY=$2
  prefixes+=("$WINEPREFIX")
  "$root/scripts/wine-prefix.sh" "$WINEPREFIX"
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
    local keeper="$ZUPDATER_RUN_DIR/tests/desktop_keeper.exe"
    if [ -f "$keeper" ]; then
      wine "$keeper" </dev/null >/dev/null 2>&1 &
    fi
  fi
}

display=${DISPLAY:-}
if [ -z "$display" ] || [ "${ZUPDATER_XVFB:-1}" = 1 ]; then
  start_xvfb 90
  display=$xvfb_display
fi
rm -rf "$lanes_dir"
mkdir -p "$lanes_dir"
for ((lane = 0; lane < lanes; ++lane)); do
  prefix=$base_prefix
  lane_display=$display
  if [ "$lane" -gt 0 ]; then
    prefix="$base_prefix-lane$lane"
    start_xvfb $((90 + 10 * lane))
    lane_display=$xvfb_display
  fi
  prepare_lane "$prefix" "$lane_display"
  printf 'WINEPREFIX=%q\nDISPLAY=%q\n' "$prefix" "$lane_display" >"$lanes_dir/$lane.env"
done
{
  printf '{"version": {"major": 1, "minor": 0}, "local": [{"lanes": ['
  for ((lane = 0; lane < lanes; ++lane)); do
    [ "$lane" -gt 0 ] && printf ', '
    printf '{"id": "%d", "slots": 1}' "$lane"
  done
  printf ']}]}\n'
} >"$lanes_dir/resources.json"
# Lane 0 is also what a command outside ctest's lanes runs in.
export WINEPREFIX=$base_prefix DISPLAY=$display ZUPDATER_LANES_DIR=$lanes_dir
"$@"
