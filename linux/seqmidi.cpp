/* Tokvin for Linux - MIDI output through the ALSA sequencer.
   Tokvin is a sequencer client "Tokvin" with one output port from its start
   to its exit, so that a synthesiser or a DAW can be connected to it by
   name. While the click runs with MIDI chosen, the port is also connected
   to the device chosen, as the Windows program holds its device: the port
   of MIDIDeviceName's name wherever it now stands in the list, or without
   a name the MIDIDevice-th port. A connection that is there already, made
   by the user, serves as it is and stays at the stop. Every failure is
   shown with the sequencer's own text for it, and so is that device going
   away while it is connected.

   The notes go out on a queue of Tokvin's own, each handed over shortly
   before its time: the kernel plays it at its time, whatever the machine
   is doing then. */
#include <alsa/asoundlib.h>
#include <glib-unix.h>
#include <poll.h>
#include <pthread.h>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "tokvin.h"

#define MAXDEVICES  64
#define TAG_NOTEON  1       /* the queued note-ons, taken back at the stop */

static snd_seq_t      *s_Seq;
static int             s_Port = -1;
static int             s_Queue = -1;    /* the notes' queue, or none: sent at once */
static int64_t         s_QueueT0;       /* monotonic ns of the queue's time 0 */
static snd_seq_addr_t  s_Dest;          /* the device connected while g_MidiOpen */
static snd_seq_addr_t  s_Addr[MAXDEVICES];      /* the devices as last listed, on the window's thread */
static char            s_Name[MAXDEVICES][128];
static int             s_Own;           /* that connection is Tokvin's own */
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

/* The queue on the high-resolution timer where the kernel has it (the
   system timer ticks only every few ms); otherwise on the default one. */
