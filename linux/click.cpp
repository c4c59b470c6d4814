/* Tokvin for Linux - the click. While it runs, one stream to the desktop's
   sound server (PulseAudio's client API, which PipeWire serves too) is
   written from a thread of its own: silence, with every click mixed in at
   its frame (mixer.cpp). The MIDI notes go out from a second thread that
   hands each one to the sequencer's queue a chunk before its time on the
   same grid, taken from the monotonic clock at the switch-on; the kernel
   plays it at its time. The window hands the tempo and the source over
   through atomics; neither its thread nor a toolkit timer decides when a
   click sounds.

   The stream never waits for a full buffer after an underrun (prebuf 0):
   the server plays on and drops what comes late, so every later click
   keeps its frame. Without a server, or once it has gone, the click goes
   on silent by the clock and a server is asked for again every half
   second. The thread runs its own main loop and never blocks on the
   server, so that a switch-off never waits for one. */
/* G_MESSAGES_DEBUG=Tokvin shows the underruns and each stream given up */
#define G_LOG_DOMAIN "Tokvin"
#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <pthread.h>
#include <pulse/pulseaudio.h>

#include "mixer.h"
#include "tokvin.h"

#define CHUNK       882         /* frames written at a time: 20 ms */
#define LATENCY_MS  50          /* the server's buffer: the first click heard within 250 ms */
#define REQUEST_MS  5           /* the server asks for more this often */
#define NS          1000000000LL
#define MS          1000000LL
#define NQUEUE      64
#define RETRY_NS    (500 * MS)  /* a server asked for again */
#define ANSWER_NS   (2000 * MS) /* a server that has not answered by then is given up */
#define WAIT_NS     (100 * MS)  /* the first beat waits that long for the stream at most */
#define STALE_NS    (100 * MS)  /* a note-on later than that is left out */
#define LEAD_NS     (20 * MS)   /* a note handed to the sequencer's queue that early */

static std::atomic<int> s_Tempo{120};
static std::atomic<int> s_Beep{0};
static std::atomic<int> s_Midi{0};
static std::atomic<int> s_Cut{0};
static std::atomic<int> s_Run{0};
static int              s_Running;          /* the threads are there (window's thread) */
static pthread_t        s_AudioThread, s_MidiThread;
static int64_t          s_T0;               /* monotonic ns of frame 0 */
static int              s_StartTempo;
static int64_t          s_LastBeatNs = INT64_MIN;   /* the last run's last beat */
static pa_mainloop     *s_Loop;             /* the stream thread's, woken by the stop */
static pa_context      *s_Server;
static pa_stream       *s_Stream;
static int              s_Lost;             /* the server or its stream has failed */
static int64_t          s_Asked;            /* when the server was last asked for */
static int64_t          s_Behind;           /* since when the stream is behind the clock, or 0 */
static int64_t          s_Hole = -1;        /* silence owed to a new stream; -1: not yet reckoned */
static std::atomic<int> s_Underruns{0};
static uint32_t         s_On, s_Off;        /* the packed note messages of this run */
static int              s_NoteOut;          /* a note-on has gone out without its note-off */
static int64_t          s_Lead;             /* how early a note is handed over */

/* Notes on their way from the stream's thread to the MIDI thread */
static pthread_mutex_t  s_QLock = PTHREAD_MUTEX_INITIALIZER;
static pthread_cond_t   s_QWake;
static int64_t          s_QDue[NQUEUE];
static uint32_t         s_QMsg[NQUEUE];
static int              s_QHead, s_QCount;

static int64_t Now(void)
{
    struct timespec ts;

    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * NS + ts.tv_nsec;
}

static int64_t FrameTime(int64_t frame)
{
    return s_T0 + frame * NS / MIX_RATE;
}

/* a beat's length at the tempo, in ns */
static int64_t BeatNs(int tempo)
{
    return BeatFrames(1, tempo) * NS / MIX_RATE;
}

