#!/bin/sh
# Starts Tokvin under Wine for a person (make run, and the installed
# launcher): the 32-bit program where this machine runs 32-bit code, else
# the 64-bit one, and says which in one line. Both run in one 64-bit Wine
# prefix, which keeps their stored settings; sound is on. Without a display
# Tokvin runs on a virtual one and a picture of its window is saved.
#
#   launch.sh [--midi-device N] [--midi-channel N] [--midi-note N]
#             [--midi-velocity N] TOKVIN.EXE TOKVIN64.EXE PREFIXDIR [PICTURE.png]
#   launch.sh --midi-devices TOKVIN.EXE TOKVIN64.EXE PREFIXDIR
#
# The options store Tokvin's MIDI settings (MIDIDevice, MIDIChannel,
# MIDINote, MIDIVelocity) in that prefix before Tokvin starts.
# --midi-devices lists the MIDI output devices by the numbers MIDIDevice
# takes, as Wine in that prefix numbers them (mididevs.exe beside the
# program), marks the stored one, and starts no Tokvin.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
usage() {
    echo "usage: tokvin [--midi-device N] [--midi-channel N] [--midi-note N] [--midi-velocity N]" >&2
    echo "       tokvin --midi-devices     (the MIDI output devices and their numbers)" >&2
    echo "  N counted from 0: device as --midi-devices lists it, channel 0..15 (9: channel 10)," >&2
    echo "  note 0..127, velocity 1..127" >&2
    exit 2
}
settings= list=
while [ $# -gt 0 ]; do
    case $1 in
    --midi-devices) list=1; shift; continue ;;
    --midi-device=*|--midi-channel=*|--midi-note=*|--midi-velocity=*)
        option=${1%%=*} value=${1#*=}; shift ;;
    --midi-device|--midi-channel|--midi-note|--midi-velocity)
        [ $# -ge 2 ] || usage; option=$1 value=$2; shift 2 ;;
    -*) usage ;;
    *)  break ;;
    esac
    case $value in ''|*[!0-9]*) usage ;; esac
    case $option in
    --midi-device)   name=MIDIDevice ;;
    --midi-channel)  name=MIDIChannel ;;
    --midi-note)     name=MIDINote ;;
    --midi-velocity) name=MIDIVelocity ;;
    esac
    settings="$settings $name=$value"
done
[ $# -ge 3 ] || usage
exe32=$1 exe64=$2 prefix=$3 picture=${4:-}

if why=$("$here/wine-arch.sh"); then
    exe=$exe32 bits=32
else
    exe=$exe64 bits=64
fi
if [ -n "$list" ]; then
    # sound on as for a start: Wine's MIDI devices come with its sound driver
    # (ALSA's complaints about a machine without a sound card left out)
    TOKVIN_SOUND=1 exec "$here/wine-env.sh" -64 -user "$prefix" \
        sh -c 'exec wine "$0" 2>/dev/null' "$(dirname "$exe")/mididevs.exe"
fi
if [ $bits = 32 ]; then
    echo "Starting the 32-bit Tokvin, $exe"
else
    echo "Starting the 64-bit Tokvin (the same program, built for 64 bits), $exe: $why"
fi
# names and digits only: split on spaces as they were put together
for setting in $settings; do
    "$here/wine-env.sh" -64 -user "$prefix" wine reg add 'HKCU\Software\Tokvin' \
        /v "${setting%%=*}" /t REG_DWORD /d "${setting#*=}" /f >/dev/null
    # a Tokvin still open writes its own value back when it is closed
    echo "Stored $setting in $prefix (with no other Tokvin open, it stays)"
done
if [ -n "${DISPLAY:-}" ]; then
    TOKVIN_SOUND=1 exec "$here/wine-env.sh" -64 -user "$prefix" wine "$exe"
fi
[ -n "$picture" ] || { echo "launch.sh: no display to show Tokvin on" >&2; exit 1; }
"$here/wine-env.sh" -64 -user "$prefix" "$here/screenshot.sh" "$exe" "$picture"
echo "No display here: Tokvin ran on a virtual one; its window is in $picture"
