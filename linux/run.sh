#!/bin/sh
# make run: starts the native Tokvin. Without a display it runs on a
# virtual one, a picture of its window is saved, and it is closed again.
#   run.sh TOKVIN PICTURE.png
set -eu
program=$1 picture=$2
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    exec "$program"
fi
exec xvfb-run -a -s "-screen 0 1024x768x24" sh -c '
    "$0" & pid=$!
    wid=$(timeout 30 xdotool search --sync --name " BPM - Tokvin")
    # the window is shown once it has a title; let it paint
    sleep 1
    import -window "$wid" "$1"
    kill -TERM "$pid"
    wait "$pid"
    echo "No display here: Tokvin ran on a virtual one; its window is in $1"' "$program" "$picture"
