#!/bin/sh
# Makes the Wine prefix that every person's Tokvin prefix is made from, so
# that Wine's set-up (a quarter of a minute, most of a gigabyte) is paid
# once per machine and not once per person. The package's maintainer
# scripts run it as root, at installation and whenever Wine is upgraded.
#
#   template.sh DIR          DIR/template: the template, made anew
#
# DIR/template is a symbolic link to the generation in use. A new one is
# built beside it and the link is swapped in one rename, so that a start
# running meanwhile sees the old template or the new one, never half of
# one. People's prefixes link their Wine files through DIR/template, never
# into Wine's own folders, which a Wine run as root would write through.
# The template is readable by everyone and writable by root only. No
# display is needed. Where Wine cannot make one, it says why in one line
# and exits 1; starts then set Wine up for each person as before.
set -eu
dir=${1:-}
[ -n "$dir" ] || { echo "usage: $0 DIR" >&2; exit 2; }

fail() {
    echo "template.sh: $*; each person's first start sets Wine up instead" >&2
    [ -z "${new:-}" ] || rm -rf "$new"
    exit 1
}
case $(uname -m) in
x86_64|amd64) ;;
*) fail "Tokvin is a program for x86 PCs, and Wine on this $(uname -m) machine runs none" ;;
esac
loader=/usr/lib/wine/wine64
version=$(WINELOADER=$loader "$loader" --version 2>&1) || fail "Wine's 64-bit loader $loader does not start: $version"

umask 022
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)
new=$(mktemp -d "$dir/.new-XXXXXX")
chmod 755 "$new"
prefix=$new/prefix
# Wine links the profile's folders to the home: an empty one of its own,
# and the profile left out of the template (each person's Wine makes theirs)
mkdir "$new/home"
(
    unset DISPLAY WAYLAND_DISPLAY WINEARCH
    export HOME="$new/home" WINEPREFIX="$prefix" WINELOADER="$loader" WINEDEBUG=-all \
        WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
    "$loader" wineboot -i >/dev/null 2>&1 </dev/null
    status=$?
    wineserver -w
    exit $status
) || fail "Wine could not set up a prefix in $prefix"
[ -f "$prefix/system.reg" ] || fail "Wine wrote no registry into $prefix"
owner=$(id -un)
rm -rf "$new/home" "$prefix/drive_c/users/$owner" "$prefix/wineserver"
mkdir -p "$prefix/drive_c/windows/Fonts"
for f in marlett tahoma tahomabd; do
    [ ! -f /usr/share/wine/fonts/$f.ttf ] || cp /usr/share/wine/fonts/$f.ttf "$prefix/drive_c/windows/Fonts/"
done
# a link in the template would reach past it (the profile's were removed)
links=$(find "$prefix/drive_c" -type l | head -n 3)
[ -z "$links" ] || fail "the prefix holds links out of it: $links"
printf '%s\n' "$version" > "$prefix/.tokvin-wine"
chmod -R a+rX,go-w "$new"

gen=gen-${new##*.new-}
mv "$new" "$dir/$gen"
new=
ln -s "$gen/prefix" "$dir/.template-$gen"
mv -T "$dir/.template-$gen" "$dir/template"
for old in "$dir"/gen-*; do
    [ "$old" = "$dir/$gen" ] || rm -rf "$old"
done
echo "Made Tokvin's Wine template $dir/template ($version)"
