#!/bin/sh
# The release can be checked against its source: built a second time in
# another folder, the program, its help files and the zip are the same bytes.
#
#   repro_test.sh SOURCEDIR BUILDDIR VERSION
set -u
src=$1 build=$2 version=$3
again=$build/repro
passed=0 failed=0
check() {   # check WHAT CMD...
    what=$1; shift
    if "$@" >/dev/null 2>&1; then echo "ok      $what"; passed=$((passed + 1));
    else echo "FAILED  $what"; failed=$((failed + 1)); fi
}

rm -rf "$again"
cmake -S "$src" -B "$again" -DCMAKE_TOOLCHAIN_FILE="$src/cmake/mingw-i686.cmake" \
      -DCMAKE_BUILD_TYPE=MinSizeRel -DBUILD_TESTING=OFF >/dev/null &&
cmake --build "$again" --target tokvin helpfile >/dev/null || { echo "FAILED  second build"; exit 1; }
for f in tokvin.exe tokvin_d.chm tokvin_d.hlp tokvin_d.cnt; do
    check "$f the same" cmp "$build/$f" "$again/$f"
done
"$src/tools/mkdist.sh" "$build" "$again/dist-1" "$version" &&
"$src/tools/mkdist.sh" "$again" "$again/dist-2" "$version" || { echo "FAILED  packing"; exit 1; }
check "zip the same" cmp "$again/dist-1/tokvin-$version-win32.zip" "$again/dist-2/tokvin-$version-win32.zip"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
