#!/bin/sh
# Packs the release zip from the two build folders: the 32-bit program, the
# 64-bit one as tokvin64.exe, each with its manifest beside it, both help
# files and the read-me (CP1252, CRLF). One build always gives the same
# bytes: the files in a fixed order, with fixed modes and the source's
# time, and no extra fields.
#
#   mkdist.sh BUILDDIR BUILD64DIR OUTDIR VERSION
set -eu
build=$(cd "$1" && pwd)
build64=$(cd "$2" && pwd)
mkdir -p "$3"
out=$(cd "$3" && pwd)
name=tokvin-$4-win32
src=$(cd "$(dirname "$0")/.." && pwd)
epoch=$(cat "$build/gen/source-date-epoch")

rm -rf "${out:?}/$name" "$out/$name.zip"
mkdir "$out/$name"
cp "$build/tokvin.exe" "$build/tokvin_d.chm" "$build/tokvin_d.hlp" "$build/tokvin_d.cnt" "$out/$name/"
cp "$build64/tokvin.exe" "$out/$name/tokvin64.exe"
cp "$build/tokvin.exe.manifest" "$out/$name/tokvin.exe.manifest"
cp "$build64/tokvin.exe.manifest" "$out/$name/tokvin64.exe.manifest"
iconv -f UTF-8 -t CP1252 "$src/docs/liesmich.txt" | sed 's/$/\r/' > "$out/$name/LIESMICH.TXT"
chmod 644 "$out/$name"/*
chmod 755 "$out/$name" "$out/$name/tokvin.exe" "$out/$name/tokvin64.exe"
touch -d "@$epoch" "$out/$name" "$out/$name"/*
cd "$out"
# zip keeps local times: the same moment everywhere
TZ=UTC zip -q -X -D "$name.zip" "$name/LIESMICH.TXT" "$name/tokvin.exe" "$name/tokvin.exe.manifest" \
    "$name/tokvin64.exe" "$name/tokvin64.exe.manifest" "$name/tokvin_d.chm" "$name/tokvin_d.cnt" "$name/tokvin_d.hlp"
