#!/usr/bin/env bash
# Runs some tests of a test program in a real X server (Xvfb), with or without a window manager:
#   under_x.sh PROGRAM FILTER [openbox]
# Skips (ctest's skip code 77) with a message when Xvfb or the window manager is not installed.
set -u
program=$1 filter=$2 wm=${3:-}
command -v Xvfb >/dev/null || { echo "Xvfb is not installed: skipped"; exit 77; }
if [ -n "$wm" ] && ! command -v "$wm" >/dev/null; then
  echo "$wm is not installed: skipped"
  exit 77
fi
# A display number of our own, never one a running session or another test run uses.
for n in $(seq 200 299); do
  [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] || { display=:$n; break; }
done
[ -n "${display:-}" ] || { echo "no free display: skipped"; exit 77; }
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
wmpid=
cleanup() {
  [ -n "$wmpid" ] && kill "$wmpid" 2>/dev/null
  kill "$xvfb" 2>/dev/null
  wait 2>/dev/null
}
trap cleanup EXIT
export DISPLAY=$display
for _ in $(seq 100); do
  [ -e "/tmp/.X11-unix/X${display#:}" ] && break
  sleep 0.05
done
if [ -n "$wm" ]; then
  "$wm" >/dev/null 2>&1 &
  wmpid=$!
  sleep 0.5
fi
QT_QPA_PLATFORM=xcb "$program" --gtest_filter="$filter"
