/* Tokvin - MIDI output of the click: device open/close and note messages. */
#ifndef TOKVIN_MIDI_H
#define TOKVIN_MIDI_H

#include <windows.h>
#include <mmsystem.h>

#define MIDI_NOTEON     0x90
#define MIDIERRSIZE     500

/* Packed channel messages as midiOutShortMsg takes them (status in the low byte) */
DWORD MidiPackOn(signed char note, signed char velo, signed char chan);
DWORD MidiPackOff(signed char note, signed char chan);

void OpenMidi(UINT DeviceID);
void CloseMidi(void);
void MidiNoteOn(signed char note, signed char velo, signed char chan);
void MidiNoteOff(signed char note, signed char chan);
void ShowMidiErr(const char *title, MMRESULT code);

#endif
