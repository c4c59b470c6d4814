/* Tokvin - MIDI output of the click: device open/close and note messages. */
#ifndef TOKVIN_MIDI_H
#define TOKVIN_MIDI_H

#include <windows.h>
#include <mmsystem.h>

#include "beat.h"     /* the packed messages */

#define MIDIERRSIZE     500

void OpenMidi(UINT DeviceID);
void CloseMidi(void);
void MidiNoteOn(DWORD note, DWORD velo, DWORD chan);
void MidiNoteOff(DWORD note, DWORD chan);
void ShowMidiErr(const char *title, MMRESULT code);

#endif
