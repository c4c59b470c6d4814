#!/bin/sh
# Switches Wine's sound driver of the current prefix on or off.
#   wine-sound.sh on|off
# on:  Wine chooses its driver itself (PulseAudio or PipeWire's PulseAudio
#      service, else ALSA); its MIDI output goes to the ALSA sequencer.
# off: no driver at all, which also keeps ALSA's complaints out of the logs.
set -eu
case $1 in
on)  wine reg delete 'HKCU\Software\Wine\Drivers' /v Audio /f >/dev/null 2>&1 || true ;;
off) wine reg add 'HKCU\Software\Wine\Drivers' /v Audio /d '' /f >/dev/null 2>&1 ;;
*)   echo "usage: $0 on|off" >&2; exit 2 ;;
esac
