#!/bin/sh
# Runs a test program with Wine's display scale set (LogPixels, 96 = 100 %)
# and puts it back to 100 % afterwards. TOKVIN_DPI tells the test.
#
#   at-dpi.sh DPI COMMAND [ARG...]
dpi=$1; shift
scale() {
    wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
}
scale "$dpi"
TOKVIN_DPI=$dpi "$@"
status=$?
scale 96
exit $status