static struct timespec AbsTime(int64_t ns)
{
    struct timespec ts;

    ts.tv_sec = ns / NS;
    ts.tv_nsec = ns % NS;
    return ts;
}

void ClickState(void)
{
    s_Tempo = g_Tempo;
    s_Beep = g_UseBeep;
    s_Midi = g_UseMidi;
}

void CutSample(void)
{
    s_Cut = 1;
}

/* from the mixer, on the stream's thread. A note-on that is already past
   by far (the thread had no time, the server stood still) would only be
   heard out of time, or many at once: it is left out. */
static void OnMixEvent(int kind, int64_t frame)
{
    if (kind == MIX_NOTEON && FrameTime(frame) < Now() - STALE_NS)
        return;
    pthread_mutex_lock(&s_QLock);
    if (s_QCount < NQUEUE) {
        int i = (s_QHead + s_QCount++) % NQUEUE;
        s_QDue[i] = FrameTime(frame);
        s_QMsg[i] = kind == MIX_NOTEON ? s_On : s_Off;
        pthread_cond_signal(&s_QWake);
    }
    pthread_mutex_unlock(&s_QLock);
}

static void *MidiThread(void *arg)
{
    (void)arg;
    pthread_mutex_lock(&s_QLock);
    while (s_Run) {
        struct timespec due;
        uint32_t        msg;
        int64_t         at;

        if (s_QCount == 0) {
            pthread_cond_wait(&s_QWake, &s_QLock);
            continue;
        }
        at = s_QDue[s_QHead];
        due = AbsTime(at - s_Lead);
        if (Now() < at - s_Lead) {
            pthread_cond_timedwait(&s_QWake, &s_QLock, &due);
            continue;
        }
        msg = s_QMsg[s_QHead];
        s_QHead = (s_QHead + 1) % NQUEUE;
        s_QCount--;
        pthread_mutex_unlock(&s_QLock);
        SendMidiAt(msg, at);
        s_NoteOut = msg == s_On;
        pthread_mutex_lock(&s_QLock);
    }
    pthread_mutex_unlock(&s_QLock);
    return NULL;
}

static void OnStreamState(pa_stream *stream, void *data)
{
    (void)data;
    if (!PA_STREAM_IS_GOOD(pa_stream_get_state(stream)))
        s_Lost = 1;
}

static void OnUnderflow(pa_stream *stream, void *data)
{
    (void)stream;
    (void)data;
    s_Underruns++;
}

static void OnServerState(pa_context *server, void *data)
{
    pa_sample_spec format;
    pa_buffer_attr attr;

    (void)data;
    switch (pa_context_get_state(server)) {
    case PA_CONTEXT_READY:
        format.format = PA_SAMPLE_S16LE;
        format.rate = MIX_RATE;
        format.channels = 2;
        attr.maxlength = (uint32_t)-1;
        attr.tlength = (uint32_t)pa_usec_to_bytes(LATENCY_MS * 1000, &format);
        attr.prebuf = 0;        /* an underrun drops frames, never delays the rest */
        /* Of the latency, the server gives the sound card (or PipeWire's
           graph) half of what is left after two requests: about 20 ms.
           Requests of 20 ms left it 5 ms: PipeWire then ran the whole
           desktop in cycles of 3 ms, and on a loaded machine the click
           now and then came a cycle late from one beat on. With requests
           of 5 ms it kept its frame, even with the graph held at 3 ms. */
        attr.minreq = (uint32_t)pa_usec_to_bytes(REQUEST_MS * 1000, &format);
        attr.fragsize = (uint32_t)-1;
        s_Hole = -1;
        s_Stream = pa_stream_new(server, "Klick", &format, NULL);
        if (!s_Stream) {
            s_Lost = 1;
            break;
        }
        pa_stream_set_state_callback(s_Stream, OnStreamState, NULL);
        pa_stream_set_underflow_callback(s_Stream, OnUnderflow, NULL);
        if (pa_stream_connect_playback(s_Stream, NULL, &attr, PA_STREAM_ADJUST_LATENCY, NULL, NULL) < 0)
            s_Lost = 1;
        break;
    case PA_CONTEXT_FAILED:
    case PA_CONTEXT_TERMINATED:
        s_Lost = 1;
        break;
    default:
        break;
    }
}