static void UseHighResTimer(void)
{
    snd_seq_queue_timer_t *timer;
    snd_timer_id_t        *id;

    snd_seq_queue_timer_alloca(&timer);
    snd_timer_id_alloca(&id);
    if (snd_seq_get_queue_timer(s_Seq, s_Queue, timer) < 0)
        return;
    snd_timer_id_set_class(id, SND_TIMER_CLASS_GLOBAL);
    snd_timer_id_set_sclass(id, SND_TIMER_SCLASS_NONE);
    snd_timer_id_set_card(id, -1);
    snd_timer_id_set_device(id, SND_TIMER_GLOBAL_HRTIMER);
    snd_timer_id_set_subdevice(id, 0);
    snd_seq_queue_timer_set_type(timer, SND_SEQ_TIMER_ALSA);
    snd_seq_queue_timer_set_id(timer, id);
    snd_seq_set_queue_timer(s_Seq, s_Queue, timer);
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
    s_Queue = snd_seq_alloc_named_queue(s_Seq, "Tokvin");
    if (s_Queue >= 0)
        UseHighResTimer();
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

/* A port's name with every number in brackets left out, and the space
   before it: FluidSynth's "FLUID Synth (1234): Synth input port (1234:0)"
   carries its process's, which the next start changes. */
static void NameKey(const char *name, char *key, size_t size)
{
    size_t n = 0;

    while (*name && n + 1 < size) {
        const char *open = name + (name[0] == ' ' && name[1] == '('), *end = open + 1;

        while (*open == '(' && (g_ascii_isdigit(*end) || *end == ':'))
            end++;
        if (*open == '(' && end > open + 1 && *end == ')') {
            name = end + 1;
            continue;
        }
        key[n++] = *name++;
    }
    key[n] = '\0';
}

int MidiNone(void)
{
    return strcmp(g_MidiDevName, MIDINONE) == 0;
}

/* The chosen device among the n listed: the port of MIDIDeviceName's name,
   wherever it stands now, or without a name the device-th; -1 for none. */
static int Chosen(uint32_t device, char (*name)[128], int n)
{
    char want[128], key[128];
    int  i;

    if (MidiNone())
        return -1;
    if (!g_MidiDevName[0])
        return device < (uint32_t)n && device < MAXDEVICES ? (int)device : -1;
    NameKey(g_MidiDevName, want, sizeof want);
    for (i = 0; i < n && i < MAXDEVICES; i++) {
        NameKey(name[i], key, sizeof key);
        if (strcmp(key, want) == 0)
            return i;
    }
    return -1;
}

int MidiDeviceCount(void)
{
    snd_seq_addr_t addr[1];

    return Devices(addr, NULL, 0);
}

/* The name of device N as --midi-devices lists it, or "" */
void MidiDeviceName(uint32_t device, char *name, size_t size)
{
    int n = InitMidi() ? Devices(s_Addr, s_Name, MAXDEVICES) : 0;

    FormatText(name, size, "%s", device < (uint32_t)n && device < MAXDEVICES ? s_Name[device] : "");
}

/* tokvin --midi-devices */
int ListMidiDevices(void)
{
    int n, i, chosen;

    if (!InitMidi() || (n = Devices(s_Addr, s_Name, MAXDEVICES)) == 0) {
        printf("No MIDI output: no ALSA sequencer port takes notes here. Start a synthesiser "
               "(FluidSynth, Qsynth) or connect a MIDI device, then ask again.\n");
        return 0;
    }
    GetRecentData();
    chosen = Chosen(g_MidiDev, s_Name, n);
    for (i = 0; i < n && i < MAXDEVICES; i++)
        printf("%d %s%s\n", i, s_Name[i], i == chosen ? "   <- Tokvin's MIDIDevice" : "");
    if (MidiNone())
        printf("Tokvin's MIDIDevice is none: it connects nothing itself, and its notes go to the "
               "connections made to its port.\n");
    else if (chosen < 0 && g_MidiDevName[0])
        printf("Tokvin's MIDIDevice is \"%s\", which is not here: start it, or store another with "
               "tokvin --midi-device N.\n", g_MidiDevName);
    else if (chosen < 0)
        printf("Tokvin's MIDIDevice is %u, which names no device here: store another with "
               "tokvin --midi-device N.\n", g_MidiDev);
    return 0;
}

void ShowMidiErr(const char *title, int code)
{
    ShowBox(title ? title : "MIDI-Fehler", snd_strerror(code));
}

/* Tokvin's port is connected to that one already */
static int Connected(const snd_seq_addr_t *dest)
{
    snd_seq_port_subscribe_t *sub;
    snd_seq_addr_t            self;

    snd_seq_port_subscribe_alloca(&sub);
    self.client = (unsigned char)snd_seq_client_id(s_Seq);
    self.port = (unsigned char)s_Port;
    snd_seq_port_subscribe_set_sender(sub, &self);
    snd_seq_port_subscribe_set_dest(sub, dest);
    return snd_seq_get_port_subscription(s_Seq, sub) == 0;
}

/* With "none" Tokvin connects nothing: the notes go to the connections
   that there are. A refusal of a connection that is there already, the
   user's own, is none. */
void OpenMidi(uint32_t device)
{
    int rc = 0, i;

    pthread_mutex_lock(&s_Lock);
    s_Own = 0;
    s_Dest.client = SND_SEQ_ADDRESS_UNKNOWN;
    if (!s_Seq)
        rc = -ENODEV;
    else if (!MidiNone()) {
        i = Chosen(device, s_Name, Devices(s_Addr, s_Name, MAXDEVICES));
        if (i < 0)
            rc = -ENODEV;       /* no such device */
        else if ((rc = snd_seq_connect_to(s_Seq, s_Port, s_Addr[i].client, s_Addr[i].port)) >= 0
                 || Connected(&s_Addr[i])) {
            s_Own = rc >= 0;
            s_Dest = s_Addr[i];
            rc = 0;
        }
    }
    pthread_mutex_unlock(&s_Lock);
    g_MidiOpen = rc >= 0;
    if (rc < 0)
        ShowMidiErr("Fehler beim Öffnen des MIDI-Geräts", rc);
}

/* Only a connection of Tokvin's own is taken away */
void CloseMidi(void)
{
    int rc = 0;

    if (!g_MidiOpen)
        return;
    pthread_mutex_lock(&s_Lock);
    if (s_Own)
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
   connections: at once, or with at on the queue at that monotonic time;
   called on the click's MIDI thread. The first failure of the process is
   shown, on the window's thread. */
static int Send(unsigned long msg, const int64_t *at)
{
    snd_seq_event_t ev;
    int             rc;

    snd_seq_ev_clear(&ev);
    snd_seq_ev_set_noteon(&ev, msg & 0x0F, (msg >> 8) & 0x7F, (msg >> 16) & 0x7F);
    snd_seq_ev_set_subs(&ev);
    pthread_mutex_lock(&s_Lock);
    ev.source.port = (unsigned char)s_Port;
    if (!s_Seq)
        rc = -ENODEV;
    else if (at && MidiQueued()) {
        int64_t             ns = *at > s_QueueT0 ? *at - s_QueueT0 : 0;
        snd_seq_real_time_t time;

        time.tv_sec = (unsigned)(ns / 1000000000);
        time.tv_nsec = (unsigned)(ns % 1000000000);
        snd_seq_ev_schedule_real(&ev, s_Queue, 0, &time);
        ev.tag = (msg >> 16) & 0x7F ? TAG_NOTEON : 0;
        rc = snd_seq_event_output(s_Seq, &ev);
        if (rc >= 0)
            rc = snd_seq_drain_output(s_Seq);
    } else {
        snd_seq_ev_set_direct(&ev);
        rc = snd_seq_event_output_direct(s_Seq, &ev);
    }
    pthread_mutex_unlock(&s_Lock);
    if (rc < 0 && !s_HadBingo) {
        s_HadBingo = 1;
        s_SendErrTitle = (msg >> 16) & 0x7F ? "Fehler bei Note On" : "Fehler bei Note Off";
        s_SendErrCode = rc;
        g_idle_add(ShowSendErr, NULL);
    }
    return rc;
}

int SendMidi(unsigned long msg)
{
    return Send(msg, NULL);
}

int SendMidiAt(unsigned long msg, int64_t at)
{
    return Send(msg, &at);
}

/* the notes go on a queue, not out at once */
int MidiQueued(void)
{
    return s_Seq && s_Queue >= 0;
}

static void QueueControl(int type)
{
    snd_seq_control_queue(s_Seq, s_Queue, type, 0, NULL);
    snd_seq_drain_output(s_Seq);
}

/* What waits on the queue taken back: all, or the events of a tag */
static void TakeBack(int tag)
{
    snd_seq_remove_events_t *remove;

    snd_seq_remove_events_alloca(&remove);
    snd_seq_remove_events_set_queue(remove, s_Queue);
    snd_seq_remove_events_set_condition(remove, SND_SEQ_REMOVE_OUTPUT | (tag ? SND_SEQ_REMOVE_TAG_MATCH : 0));
    snd_seq_remove_events_set_tag(remove, tag);
    snd_seq_remove_events(s_Seq, remove);
}

/* The queue's time starts with the click; its 0 in the monotonic clock of
   the click's grid is when the start has gone to the sequencer, which
   starts it as it takes the event. */
void StartMidiQueue(void)
{
    struct timespec ts;

    if (!MidiQueued())
        return;
    pthread_mutex_lock(&s_Lock);
    QueueControl(SND_SEQ_EVENT_START);
    clock_gettime(CLOCK_MONOTONIC, &ts);
    s_QueueT0 = ts.tv_sec * 1000000000LL + ts.tv_nsec;
    pthread_mutex_unlock(&s_Lock);
}

/* The click's end: the note-ons still waiting are taken back, the note-off
   (off, where not 0) goes out at once, and the queue stops with nothing
   left on it, so that no note is left sounding and none comes later. */
void StopMidiQueue(unsigned long off)
{
    int queued = MidiQueued();

    if (queued) {
        pthread_mutex_lock(&s_Lock);
        TakeBack(TAG_NOTEON);
        pthread_mutex_unlock(&s_Lock);
    }
    if (off)
        SendMidi(off);
    if (queued) {
        pthread_mutex_lock(&s_Lock);
        QueueControl(SND_SEQ_EVENT_STOP);
        TakeBack(0);
        pthread_mutex_unlock(&s_Lock);
    }
}
