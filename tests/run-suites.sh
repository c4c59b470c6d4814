#!/bin/sh
# make test: the native Linux edition's suite on a virtual display, then the
# whole Windows suite against every program this machine can run, each in
# a Wine prefix of its own, and a last word on what was tested.
# Where the kernel runs no 32-bit code (or TOKVIN_ARCH=x64 says to act as
# if), the 32-bit program is checked only from outside: the tests labelled
# "outside" read its file and rebuild it, and need no Wine.
#
#   run-suites.sh BUILDDIR
set -u
build=$1
wine=$(cd "$(dirname "$0")/../wine" && pwd)
statuslinux=0 status32=0 status64=0

echo "== The native Linux edition, on a virtual display"
# that does not reset when its last client goes: a Tokvin started in that
# moment could not open it
xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" ctest --preset linux || statuslinux=$?

if why=$("$wine/wine-arch.sh"); then
    echo "== The 32-bit program, under Wine's 32-bit loader"
    "$wine/wine-env.sh" "$build/wine-test" ctest --preset default || status32=$?
else
    echo "== The 32-bit program, from outside only: $why"
    ctest --preset default -L outside || status32=$?
fi
echo "== The 64-bit program, under Wine's 64-bit loader"
"$wine/wine-env.sh" -64 "$build/x64/wine-test" ctest --preset x64 || status64=$?

echo
echo "Tested: the native Linux edition."
if [ -z "$why" ]; then
    echo "Tested: the whole suite against the 32-bit and the 64-bit program."
else
    echo "Tested: the whole suite against the 64-bit program only."
    echo "The 32-bit program was not run: $why."
    echo "It was checked only from outside: its PE header, imports, resources and reproducibility."
fi
[ "$statuslinux" -eq 0 ] && [ "$status32" -eq 0 ] && [ "$status64" -eq 0 ] && echo "All passed." && exit 0
[ "$statuslinux" -ne 0 ] && echo "FAILED: the native Linux suite."
[ "$status32" -ne 0 ] && echo "FAILED: the 32-bit suite."
[ "$status64" -ne 0 ] && echo "FAILED: the 64-bit suite."
exit 1
