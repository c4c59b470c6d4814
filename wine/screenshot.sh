#!/bin/sh
# Starts Tokvin, saves a picture of its window and closes it again.
#   screenshot.sh TOKVIN.EXE OUT.png
set -eu
exe=$1 out=$2
wine "$exe" &
pid=$!
wid=$(timeout 60 xdotool search --sync --name ' BPM - Tokvin')
sleep 1     # let the window finish painting; nothing here is measured
import -window "$wid" "$out"
wine taskkill /im "$(basename "$exe")" >/dev/null 2>&1 || true
wait $pid
