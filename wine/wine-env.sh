#!/bin/sh
# Runs a command inside a Wine prefix of the project's own, on a display.
#
#   wine-env.sh [-64] [-user] PREFIXDIR COMMAND [ARG...]
#
# -64:   Wine's 64-bit loader and a 64-bit prefix, for the 64-bit program;
#        "wine" in COMMAND then means that loader.
# -user: a run for a person (make run-windows). A wineserver already
#        up for the prefix is shared (another Tokvin may be open in it), and
#        ours ends by itself shortly after the last program in it.
#        Otherwise (tests) a server left behind by a killed run is stopped,
#        and one server is kept up for the whole command, then stopped.
#
# Creates the prefix on first use (with fonts for captions) and starts a
# virtual X display when there is none. Where the set-up fails it says what
# failed in one line.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
opts=
while :; do
    case ${1:-} in
    -64)   PATH=$here/wine64:$PATH; export PATH; wide=1; opts="$opts -64"; shift ;;
    -user) user=1; opts="$opts -user"; shift ;;
    *)     break ;;
    esac
done
prefix=$1; shift
# Tests make files whose names no ANSI code page holds, and Wine writes
# such names to Linux only in a UTF-8 locale (in "C", CopyFileW fails).
# Every test run gets the same one, whatever the developer's own.
[ -n "${user:-}" ] || { LC_ALL=C.UTF-8; export LC_ALL; }

fail() {
    echo "wine-env: $*" >&2
    exit 1
}

if [ -z "${DISPLAY:-}" ]; then
    TOKVIN_XVFB=1; export TOKVIN_XVFB
    # shellcheck disable=SC2086
    exec xvfb-run -a -s "-screen 0 1024x768x24 -noreset" "$0" $opts "$prefix" "$@"
fi

mkdir -p "$prefix"
WINEPREFIX=$(cd "$prefix" && pwd)
WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko installers, and no menu entries or file associations of
# Wine's own in the user's desktop; a user's own overrides come last and win.
WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}"
export WINEPREFIX WINEDEBUG WINEDLLOVERRIDES

case $(uname -m) in
x86_64|amd64|i?86) ;;
*) fail "Tokvin is a Windows program for x86 PCs; Wine on this $(uname -m) machine runs no x86 program" ;;
esac
loader=$(command -v wine) || fail "Wine is not installed (make installs it)"
version=$(wine --version 2>&1) ||
    fail "Wine's loader $loader does not start: ${version:-exit $?}"

# One start at a time checks the server and sets up the prefix: a second
# start meanwhile (a second click in the menu) waits for the first and then
# shares what it made. Every Wine process started under the lock closes its
# copy of the lock (9>&-), or a wineserver would hold it for its whole life.
exec 9>"$WINEPREFIX/.tokvin-lock"
flock -w 300 9 || fail "another start has been setting up $WINEPREFIX for 5 minutes; try again"

# A wineserver still running for this prefix (signal 0 only asks) belongs
# to an earlier run: to one that is still open, or to one that was killed
# and left it behind.
if wineserver -k0 2>/dev/null 9>&-; then
    if [ -n "${user:-}" ]; then
        shared=1
    else
        wineserver -k 2>/dev/null 9>&- || true
        wineserver -w 9>&-
    fi
fi

if [ -n "${wide:-}" ] && grep -q '^#arch=win32' "$WINEPREFIX/system.reg" 2>/dev/null; then
    fail "$WINEPREFIX is a 32-bit Wine prefix and cannot run the 64-bit program; remove it to have it made anew"
fi
if [ ! -f "$WINEPREFIX/.tokvin-ready" ]; then
    echo "Setting up the Wine prefix $WINEPREFIX ..."
    wine wineboot -i >/dev/null 2>&1 9>&- || fail "could not set up the Wine prefix $WINEPREFIX (wineboot failed)"
    wineserver -w 9>&-
    [ -f "$WINEPREFIX/system.reg" ] || fail "could not set up the Wine prefix $WINEPREFIX (no registry written)"
    fonts=$WINEPREFIX/drive_c/windows/Fonts
    mkdir -p "$fonts"
    for f in marlett tahoma tahomabd; do
        [ -f /usr/share/wine/fonts/$f.ttf ] && cp /usr/share/wine/fonts/$f.ttf "$fonts/"
    done
    touch "$WINEPREFIX/.tokvin-ready"
fi

if [ -n "${user:-}" ]; then
    # lingers a few seconds after the last program, so that a killed run
    # leaves nothing behind
    [ -n "${shared:-}" ] || wineserver -p5 9>&- || fail "could not start a wineserver for $WINEPREFIX"
else
    wineserver -p 9>&- || fail "could not start a wineserver for $WINEPREFIX"
    trap 'wineserver -k 2>/dev/null 9>&- || true' EXIT
fi

# No crash debugger waiting for a user. Without a window manager Wine waits
# 2 s on every hidden window unless it draws the frames itself; under a real
# desktop the window manager does.
if [ -n "${TOKVIN_XVFB:-}" ]; then managed=N; else managed=Y; fi
reg=$WINEPREFIX/tokvin-setup.reg
printf '%s\r\n' 'REGEDIT4' '' \
    '[HKEY_CURRENT_USER\Software\Wine\X11 Driver]' "\"Managed\"=\"$managed\"" '' \
    '[-HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\AeDebug]' '' > "$reg"
wine regedit /S "$reg" >/dev/null 2>&1 9>&- || fail "could not write Wine's settings into $WINEPREFIX"
# Sound only where someone listens: TOKVIN_SOUND=1 (make run-windows on a desktop).
# Tests and the virtual display run without a driver unless a test asks.
if [ "${TOKVIN_SOUND:-0}" = 1 ]; then
    "$here/wine-sound.sh" on 9>&-
else
    "$here/wine-sound.sh" off 9>&-
fi
exec 9>&-

status=0
"$@" || status=$?
exit $status
