#!/bin/sh
# Starts Tokvin under Wine for a person (make run, and the installed
# launcher): the 32-bit program where this machine runs 32-bit code, else
# the 64-bit one, and says which in one line. Both run in one 64-bit Wine
# prefix, which keeps their stored settings; sound is on. Without a display
# Tokvin runs on a virtual one and a picture of its window is saved.
#
#   launch.sh TOKVIN.EXE TOKVIN64.EXE PREFIXDIR [PICTURE.png]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
exe32=$1 exe64=$2 prefix=$3 picture=${4:-}

if why=$("$here/wine-arch.sh"); then
    exe=$exe32
    echo "Starting the 32-bit Tokvin, $exe"
else
    exe=$exe64
    echo "Starting the 64-bit Tokvin, $exe: $why"
fi
if [ -n "${DISPLAY:-}" ]; then
    TOKVIN_SOUND=1 exec "$here/wine-env.sh" -64 -user "$prefix" wine "$exe"
fi
[ -n "$picture" ] || { echo "launch.sh: no display to show Tokvin on" >&2; exit 1; }
"$here/wine-env.sh" -64 -user "$prefix" "$here/screenshot.sh" "$exe" "$picture"
echo "No display here: Tokvin ran on a virtual one; its window is in $picture"
