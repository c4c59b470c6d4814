#!/bin/sh
# Packs the Debian package from the two build folders: both programs with
# their manifests and help files in /usr/lib/tokvin, the launcher as
# /usr/bin/tokvin, the desktop entry, icons and manual page, and the
# documents Debian asks for. Laid out by wine/install.sh, as make install
# does for one user. Its maintainer scripts make Wine's set-up once for the
# machine (a template prefix in /var/lib/tokvin, made anew by a trigger
# whenever Wine is upgraded), and removing the package removes it. One
# build always gives the same bytes: every file owned by root, with the
# source's time, in a fixed order.
#
#   mkdeb.sh BUILDDIR BUILD64DIR OUTDIR VERSION
set -eu
umask 022
build=$(cd "$1" && pwd)
build64=$(cd "$2" && pwd)
mkdir -p "$3"
out=$(cd "$3" && pwd)
version=$4-1
src=$(cd "$(dirname "$0")/.." && pwd)
epoch=$(cat "$build/gen/source-date-epoch")
deb=$out/tokvin_${version}_all.deb
root=$out/tokvin-deb
maintainer="Tokvin developers <tokvin@users.noreply.invalid>"

rm -rf "$root" "$deb"
DESTDIR=$root PREFIX=/usr TEMPLATE=/var/lib/tokvin/template "$src/wine/install.sh" install "$build" "$build64" >/dev/null

doc=$root/usr/share/doc/tokvin
mkdir -p "$doc" "$root/DEBIAN"
gzip -9n < "$src/README.md" > "$doc/README.md.gz"
{
    echo "tokvin ($version) unstable; urgency=medium"
    echo
    echo "  * Tokvin $4 for Debian and Ubuntu: the Windows program with its help,"
    echo "    run by Wine, in every user's menu."
    echo
    echo " -- $maintainer  $(LC_ALL=C date -u -R -d "@$epoch")"
} | gzip -9n > "$doc/changelog.Debian.gz"
cat > "$doc/copyright" <<EOF
Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: Tokvin
Upstream-Contact: $maintainer
Comment: No licence has been chosen for Tokvin yet. Until one is, its
 authors keep all rights: the package may be installed and used, but
 Tokvin's sources and programs carry no permission to copy, change or
 pass them on.

Files: *
Copyright: $(date -u -d "@$epoch" +%Y) The Tokvin developers
License: none
 No licence has been chosen yet; see the Comment above.
EOF

# Tokvin is packaged for its own releases, not uploaded to Debian: there
# is no bug asking for it to close.
mkdir -p "$root/usr/share/lintian/overrides"
echo "tokvin: initial-upload-closes-no-bugs" > "$root/usr/share/lintian/overrides/tokvin"

size=$(du -k -s "$root/usr" | cut -f1)
cat > "$root/DEBIAN/control" <<EOF
Package: tokvin
Version: $version
Architecture: all
Maintainer: $maintainer
Installed-Size: $size
Depends: wine
Recommends: fonts-wine, libpulse0, libnotify-bin
Suggests: xvfb, xauth, xdotool, imagemagick, fluidsynth, alsa-utils
Section: sound
Priority: optional
Description: delay times and metronome for musicians (runs under Wine)
 Tokvin shows, for any tempo from 12 to 300 BPM, how long every note value
 lasts in milliseconds: the straight values 1/1 to 1/32 and the triplets
 1/2 to 1/16, with four decimals, the figures one dials into a delay
 effect. Beside the table it clicks on every quarter note through a
 built-in sample, a beep or a MIDI note.
 .
 Tokvin is a small German-language Windows program; this package runs it
 under Wine, in a Wine prefix of each user's own where its settings are
 kept. Wine's set-up is made once for the machine, at installation, so
 that each user's prefix takes a few megabytes and starts at once.
EOF
# Wine's set-up, once for the machine: at installation and whenever Wine's
# files change. A template that cannot be made (no x86 machine, a Wine
# that fails) leaves each person's first start to set Wine up as before.
cat > "$root/DEBIAN/postinst" <<'EOS'
#!/bin/sh
set -e
case "$1" in
configure|triggered)
    /usr/lib/tokvin/template.sh /var/lib/tokvin || true
    ;;
esac
exit 0
EOS
# A cache, made anew at every installation: gone with the package. The
# settings in each person's home stay.
cat > "$root/DEBIAN/postrm" <<'EOS'
#!/bin/sh
set -e
case "$1" in
remove|purge)
    rm -rf /var/lib/tokvin
    ;;
esac
exit 0
EOS
cat > "$root/DEBIAN/triggers" <<'EOS'
interest-noawait /usr/lib/x86_64-linux-gnu/wine
interest-noawait /usr/lib/i386-linux-gnu/wine
interest-noawait /usr/share/wine
EOS
(cd "$root" && find usr -type f | LC_ALL=C sort | xargs md5sum) > "$root/DEBIAN/md5sums"
chmod 644 "$root/DEBIAN/control" "$root/DEBIAN/md5sums" "$root/DEBIAN/triggers"
chmod 755 "$root/DEBIAN/postinst" "$root/DEBIAN/postrm"
find "$root" -exec touch -h -d "@$epoch" {} +
SOURCE_DATE_EPOCH=$epoch dpkg-deb --root-owner-group -Zxz --build "$root" "$deb" >/dev/null
rm -rf "$root"
