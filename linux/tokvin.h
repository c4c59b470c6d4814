/* Tokvin for Linux - program state and the procedures its modules share.
   The same state and names as the Windows program, on GTK 4. */
#ifndef TOKVIN_LINUX_H
#define TOKVIN_LINUX_H

#include <gtk/gtk.h>
#include <stdint.h>

#include "beat.h"

/* Stored settings */
#define BITBEEP         1
#define BITMIDI         2
#define CONFGROUP       "Tokvin"
#define HELPFILE        "tokvin_d.html"
#define MAXPATH         4096
#define MIDINONE        "none"  /* MIDIDeviceName: Tokvin connects nothing itself */

/* Program state; what the click's threads read is atomic (click.cpp) */
extern int        g_Tempo;
extern int        g_Wheel;
extern unsigned   g_Tick;
extern uint32_t   g_MidiChan;
extern uint32_t   g_MidiNote;
extern uint32_t   g_MidiVelo;
extern uint32_t   g_MidiDev;
extern char       g_MidiDevName[128];   /* MIDIDeviceName, the Linux edition's own */
extern int        g_MidiOpen;
extern int        g_ClickOn;
extern int        g_UseBeep;
extern int        g_UseMidi;
extern GtkWidget *g_hDlg;
extern GtkWidget *g_hTempoEdit;
extern GtkWidget *g_hTrackTempo;
extern GtkWidget *g_hClick;
extern GtkWidget *g_hRadAudio;
extern GtkWidget *g_hRadBeep;
extern GtkWidget *g_hRadMidi;
extern GtkWidget *g_hCell[NCELLS];
extern GtkWidget *g_hBox;       /* the message box that is open, or NULL */

/* Start-up and window (gtkdelay.cpp) */
GtkWidget *InitializeApp(GtkApplication *app);
void       StopAndSave(void);
void       ShowBox(const char *caption, const char *text);

/* Delay table and tempo input */
void dtor(int tempo, int settext, int setslider);
void OnTempoScroll(int code, int position);
void OnTempoWheel(int delta);
void OnTempoArrow(int delta);
void OnTempoEdit(void);
void SetThumb(int position);    /* the trackbar alone */

#define SB_LINEUP        0
#define SB_LINEDOWN      1
#define SB_PAGEUP        2
#define SB_PAGEDOWN      3
#define SB_THUMBTRACK    5

/* Click switch and sound source */
void OnClickSwitch(void);
void OnSourceAudio(void);
void OnSourceBeep(void);
void OnSourceMidi(void);

/* Help */
int  HelpPath(char *path, size_t size);
void OpenHelpFileX(void);

/* Settings (settings.cpp) */
void ConfPath(char *path, size_t size);
int  GetRecentData(void);
int  SaveRecentData(void);
int  StoreSetting(const char *name, uint32_t value);    /* the command line's */
int  StoreMidiDevice(const char *arg);                  /* tokvin --midi-device N|none */

/* The click (click.cpp) */
void StartClick(void);
void StopClick(void);
void ClickState(void);          /* tempo and source handed to the stream */
void CutSample(void);

/* MIDI output through the ALSA sequencer (seqmidi.cpp) */
int  InitMidi(void);            /* the client and its port; 0 without a sequencer */
int  MidiDeviceCount(void);
void MidiDeviceName(uint32_t device, char *name, size_t size);
int  MidiNone(void);            /* MIDIDeviceName "none" */
int  ListMidiDevices(void);     /* tokvin --midi-devices */
void OpenMidi(uint32_t device);
void CloseMidi(void);
int  SendMidi(unsigned long msg);     /* at once */
int  SendMidiAt(unsigned long msg, int64_t at);    /* at that monotonic ns, from the click's MIDI thread */
int  MidiQueued(void);          /* SendMidiAt queues, and may come early */
void StartMidiQueue(void);
void StopMidiQueue(unsigned long off);
void ShowMidiErr(const char *title, int code);
void ExitMidi(void);

#endif
