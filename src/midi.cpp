/* Tokvin - MIDI output of the click.
   One output device, opened while the click runs; every failure of the MIDI
   service is shown with the system's own text for it. */
#include "midi.h"
#include "delay.h"

HMIDIOUT g_HdlMidiOut;  /* kept after a close; only used while g_MidiOpen */
int      g_HadBingo;    /* a failed send has been reported: stay quiet now */

static void SendMidi(DWORD msg, const char *title)
{
    MMRESULT rc = midiOutShortMsg(g_HdlMidiOut, msg);
    /* the timer keeps calling while the box is open: set the flag first */
    if (rc != MMSYSERR_NOERROR && !g_HadBingo) {
        g_HadBingo = 1;
        ShowMidiErr(title, rc);
    }
}

void MidiNoteOn(DWORD note, DWORD velo, DWORD chan)
{
    SendMidi(MidiPackOn(note, velo, chan), "Fehler bei Note On");
}

void MidiNoteOff(DWORD note, DWORD chan)
{
    SendMidi(MidiPackOff(note, chan), "Fehler bei Note Off");
}

void OpenMidi(UINT DeviceID)
{
    MMRESULT rc = midiOutOpen(&g_HdlMidiOut, DeviceID, 0, 0, CALLBACK_NULL);
    if (rc != MMSYSERR_NOERROR) {
        g_MidiOpen = 0;
        ShowMidiErr("Fehler beim Öffnen des MIDI-Geräts", rc);
    } else {
        g_MidiOpen = 1;
    }
}

void CloseMidi(void)
{
    MMRESULT rc;

    if (!g_MidiOpen)
        return;
    rc = midiOutClose(g_HdlMidiOut);
    if (rc != MMSYSERR_NOERROR)
        ShowMidiErr("Fehler beim Schließen des MIDI-Geräts", rc);
    else
        g_MidiOpen = 0;
}

void ShowMidiErr(const char *title, MMRESULT code)
{
    char text[MIDIERRSIZE];

    if (midiOutGetErrorTextA(code, text, sizeof text) != MMSYSERR_NOERROR)
        FormatText(text, sizeof text, "Unbekannter MIDI-Fehler (Code %u)", code);
    text[sizeof text - 1] = '\0';
    MessageBoxA(NULL, text, title ? title : "MIDI-Fehler", MB_ICONEXCLAMATION | MB_OK);
}
