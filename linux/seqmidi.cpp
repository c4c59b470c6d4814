/* Tokvin for Linux - MIDI output through the ALSA sequencer.
   Tokvin is a sequencer client "Tokvin" with one output port from its start
   to its exit, so that a synthesiser or a DAW can be connected to it by
   name. While the click runs with MIDI chosen, the port is also connected
   to the device that MIDIDevice names, as the Windows program holds its
   device. Every failure is shown with the sequencer's own text for it, and
   so is that device going away while it is connected. */
#include <alsa/asoundlib.h>
#include <glib-unix.h>
#include <poll.h>
#include <pthread.h>
#include <cstdio>
#include <cstring>

#include "tokvin.h"

#define MAXDEVICES  64

static snd_seq_t      *s_Seq;
static int             s_Port = -1;
static snd_seq_addr_t  s_Dest;          /* the device connected while g_MidiOpen */
static int             s_HadBingo;      /* a failed send has been reported: stay quiet now */
static pthread_mutex_t s_Lock = PTHREAD_MUTEX_INITIALIZER;  /* the click's thread sends */

/* ALSA's own messages on standard error: a machine without a sequencer
   is no error here, it only has no MIDI */
static void Quiet(const char *file, int line, const char *function, int err, const char *fmt, ...)
{
    (void)file;
    (void)line;
    (void)function;
    (void)err;
    (void)fmt;
}

/* The sequencer announces every client and port that goes away; the device
   connected for the click among them ends the connection, said once. */
static gboolean OnAnnounce(gint fd, GIOCondition cond, gpointer data)
{
    snd_seq_event_t *ev;
    int              gone = 0;

    (void)fd;
    (void)cond;
    (void)data;
    pthread_mutex_lock(&s_Lock);
    while (s_Seq && snd_seq_event_input(s_Seq, &ev) >= 0) {
        if ((ev->type == SND_SEQ_EVENT_PORT_EXIT && ev->data.addr.client == s_Dest.client
             && ev->data.addr.port == s_Dest.port)
            || (ev->type == SND_SEQ_EVENT_CLIENT_EXIT && ev->data.addr.client == s_Dest.client))
            gone = 1;
    }
    pthread_mutex_unlock(&s_Lock);
    if (gone && g_MidiOpen) {
        g_MidiOpen = 0;
        ShowMidiErr(NULL, -ENODEV);
    }
    return G_SOURCE_CONTINUE;
}

/* A port of Tokvin's own, hidden from others, that hears the sequencer's
   announcements; without it MIDI works all the same. */
static void WatchAnnouncements(void)
{
    struct pollfd pfd;
    int           port;

    port = snd_seq_create_simple_port(s_Seq, "Tokvin announcements",
                                      SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_NO_EXPORT,
                                      SND_SEQ_PORT_TYPE_APPLICATION);
    if (port < 0 || snd_seq_connect_from(s_Seq, port, SND_SEQ_CLIENT_SYSTEM, SND_SEQ_PORT_SYSTEM_ANNOUNCE) < 0
        || snd_seq_poll_descriptors(s_Seq, &pfd, 1, POLLIN) != 1)
        return;
    g_unix_fd_add(pfd.fd, G_IO_IN, OnAnnounce, NULL);
}

