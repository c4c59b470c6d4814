#!/bin/sh
# Installs the native Tokvin for one user on a Linux desktop, or removes it.
#
#   install.sh install BUILDDIR       (the native build, build/linux)
#   install.sh uninstall              PURGE=1: the settings too
#
# PREFIX and DESTDIR come from the environment, as make passes them.
# Without PREFIX the files go where a user's desktop looks for them:
#   ~/.local/bin/tokvin             the program
#   ~/.local/share/tokvin           its help
#   $XDG_DATA_HOME (~/.local/share): the desktop entry, the software
#                                   centres' entry, the icons and the
#                                   manual page
# With PREFIX: PREFIX/bin and PREFIX/share. The settings are the user's,
# in $XDG_CONFIG_HOME/tokvin (~/.config/tokvin): uninstalling leaves them
# unless PURGE=1.
set -eu
src=$(cd "$(dirname "$0")/.." && pwd)
SIZES="16 32 48 128"
ENTRY=org.tokvin.Tokvin.desktop
METAINFO=org.tokvin.Tokvin.metainfo.xml

data=${XDG_DATA_HOME:-$HOME/.local/share}
config=${XDG_CONFIG_HOME:-$HOME/.config}/tokvin
if [ -n "${PREFIX:-}" ]; then
    prefix=$PREFIX share=$PREFIX/share
else
    prefix=$HOME/.local share=$data
fi
dest=${DESTDIR:-}

files() {
    printf '%s\n' "$prefix/bin/tokvin" "$share/tokvin/tokvin_d.html" "$share/applications/$ENTRY" \
        "$share/metainfo/$METAINFO" "$share/man/man1/tokvin.1.gz"
    for s in $SIZES; do printf '%s\n' "$share/icons/hicolor/${s}x$s/apps/tokvin.png"; done
}

# an argument of a desktop entry's Exec key: quoted, with ", `, $ and \
# escaped, then every \ doubled for the string value, and % doubled
exec_quote() {
    printf '"%s"' "$(printf '%s' "$1" | sed -e 's/[\\"`$]/\\&/g' -e 's/\\/\\\\/g' -e 's/%/%%/g')"
}

case ${1:-} in
install)
    build=$2
    case $prefix$share in
    *"
"*) echo "install.sh: a path with a line break cannot be written into a desktop entry" >&2; exit 1 ;;
    esac
    mkdir -p "$dest$prefix/bin" "$dest$share/tokvin" "$dest$share/applications" "$dest$share/metainfo" \
        "$dest$share/man/man1"
    install -m 755 "$build/tokvin" "$dest$prefix/bin/tokvin"
    install -m 644 "$build/help/tokvin_d.html" "$dest$share/tokvin/tokvin_d.html"
    # the entry starts this program by its path: ~/.local/bin is not on
    # every PATH
    exec=$(exec_quote "$prefix/bin/tokvin")
    while IFS= read -r line; do
        case $line in
        Exec=*) printf 'Exec=%s\n' "$exec" ;;
        *)      printf '%s\n' "$line" ;;
        esac
    done < "$src/linux/$ENTRY" > "$dest$share/applications/$ENTRY"
    install -m 644 "$src/linux/$METAINFO" "$dest$share/metainfo/$METAINFO"
    gzip -9n < "$src/linux/tokvin.1" > "$dest$share/man/man1/tokvin.1.gz"
    for s in $SIZES; do
        mkdir -p "$dest$share/icons/hicolor/${s}x$s/apps"
        install -m 644 "$build/gen/icon-$s-8.png" "$dest$share/icons/hicolor/${s}x$s/apps/tokvin.png"
    done
    echo "Tokvin installed: $prefix/bin/tokvin, in the desktop's menu among the sound and video programs"
    ;;
uninstall)
    files | while IFS= read -r f; do rm -f "$dest$f"; done
    rmdir "$dest$share/tokvin" 2>/dev/null || true
    if [ "${PURGE:-}" = 1 ]; then
        rm -rf "$config"
        echo "Tokvin removed from $prefix, and its settings ($config) as well"
    else
        echo "Tokvin removed from $prefix; its settings stay in $config (PURGE=1 removes them)"
    fi
    ;;
*)
    echo "usage: install.sh install BUILDDIR | uninstall" >&2
    exit 2
    ;;
esac
