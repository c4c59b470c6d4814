#!/bin/sh
# Runs a command inside a Wine prefix of the project's own, on a display.
#
#   wine-env.sh [-64] [-user] PREFIXDIR COMMAND [ARG...]
#
# -64:   Wine's 64-bit loader and a 64-bit prefix, for the 64-bit program;
#        "wine" in COMMAND then means that loader.
# -user: a run for a person (make run, the launcher). A wineserver already
#        up for the prefix is shared (another Tokvin may be open in it), and
#        ours ends by itself shortly after the last program in it.
#        Otherwise (tests) a server left behind by a killed run is stopped,
#        and one server is kept up for the whole command, then stopped.
#
# Creates the prefix on first use (with fonts for captions) and starts a
# virtual X display when there is none. Where the set-up fails it says what
# failed in one line; for a person started from the desktop's menu, with
# no terminal to read it, the line is shown as a notification as well.
#
# TOKVIN_TEMPLATE (the package sets it): a template prefix made once per
# machine by template.sh. A person's new prefix is made from it in a
# second: their own registry and folders, and links to the template's
# files, which only root can write (root's own prefix takes copies). Where
# it is missing or was made by another Wine, Wine sets the prefix up as
# it always does. A prefix whose template has gone since is made anew,
# with Tokvin's settings kept.
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

# notify-send TITLE BODY, in the desktop entry's languages (German or
# English) where the desktop shows notifications
notify() {
    command -v notify-send >/dev/null 2>&1 || return 0
    case ${LC_ALL:-${LC_MESSAGES:-${LANG:-}}} in
    de*) title=$1 body=$2 ;;
    *)   title=$3 body=$4 ;;
    esac
    notify-send -a Tokvin -i tokvin "$title" "$body" 9>&- >/dev/null 2>&1 || true
}

fail() {
    echo "wine-env: $*" >&2
    # a start from the menu has no terminal for that line
    if [ -n "${user:-}" ] && [ ! -t 2 ]; then
        notify "Tokvin kann nicht starten" "$*" "Tokvin cannot start" "$*"
    fi
    exit 1
}

if [ -z "${DISPLAY:-}" ]; then
    TOKVIN_XVFB=1; export TOKVIN_XVFB
    # shellcheck disable=SC2086
    exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" $opts "$prefix" "$@"
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

# everything in the prefix but the lock we hold and the settings kept
clear_prefix() {
    find "$WINEPREFIX" -mindepth 1 -maxdepth 1 ! -name .tokvin-lock ! -name .tokvin-kept.reg -exec rm -rf {} +
}

# Tokvin removed and its template with it, then installed again: the links
# lead nowhere, and Wine cannot start there. The prefix is made anew; the
# settings Tokvin stored in it are kept for the set-up below.
made_from=$(cat "$WINEPREFIX/.tokvin-template" 2>/dev/null) || made_from=
if [ -n "$made_from" ] && [ ! -f "$made_from/.tokvin-wine" ]; then
    # its server (lingering, or serving a Tokvin that lost its files)
    # first: it writes the registry out as it ends
    wineserver -k 2>/dev/null 9>&- || true
    wineserver -w 9>&-
    kept=$WINEPREFIX/.tokvin-kept.reg
    awk 'BEGIN { ORS = "\r\n"; print "REGEDIT4"; print "" }
         /^\[/ { on = ($0 ~ /^\[Software\\\\Tokvin\]/); if (on) print "[HKEY_CURRENT_USER\\Software\\Tokvin]"; next }
         on && /^"/ { print }' "$WINEPREFIX/user.reg" > "$kept.new" 2>/dev/null || : > "$kept.new"
    mv "$kept.new" "$kept"
    clear_prefix
fi

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
# A new person's prefix from the template: their registry, profile and
# the template's writable small files as copies, every other file a link
# through TOKVIN_TEMPLATE (which follows the template when it is made anew
# for a new Wine). Copied from one generation of it, in a few processes.
from_template() {
    [ -n "${TOKVIN_TEMPLATE:-}" ] || return 1
    case $TOKVIN_TEMPLATE in /*) ;; *) return 1 ;; esac
    src=$(readlink -f "$TOKVIN_TEMPLATE") && [ -f "$src/.tokvin-wine" ] || return 1
    [ "$(cat "$src/.tokvin-wine")" = "$version" ] || return 1
    mkdir -p "$WINEPREFIX/drive_c"
    cp -a "$src/system.reg" "$src/user.reg" "$src/userdef.reg" "$src/.update-timestamp" \
        "$src/dosdevices" "$WINEPREFIX/" &&
        cp -a "$src/drive_c/users" "$WINEPREFIX/drive_c/" || return 1
    if [ "$(id -u)" = 0 ]; then
        # root could write through links into the template
        for d in "$src"/drive_c/*; do
            [ "${d##*/}" = users ] || cp -a "$d" "$WINEPREFIX/drive_c/" || return 1
        done
    else
        for d in "$src"/drive_c/*; do
            [ "${d##*/}" = users ] || cp -rs "$TOKVIN_TEMPLATE/drive_c/${d##*/}" "$WINEPREFIX/drive_c/" || return 1
        done
        # what Wine writes into (win.ini, the .pnf files) is small
        (cd "$src/drive_c" && find . -path ./users -prune -o -type f -size -16k -print0 |
            xargs -0r cp --parents --remove-destination -t "$WINEPREFIX/drive_c") || return 1
        printf '%s\n' "$TOKVIN_TEMPLATE" > "$WINEPREFIX/.tokvin-template"
    fi
}

