#!/bin/sh
# The Debian package of the native Linux edition, made by Debian's own
# tooling (dpkg-buildpackage with debhelper, from debian/) in a copy of the
# source under WORKDIR, so that the checkout stays as it is. The package
# goes to OUTDIR and its path is printed. The same source gives the same
# bytes, in whatever folder it is built.
#
#   mkdeb.sh WORKDIR OUTDIR
set -eu
src=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$1" "$2"
work=$(cd "$1" && pwd)/deb
out=$(cd "$2" && pwd)
version=$(dpkg-parsechangelog -l "$src/debian/changelog" -S Version)
arch=$(dpkg-architecture -qDEB_HOST_ARCH)
deb=tokvin_${version}_$arch.deb

rm -rf "$work"
mkdir -p "$work/tokvin"
# the source as it is, without what building and testing leave in it
(cd "$src" && tar --exclude=./build --exclude=./dist --exclude=./.git --exclude=__pycache__ -cf - .) |
    tar -C "$work/tokvin" -xf -
if ! (cd "$work/tokvin" && dpkg-buildpackage -b -us -uc) > "$work/build.log" 2>&1; then
    tail -n 30 "$work/build.log" >&2
    echo "mkdeb.sh: dpkg-buildpackage failed; the whole log is $work/build.log" >&2
    exit 1
fi
cp "$work/$deb" "$out/$deb"
echo "$out/$deb"
