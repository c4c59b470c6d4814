#!/bin/sh
# Installs Tokvin for one user on a Linux desktop, or removes it again.
#
#   install.sh install BUILDDIR BUILD64DIR
#   install.sh uninstall                      PURGE=1: the settings too
#
# PREFIX and DESTDIR come from the environment, as make passes them;
# TEMPLATE (the Debian package's) is the machine's template prefix that
# the launcher makes each person's prefix from (template.sh). Without
# PREFIX the files go where a user's desktop looks for them:
#   ~/.local/lib/tokvin   both programs (the 64-bit one in x64/, under the
#                         same name), their manifests and the help beside
#                         each, and the scripts that run them under Wine
#   ~/.local/bin/tokvin   the launcher
#   $XDG_DATA_HOME (~/.local/share): applications/tokvin.desktop, the
#                         icon in icons/hicolor and the manual page in
#                         man/man1
# With PREFIX: PREFIX/lib/tokvin, PREFIX/bin and PREFIX/share.
#
# The settings live in a Wine prefix of the user's own,
# $XDG_DATA_HOME/tokvin/wine, which install prepares (unless DESTDIR is
# set: that is for building packages and never touches a home), so that the
# first start is as quick as any. Uninstalling removes exactly the files
# installed; PURGE=1 removes the settings as well.
set -eu
src=$(cd "$(dirname "$0")/.." && pwd)
SIZES="16 32 48 128"
PROGRAM="tokvin.exe tokvin.exe.manifest tokvin_d.chm tokvin_d.hlp tokvin_d.cnt mididevs.exe"
SCRIPTS="launch.sh wine-env.sh wine-arch.sh wine-sound.sh screenshot.sh template.sh wine64/wine"
# what an earlier version installed and this one no longer does
FORMER="lib/tokvin/tokvin64.exe"

data=${XDG_DATA_HOME:-$HOME/.local/share}
settings=$data/tokvin
if [ -n "${PREFIX:-}" ]; then
    prefix=$PREFIX share=$PREFIX/share
else
    prefix=$HOME/.local share=$data
fi
dest=${DESTDIR:-}

# every file of the install, as installed (DESTDIR aside)
files() {
    for f in $PROGRAM; do
        printf '%s\n' "$prefix/lib/tokvin/$f" "$prefix/lib/tokvin/x64/$f"
    done
    for f in $SCRIPTS; do printf '%s\n' "$prefix/lib/tokvin/$f"; done
    printf '%s\n' "$prefix/bin/tokvin" "$share/applications/tokvin.desktop" "$share/man/man1/tokvin.1.gz"
    for s in $SIZES; do printf '%s\n' "$share/icons/hicolor/${s}x$s/apps/tokvin.png"; done
}