if [ ! -f "$WINEPREFIX/.tokvin-ready" ]; then
    fresh=; [ -f "$WINEPREFIX/system.reg" ] || fresh=1
    if [ -n "$fresh" ] && from_template; then
        :
    else
        # whatever a template that failed half-way left
        [ -z "$fresh" ] || clear_prefix
        echo "Setting up the Wine prefix $WINEPREFIX ..."
        # A person's first start: the window takes a quarter of a minute, and a
        # start from the menu shows nothing else meanwhile. Said at once.
        if [ -n "${user:-}" ] && [ -z "${TOKVIN_XVFB:-}" ] && [ -z "${TOKVIN_INSTALLING:-}" ]; then
            notify "Tokvin wird eingerichtet" \
                "Beim ersten Start dauert es etwa eine halbe Minute, bis das Fenster erscheint." \
                "Tokvin is being set up" "On its first start, Tokvin's window takes about half a minute to appear." &
        fi
        wine wineboot -i >/dev/null 2>&1 9>&- || fail "could not set up the Wine prefix $WINEPREFIX (wineboot failed)"
        wineserver -w 9>&-
        [ -f "$WINEPREFIX/system.reg" ] || fail "could not set up the Wine prefix $WINEPREFIX (no registry written)"
        fonts=$WINEPREFIX/drive_c/windows/Fonts
        mkdir -p "$fonts"
        for f in marlett tahoma tahomabd; do
            [ -f /usr/share/wine/fonts/$f.ttf ] && cp /usr/share/wine/fonts/$f.ttf "$fonts/"
        done
    fi
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
[ ! -f "$WINEPREFIX/.tokvin-kept.reg" ] || tail -n +2 "$WINEPREFIX/.tokvin-kept.reg" >> "$reg"
wine regedit /S "$reg" >/dev/null 2>&1 9>&- || fail "could not write Wine's settings into $WINEPREFIX"
rm -f "$WINEPREFIX/.tokvin-kept.reg"
# Sound only where someone listens: TOKVIN_SOUND=1 (make run on a desktop).
# Tests and the virtual display run without a driver unless a test asks.
if [ "${TOKVIN_SOUND:-0}" = 1 ]; then
    "$here/wine-sound.sh" on 9>&-
else
    "$here/wine-sound.sh" off 9>&-
fi
exec 9>&-

status=0
"$@" || status=$?
if [ "$status" -ne 0 ] && [ -n "${user:-}" ] && [ ! -t 2 ]; then
    notify "Tokvin wurde beendet" "Wine beendete Tokvin mit dem Status $status; im Terminal gestartet, nennt tokvin den Grund." \
        "Tokvin has ended" "Wine ended Tokvin with status $status; started in a terminal, tokvin says why."
fi
exit $status
