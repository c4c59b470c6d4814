#!/bin/sh
# Runs a command inside a Wine prefix of the project's own, on a display.
#
#   wine-env.sh PREFIXDIR COMMAND [ARG...]
#
# Creates the prefix on first use (with fonts for captions), starts a
# virtual X display when there is none, keeps one wineserver up for the
# whole command and stops it afterwards.
set -eu

prefix=$1; shift
mkdir -p "$prefix"
WINEPREFIX=$(cd "$prefix" && pwd)
WINEDEBUG=${WINEDEBUG:--all}
WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}   # no Mono/Gecko installers
export WINEPREFIX WINEDEBUG WINEDLLOVERRIDES

if [ -z "${DISPLAY:-}" ]; then
    TOKVIN_XVFB=1; export TOKVIN_XVFB
    exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$prefix" "$@"
fi

if [ ! -f "$WINEPREFIX/.tokvin-ready" ]; then
    echo "Setting up the Wine prefix $WINEPREFIX ..."
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w
    fonts=$WINEPREFIX/drive_c/windows/Fonts
    mkdir -p "$fonts"
    for f in marlett tahoma tahomabd; do
        [ -f /usr/share/wine/fonts/$f.ttf ] && cp /usr/share/wine/fonts/$f.ttf "$fonts/"
    done
    touch "$WINEPREFIX/.tokvin-ready"
fi

wineserver -p
trap 'wineserver -k 2>/dev/null || true' EXIT

# No crash debugger waiting for a user. Without a window manager Wine waits
# 2 s on every hidden window unless it draws the frames itself; under a real
# desktop the window manager does.
if [ -n "${TOKVIN_XVFB:-}" ]; then managed=N; else managed=Y; fi
reg=$WINEPREFIX/tokvin-setup.reg
printf '%s\r\n' 'REGEDIT4' '' \
    '[HKEY_CURRENT_USER\Software\Wine\X11 Driver]' "\"Managed\"=\"$managed\"" '' \
    '[-HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\AeDebug]' '' > "$reg"
wine regedit /S "$reg" >/dev/null 2>&1
# Sound only where someone listens: TOKVIN_SOUND=1 (make run on a desktop).
# Tests and the virtual display run without a driver unless a test asks.
if [ "${TOKVIN_SOUND:-0}" = 1 ]; then
    "$(dirname "$0")/wine-sound.sh" on
else
    "$(dirname "$0")/wine-sound.sh" off
fi

status=0
"$@" || status=$?
exit $status