/* The server is asked for, without starting one */
static void AskServer(void)
{
    s_Asked = Now();
    s_Lost = 0;
    s_Server = pa_context_new(pa_mainloop_get_api(s_Loop), "Tokvin");
    if (!s_Server) {
        s_Lost = 1;
        return;
    }
    pa_context_set_state_callback(s_Server, OnServerState, NULL);
    if (pa_context_connect(s_Server, NULL, PA_CONTEXT_NOAUTOSPAWN, NULL) < 0)
        s_Lost = 1;
}

/* why, where given, is said when a server is given up */
static void DropServer(const char *why)
{
    s_Behind = 0;
    if (why && s_Server)
        g_debug("click: the server %s", why);
    if (s_Stream) {
        pa_stream_set_state_callback(s_Stream, NULL, NULL);
        pa_stream_disconnect(s_Stream);
        pa_stream_unref(s_Stream);
        s_Stream = NULL;
    }
    if (s_Server) {
        pa_context_set_state_callback(s_Server, NULL, NULL);
        pa_context_disconnect(s_Server);
        pa_context_unref(s_Server);
        s_Server = NULL;
    }
}

static int Playing(void)
{
    return s_Stream && pa_stream_get_state(s_Stream) == PA_STREAM_READY;
}

/* The first beat comes at once, unless the last run's last beat is less
   than a beat ago: then it waits for the rest of that beat. */
static int64_t FirstBeat(int64_t now, int tempo)
{
    int64_t beat = BeatNs(tempo);

    if (s_LastBeatNs != INT64_MIN && now - s_LastBeatNs < beat)
        return (s_LastBeatNs + beat - now) * MIX_RATE / NS;
    return 0;
}

static void Mix(short *buf, int frames)
{
    MixFrames(buf, frames, s_Tempo, s_Beep, s_Midi, s_Cut.exchange(0), OnMixEvent);
}

/* One turn of the stream's thread: the stream filled as far as the server
   asks, or the clock's frames mixed for nothing; returns how long it may
   sleep, in ns. */
static int64_t Feed(int started)
{
    static short buf[CHUNK * 2];
    int64_t      now = Now(), wait;

    if (s_Lost || (s_Server && !Playing() && now - s_Asked > ANSWER_NS))
        DropServer(s_Lost ? "failed" : "did not answer");
    if (!s_Server && now - s_Asked >= RETRY_NS)
        AskServer();
    if (!started)
        return 5 * MS;
    if (Playing()) {
        size_t room = pa_stream_writable_size(s_Stream);

        /* A stream opened while the click runs (a server back, a stream
           given up) would play at once what was mixed ahead of the clock,
           and every later click early by that much: it gets that much
           silence first, and goes on on the clock's grid. */
        if (s_Hole < 0)
            s_Hole = FrameTime(g_MixFrame) > now ? (FrameTime(g_MixFrame) - now) * MIX_RATE / NS : 0;
        for (room = room == (size_t)-1 ? 0 : room / 4; room > 0 && !s_Lost; ) {
            int frames = room < CHUNK ? (int)room : CHUNK;

            if (s_Hole > 0) {
                frames = frames < s_Hole ? frames : (int)s_Hole;
                memset(buf, 0, frames * 4);
                s_Hole -= frames;
            } else
                Mix(buf, frames);
            if (pa_stream_write(s_Stream, buf, frames * 4, NULL, 0, PA_SEEK_RELATIVE) < 0)
                s_Lost = 1;
            room -= frames;
        }
        /* the server asks for more when it wants it; this is the fallback */
        if (!s_Lost && FrameTime(g_MixFrame) >= now - STALE_NS) {
            s_Behind = 0;
            return 10 * MS;
        }
        /* Behind the clock. If this thread was the one held up (a loaded
           machine, a stop in the debugger), the server's request is still
           on its way, and the stream goes on where the clock stands; one
           that takes nothing for as long again stands still, and the
           clock goes on without it. */
        if (!s_Lost && (!s_Behind || now - s_Behind < STALE_NS)) {
            s_Behind = s_Behind ? s_Behind : now;
            return 10 * MS;
        }
        DropServer("stood still");
    }
    /* no stream: as far ahead of the clock as a stream would be */
    while (FrameTime(g_MixFrame) - LATENCY_MS * MS <= now)
        Mix(buf, CHUNK);
    wait = FrameTime(g_MixFrame) - LATENCY_MS * MS - now;
    if (!s_Server && s_Asked + RETRY_NS - now < wait)
        wait = s_Asked + RETRY_NS - now;
    return wait > 0 ? wait : 0;
}

