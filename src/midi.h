/* Tokvin - MIDI output of the click: device open/close and note messages. */
#ifndef TOKVIN_MIDI_H
#define TOKVIN_MIDI_H

#include <windows.h>
#include <mmsystem.h>

#define MIDI_NOTEON     0x90
#define MIDI_MAXCHAN    15
#define MIDI_MAXDATA    127     /* highest note or velocity */
#define MIDIERRSIZE     500

/* Packed channel messages as midiOutShortMsg takes them (status in the low
   byte). The values are the stored settings as they are; each is brought to
   the nearest value its field can carry. */
DWORD MidiPackOn(DWORD note, DWORD velo, DWORD chan);
DWORD MidiPackOff(DWORD note, DWORD chan);

void OpenMidi(UINT DeviceID);
void CloseMidi(void);
void MidiNoteOn(DWORD note, DWORD velo, DWORD chan);
void MidiNoteOff(DWORD note, DWORD chan);
void ShowMidiErr(const char *title, MMRESULT code);

#endif
