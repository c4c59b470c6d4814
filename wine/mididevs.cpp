/* Tokvin's MIDI output devices as the Wine prefix lists them (tokvin
   --midi-devices): a console program of the Linux launcher, run under the
   same Wine and with the same sound drivers as Tokvin, so that its numbers
   are the ones Tokvin's MIDIDevice setting means. One line per device,
   "N name", the stored one marked; with none, one line that says what
   gives one. Exit 0 either way. */
#include <windows.h>
#include <mmsystem.h>
#include <stdio.h>
#include <string.h>

#include "delay.h"

/* MIDIDevice as Tokvin reads it: at most four bytes over the default */
static DWORD StoredDevice(void)
{
    HKEY  hKey;
    BYTE  data[MAXDATA];
    DWORD size = sizeof data, type, device = DFLT_MIDIDEV;

    if (RegOpenKeyExA(HKEY_CURRENT_USER, REGKEY, 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return device;
    if (RegQueryValueExA(hKey, "MIDIDevice", NULL, &type, data, &size) == ERROR_SUCCESS && size <= MAXDATA)
        memcpy(&device, data, size);
    RegCloseKey(hKey);
    return device;
}

int main(void)
{
    UINT  count = midiOutGetNumDevs(), i;
    DWORD stored = StoredDevice();
    char  name[4 * MAXPNAMELEN];

    /* ALSA's port names reach the terminal as they are */
    SetConsoleOutputCP(CP_UTF8);
    if (count == 0) {
        printf("No MIDI output device: start a synthesiser that listens on the ALSA sequencer"
               " (fluidsynth, for one), then ask again.\n");
        return 0;
    }
    for (i = 0; i < count; i++) {
        MIDIOUTCAPSW caps;
        MMRESULT     rc = midiOutGetDevCapsW(i, &caps, sizeof caps);

        if (rc != MMSYSERR_NOERROR
            || !WideCharToMultiByte(CP_UTF8, 0, caps.szPname, -1, name, sizeof name, NULL, NULL))
            snprintf(name, sizeof name, "(no name: error %u)", rc);
        printf("%u %s%s\n", i, name, i == stored ? "   <- Tokvin's MIDIDevice" : "");
    }
    if (stored >= count)
        printf("Tokvin's MIDIDevice is %lu, which is none of these: choosing MIDI, it reports that the"
               " device cannot be opened.\n", (unsigned long)stored);
    return 0;
}
