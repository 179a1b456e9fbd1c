#!/usr/bin/env bash
# The main job: builds, starts the demo web server and runs the downloader
# against it. With a display (VEXIL_USE_DISPLAY=1) the user drives it;
# otherwise it runs on a private Xvfb display and saves a screenshot.
set -euo pipefail
source "$(dirname "$0")/session.sh"
vexil_build
vexil_start_display
cleanup() {
  bash "$vexil_root/tools/demo-server.sh" stop
  vexil_stop_session
}
trap cleanup EXIT
vexil_start_wine
bash "$vexil_root/tools/demo-server.sh" start
exe="$VEXIL_BUILD/VexilDownloader.exe"

if [ -n "$vexil_xvfb_pid" ]; then
  vexil_wine wine "$exe" >/dev/null 2>&1 &
  program=$!
  window=""
  for _ in $(seq 300); do
    for w in $(timeout 5 xdotool search --classname vexildownloader 2>/dev/null); do
      timeout 5 xwininfo -id "$w" 2>/dev/null | grep -q 'geometry 544x340' && window=$w
    done
    [ -n "$window" ] && break
    sleep 0.2
  done
  [ -n "$window" ] || { echo "main job: the window did not appear" >&2; exit 1; }
  sleep 1
  import -window "$window" "$VEXIL_BUILD/main-window.png"
  echo "main job: window \"$(xdotool getwindowname "$window")\", screenshot $VEXIL_BUILD/main-window.png"
  vexil_wine wine "$VEXIL_BUILD/tests/window_ctl.exe" close VAZarodezuro
  wait "$program"
else
  vexil_wine wine "$exe"
fi
