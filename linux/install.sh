#!/bin/sh
# Installs Tokvin for one user on a Linux desktop, or removes it again.
#
#   install.sh install   BUILDDIR BUILD64DIR PREFIX [DESTDIR]
#   install.sh uninstall PREFIX [DESTDIR]        PURGE=1: the settings too
#
# PREFIX/lib/tokvin    both programs with their manifests, both help files,
#                      the Wine scripts
# PREFIX/bin/tokvin    the launcher: Tokvin under Wine with sound, in a Wine
#                      prefix of the user's own that holds the settings,
#                      $XDG_DATA_HOME/tokvin (~/.local/share/tokvin)
# PREFIX/share/applications/tokvin.desktop, and the icon in
# PREFIX/share/icons/hicolor. Uninstalling removes exactly these files.
set -eu
src=$(cd "$(dirname "$0")/.." && pwd)
SIZES="16 32 48 128"
HELP="tokvin_d.chm tokvin_d.hlp tokvin_d.cnt"
SCRIPTS="launch.sh wine-env.sh wine-arch.sh wine-sound.sh screenshot.sh wine64/wine"

# every file of the install, relative to PREFIX
files() {
    for f in tokvin.exe tokvin.exe.manifest tokvin64.exe tokvin64.exe.manifest $HELP $SCRIPTS; do
        echo "lib/tokvin/$f"
    done
    echo bin/tokvin
    echo share/applications/tokvin.desktop
    for s in $SIZES; do echo "share/icons/hicolor/${s}x$s/apps/tokvin.png"; done
}

settings() {
    echo "${XDG_DATA_HOME:-$HOME/.local/share}/tokvin"
}

install_files() {
    build=$1 build64=$2 prefix=$3 dest=${4:-}
    root=$dest$prefix
    lib=$root/lib/tokvin
    mkdir -p "$lib/wine64" "$root/bin" "$root/share/applications"
    install -m 644 "$build/tokvin.exe" "$lib/tokvin.exe"
    install -m 644 "$build/tokvin.exe.manifest" "$lib/tokvin.exe.manifest"
    install -m 644 "$build64/tokvin.exe" "$lib/tokvin64.exe"
    install -m 644 "$build64/tokvin.exe.manifest" "$lib/tokvin64.exe.manifest"
    for f in $HELP; do install -m 644 "$build/$f" "$lib/$f"; done
    for f in $SCRIPTS; do install -m 755 "$src/linux/$f" "$lib/$f"; done

    # the settings are the user's, wherever the program was installed
    cat > "$root/bin/tokvin" <<EOF
#!/bin/sh
# Tokvin - delay times and metronome, a Windows program run by Wine.
# Stored settings: \${XDG_DATA_HOME:-\$HOME/.local/share}/tokvin
lib='$prefix/lib/tokvin'
exec "\$lib/launch.sh" "\$lib/tokvin.exe" "\$lib/tokvin64.exe" \\
    "\${XDG_DATA_HOME:-\$HOME/.local/share}/tokvin/wine" "\$@"
EOF
    chmod 755 "$root/bin/tokvin"

    sed "s|@BINDIR@|$prefix/bin|" "$src/linux/tokvin.desktop" > "$root/share/applications/tokvin.desktop"
    chmod 644 "$root/share/applications/tokvin.desktop"
    for s in $SIZES; do
        mkdir -p "$root/share/icons/hicolor/${s}x$s/apps"
        install -m 644 "$build/gen/icon-$s-8.png" "$root/share/icons/hicolor/${s}x$s/apps/tokvin.png"
    done
    echo "Tokvin is installed in $prefix: start it from the desktop's menu or with $prefix/bin/tokvin."
}

uninstall_files() {
    prefix=$1 dest=${2:-}
    root=$dest$prefix
    files | while read -r f; do rm -f "$root/$f"; done
    rmdir "$root/lib/tokvin/wine64" "$root/lib/tokvin" 2>/dev/null || true
    echo "Tokvin is removed from $prefix."
    data=$(settings)
    if [ "${PURGE:-0}" = 1 ]; then
        # a Tokvin still open there would write its settings back
        WINEPREFIX=$data/wine wineserver -k 2>/dev/null || true
        rm -rf "$data"
        echo "Its settings in $data are removed as well."
    elif [ -d "$data" ]; then
        echo "Your settings stay in $data (make uninstall PURGE=1 removes them too)."
    fi
}

case ${1:-} in
install)   shift; install_files "$@" ;;
uninstall) shift; uninstall_files "$@" ;;
*)         echo "usage: $0 install BUILDDIR BUILD64DIR PREFIX [DESTDIR] | uninstall PREFIX [DESTDIR]" >&2; exit 2 ;;
esac