# an argument of a desktop entry's Exec key: quoted, with ", `, $ and \
# escaped, then every \ doubled for the string value, and % doubled
exec_quote() {
    printf '"%s"' "$(printf '%s' "$1" | sed -e 's/[\\"`$]/\\&/g' -e 's/\\/\\\\/g' -e 's/%/%%/g')"
}

install_files() {
    build=$1 build64=$2
    lib=$dest$prefix/lib/tokvin
    case $prefix$share in
    *"
"*) echo "install.sh: a path with a line break cannot be written into a desktop entry" >&2; exit 1 ;;
    esac
    remove_former
    mkdir -p "$lib/x64" "$lib/wine64" "$dest$prefix/bin" "$dest$share/applications" "$dest$share/man/man1"
    for f in $PROGRAM; do
        install -m 644 "$build/$f" "$lib/$f"
        install -m 644 "$build64/$f" "$lib/x64/$f"
    done
    for f in $SCRIPTS; do install -m 755 "$src/wine/$f" "$lib/$f"; done

    # The settings are the user's, wherever the program was installed. The
    # programs lie in ../lib/tokvin from the launcher, which finds them from
    # where it is: the same file serves a package, any PREFIX, and a
    # package unpacked anywhere.
    launcher=$dest$prefix/bin/tokvin
    cat > "$launcher" <<'EOF'
#!/bin/sh
# Tokvin - delay times and metronome, a Windows program run by Wine.
# Stored settings: ${XDG_DATA_HOME:-$HOME/.local/share}/tokvin/wine
#   tokvin [--midi-device N] [--midi-channel N] [--midi-note N] [--midi-velocity N]
#   stores those MIDI settings before Tokvin starts; tokvin --midi-devices
#   lists the devices by their numbers (man tokvin)
bin=$(dirname "$(readlink -f "$0")")
lib=$(cd "$bin/../lib/tokvin" && pwd) || exit 1
export TOKVIN_TEMPLATE="${TOKVIN_TEMPLATE-}"
exec "$lib/launch.sh" "$@" "$lib/tokvin.exe" "$lib/x64/tokvin.exe" \
    "${XDG_DATA_HOME:-$HOME/.local/share}/tokvin/wine"
EOF
    if [ -n "${TEMPLATE:-}" ]; then
        case $TEMPLATE in
        /*[!A-Za-z0-9/._-]*|[!/]*) echo "install.sh: TEMPLATE must be a plain absolute path" >&2; exit 1 ;;
        esac
        sed -i "s|\${TOKVIN_TEMPLATE-}|\${TOKVIN_TEMPLATE-$TEMPLATE}|" "$launcher"
    fi
    chmod 755 "$launcher"

    entry=$dest$share/applications/tokvin.desktop
    while IFS= read -r line; do
        case $line in
        Exec=*) printf 'Exec=%s\n' "$(exec_quote "$prefix/bin/tokvin")" ;;
        *)      printf '%s\n' "$line" ;;
        esac
    done < "$src/wine/tokvin.desktop" > "$entry"
    chmod 644 "$entry"
    gzip -9n < "$src/wine/tokvin.1" > "$dest$share/man/man1/tokvin.1.gz"
    chmod 644 "$dest$share/man/man1/tokvin.1.gz"
    for s in $SIZES; do
        mkdir -p "$dest$share/icons/hicolor/${s}x$s/apps"
        install -m 644 "$build/gen/icon-$s-8.png" "$dest$share/icons/hicolor/${s}x$s/apps/tokvin.png"
    done

    if [ -n "$dest" ]; then
        echo "Tokvin is installed in $dest$prefix."
        return
    fi
    # Wine's first start in a new prefix takes a quarter of a minute: it is
    # taken now, not at the first click in the menu.
    # (no first-start notice: no window follows it now)
    echo "Preparing Tokvin's Wine prefix in $settings/wine ..."
    TOKVIN_INSTALLING=1 "$lib/wine-env.sh" -64 -user "$settings/wine" true ||
        echo "install.sh: the Wine prefix could not be prepared; the first start will try again" >&2
    echo "Tokvin is installed: start it from the desktop's menu or with $prefix/bin/tokvin."
}

remove_former() {
    for f in $FORMER; do rm -f "$dest$prefix/$f"; done
}

uninstall_files() {
    removed=0
    while IFS= read -r f; do
        if [ -f "$dest$f" ] || [ -L "$dest$f" ]; then
            rm -f "$dest$f"
            removed=$((removed + 1))
        fi
    done <<EOF
$(files)
EOF
    remove_former
    for d in x64 wine64 ""; do
        rmdir "$dest$prefix/lib/tokvin/$d" 2>/dev/null || true
    done
    if [ "$removed" -gt 0 ]; then
        echo "Tokvin is removed from $dest$prefix."
    else
        echo "Tokvin was not installed in $dest$prefix: nothing removed."
    fi
    # a package's files under DESTDIR are no user's: the settings stay
    [ -z "$dest" ] || return 0
    if [ "${PURGE:-0}" = 1 ]; then
        if [ -d "$settings" ]; then
            # a Tokvin still open there would write its settings back
            WINEPREFIX=$settings/wine wineserver -k 2>/dev/null || true
            rm -rf "$settings"
            echo "Its settings in $settings are removed as well."
        fi
    elif [ -d "$settings" ]; then
        echo "Your settings stay in $settings (make uninstall PURGE=1 removes them too)."
    fi
}

case ${1:-} in
install)   shift; install_files "$@" ;;
uninstall) shift; uninstall_files "$@" ;;
*)         echo "usage: $0 install BUILDDIR BUILD64DIR | uninstall   (PREFIX, DESTDIR, PURGE from the environment)" >&2; exit 2 ;;
esac
