#!/bin/sh
# Runs a test program on the X server xvfb-run started, under a window manager that frames the
# windows as a desktop's does: where a window's frame and title bar go is then tested.
# Usage: under_window_manager.sh WINDOW_MANAGER TEST_PROGRAM [ARGUMENTS...]
wm="$1"
shift
"$wm" >/dev/null 2>&1 &
wm_pid=$!
# The window manager takes the screen over a moment after it starts.
sleep 1
QT_QPA_PLATFORM=xcb "$@"
status=$?
kill "$wm_pid" 2>/dev/null
wait "$wm_pid" 2>/dev/null
exit $status