int InitMidi(void)
{
    if (s_Seq)
        return 1;
    snd_lib_error_set_handler(Quiet);
    if (snd_seq_open(&s_Seq, "default", SND_SEQ_OPEN_DUPLEX, SND_SEQ_NONBLOCK) < 0) {
        s_Seq = NULL;
        return 0;
    }
    snd_seq_set_client_name(s_Seq, "Tokvin");
    s_Port = snd_seq_create_simple_port(s_Seq, "Tokvin",
                                        SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ,
                                        SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
    if (s_Port < 0) {
        snd_seq_close(s_Seq);
        s_Seq = NULL;
        return 0;
    }
    WatchAnnouncements();
    return 1;
}

void ExitMidi(void)
{
    if (s_Seq)
        snd_seq_close(s_Seq);
    s_Seq = NULL;
}

/* The ports that take output, in client and port order, "Midi Through"
   last and Tokvin's own never: device N is the Nth of them. Fills at most
   max addresses (and names, where asked) and returns how many there are. */
static int Devices(snd_seq_addr_t *addr, char (*name)[128], int max)
{
    snd_seq_client_info_t *client;
    snd_seq_port_info_t   *port;
    int                    n = 0, pass, self;
    const unsigned         want = SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE;

    if (!s_Seq)
        return 0;
    self = snd_seq_client_id(s_Seq);
    snd_seq_client_info_alloca(&client);
    snd_seq_port_info_alloca(&port);
    for (pass = 0; pass < 2; pass++) {
        snd_seq_client_info_set_client(client, -1);
        while (snd_seq_query_next_client(s_Seq, client) >= 0) {
            int         id = snd_seq_client_info_get_client(client);
            const char *cname = snd_seq_client_info_get_name(client);
            int         through = strcmp(cname, "Midi Through") == 0;

            if (id == self || id == SND_SEQ_CLIENT_SYSTEM || through != (pass == 1))
                continue;
            snd_seq_port_info_set_client(port, id);
            snd_seq_port_info_set_port(port, -1);
            while (snd_seq_query_next_port(s_Seq, port) >= 0) {
                unsigned caps = snd_seq_port_info_get_capability(port);

                if ((caps & want) != want || (caps & SND_SEQ_PORT_CAP_NO_EXPORT))
                    continue;
                if (n < max) {
                    addr[n].client = (unsigned char)id;
                    addr[n].port = (unsigned char)snd_seq_port_info_get_port(port);
                    if (name)
                        FormatText(name[n], sizeof name[n], "%s: %s", cname, snd_seq_port_info_get_name(port));
                }
                n++;
            }
        }
    }
    return n;
}

int MidiDeviceCount(void)
{
    snd_seq_addr_t addr[1];

    return Devices(addr, NULL, 0);
}

/* tokvin --midi-devices */
int ListMidiDevices(void)
{
    static snd_seq_addr_t addr[MAXDEVICES];
    static char           name[MAXDEVICES][128];
    int                   n, i;

    if (!InitMidi() || (n = Devices(addr, name, MAXDEVICES)) == 0) {
        printf("No MIDI output: no ALSA sequencer port takes notes here. Start a synthesiser "
               "(FluidSynth, Qsynth) or connect a MIDI device, then ask again.\n");
        return 0;
    }
    GetRecentData();
    for (i = 0; i < n && i < MAXDEVICES; i++)
        printf("%d %s%s\n", i, name[i], (uint32_t)i == g_MidiDev ? "   <- Tokvin's MIDIDevice" : "");
    if (g_MidiDev >= (uint32_t)n)
        printf("Tokvin's MIDIDevice is %u, which names no device here: store another with "
               "tokvin --midi-device N.\n", g_MidiDev);
    return 0;
}

void ShowMidiErr(const char *title, int code)
{
    ShowBox(title ? title : "MIDI-Fehler", snd_strerror(code));
}

void OpenMidi(uint32_t device)
{
    static snd_seq_addr_t addr[MAXDEVICES];
    int                   rc, n;

    pthread_mutex_lock(&s_Lock);
    if (!s_Seq)
        rc = -ENODEV;
    else if ((n = Devices(addr, NULL, MAXDEVICES)) <= 0 || device >= (uint32_t)n || device >= MAXDEVICES)
        rc = -ENODEV;       /* no such device number */
    else if ((rc = snd_seq_connect_to(s_Seq, s_Port, addr[device].client, addr[device].port)) >= 0)
        s_Dest = addr[device];
    pthread_mutex_unlock(&s_Lock);
    g_MidiOpen = rc >= 0;
    if (rc < 0)
        ShowMidiErr("Fehler beim Öffnen des MIDI-Geräts", rc);
}

void CloseMidi(void)
{
    int rc;

    if (!g_MidiOpen)
        return;
    pthread_mutex_lock(&s_Lock);
    rc = s_Seq ? snd_seq_disconnect_to(s_Seq, s_Port, s_Dest.client, s_Dest.port) : -ENODEV;
    pthread_mutex_unlock(&s_Lock);
    if (rc < 0)
        ShowMidiErr("Fehler beim Schließen des MIDI-Geräts", rc);
    else
        g_MidiOpen = 0;
}

/* the first failed send, for the window's thread */
static const char *s_SendErrTitle;
static int         s_SendErrCode;

static gboolean ShowSendErr(gpointer data)
{
    (void)data;
    ShowMidiErr(s_SendErrTitle, s_SendErrCode);
    return G_SOURCE_REMOVE;
}

/* One packed message (the Windows program's bytes) to the port's
   connections, at once; called on the click's MIDI thread at the note's
   time. The first failure of the process is shown, on the window's thread. */
int SendMidi(unsigned long msg)
{
    snd_seq_event_t ev;
    int             rc;

    snd_seq_ev_clear(&ev);
    snd_seq_ev_set_noteon(&ev, msg & 0x0F, (msg >> 8) & 0x7F, (msg >> 16) & 0x7F);
    snd_seq_ev_set_subs(&ev);
    snd_seq_ev_set_direct(&ev);
    pthread_mutex_lock(&s_Lock);
    ev.source.port = (unsigned char)s_Port;
    rc = s_Seq ? snd_seq_event_output_direct(s_Seq, &ev) : -ENODEV;
    pthread_mutex_unlock(&s_Lock);
    if (rc < 0 && !s_HadBingo) {
        s_HadBingo = 1;
        s_SendErrTitle = (msg >> 16) & 0x7F ? "Fehler bei Note On" : "Fehler bei Note Off";
        s_SendErrCode = rc;
        g_idle_add(ShowSendErr, NULL);
    }
    return rc;
}