static void *AudioThread(void *arg)
{
    int64_t begun = Now();
    int     started = 0;

    (void)arg;
    s_Asked = begun - RETRY_NS;
    s_Underruns = 0;
    while (s_Run) {
        int64_t wait;

        /* the grid starts once the stream is there, so that the first note
           is not late by the server's answer, or without it soon after */
        if (!started && (Playing() || (s_Lost && !s_Server) || Now() - begun >= WAIT_NS)) {
            s_T0 = Now();
            MixStart(FirstBeat(s_T0, s_StartTempo), s_StartTempo);
            started = 1;
        }
        wait = Feed(started);
        if (pa_mainloop_prepare(s_Loop, (int)(wait / 1000)) < 0 || pa_mainloop_poll(s_Loop) < 0
            || pa_mainloop_dispatch(s_Loop) < 0)
            break;
    }
    if (s_Underruns)
        g_debug("click: %d underruns", s_Underruns.load());
    DropServer(NULL);
    return NULL;
}

void StartClick(void)
{
    pthread_condattr_t attr;

    if (s_Running)
        return;
    s_StartTempo = g_Tempo;
    s_On = (uint32_t)MidiPackOn(g_MidiNote, g_MidiVelo, g_MidiChan);
    s_Off = (uint32_t)MidiPackOff(g_MidiNote, g_MidiChan);
    s_NoteOut = 0;
    s_QHead = s_QCount = 0;
    ClickState();
    s_Cut = 0;
    pthread_condattr_init(&attr);
    pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
    pthread_cond_init(&s_QWake, &attr);
    s_Run = 1;
    s_Lead = MidiQueued() ? LEAD_NS : 0;
    StartMidiQueue();
    s_Loop = pa_mainloop_new();
    pthread_create(&s_AudioThread, NULL, AudioThread, NULL);
    pthread_create(&s_MidiThread, NULL, MidiThread, NULL);
    s_Running = 1;
}

/* Both threads ended; a note still sounding gets its note-off. */
void StopClick(void)
{
    int64_t last;

    if (!s_Running)
        return;
    s_Run = 0;
    pa_mainloop_wakeup(s_Loop);
    pthread_join(s_AudioThread, NULL);
    pa_mainloop_free(s_Loop);
    s_Loop = NULL;
    pthread_mutex_lock(&s_QLock);
    pthread_cond_signal(&s_QWake);
    pthread_mutex_unlock(&s_QLock);
    pthread_join(s_MidiThread, NULL);
    pthread_cond_destroy(&s_QWake);
    s_Running = 0;
    StopMidiQueue(s_NoteOut || g_MidiOpen ? s_Off : 0);
    s_NoteOut = 0;
    /* a beat mixed ahead of the clock but never heard does not count */
    last = FrameTime(g_LastBeat);
    if (last > Now())
        last -= BeatNs(g_GridTempo);
    s_LastBeatNs = last;
}
