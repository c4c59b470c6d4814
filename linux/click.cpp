/* Tokvin for Linux - the click. While it runs, one stream to the desktop's
   sound server (PulseAudio's client API, which PipeWire serves too) is
   written from a thread of its own: silence, with every click mixed in at
   its frame (mixer.cpp). The MIDI notes go out from a second thread that
   sleeps to each note's time on the same grid, taken from the monotonic
   clock at the switch-on. The window hands the tempo and the source over
   through atomics; neither its thread nor a toolkit timer decides when a
   click sounds. */
#include <atomic>
#include <cerrno>
#include <ctime>
#include <pthread.h>
#include <pulse/simple.h>

#include "mixer.h"
#include "tokvin.h"

#define CHUNK       882         /* frames written at a time: 20 ms */
#define LATENCY_MS  50          /* the server's buffer: the first click heard within 250 ms */
#define NS          1000000000LL
#define NQUEUE      64

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
static uint32_t         s_On, s_Off;        /* the packed note messages of this run */
static int              s_NoteOut;          /* a note-on has gone out without its note-off */

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

/* from the mixer, on the stream's thread */
static void OnMixEvent(int kind, int64_t frame)
{
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

        if (s_QCount == 0) {
            pthread_cond_wait(&s_QWake, &s_QLock);
            continue;
        }
        due = AbsTime(s_QDue[s_QHead]);
        if (Now() < s_QDue[s_QHead]) {
            pthread_cond_timedwait(&s_QWake, &s_QLock, &due);
            continue;
        }
        msg = s_QMsg[s_QHead];
        s_QHead = (s_QHead + 1) % NQUEUE;
        s_QCount--;
        pthread_mutex_unlock(&s_QLock);
        SendMidi(msg);
        s_NoteOut = msg == s_On;
        pthread_mutex_lock(&s_QLock);
    }
    pthread_mutex_unlock(&s_QLock);
    return NULL;
}

/* No sound server, or a stream that failed: the click goes on silent, to
   the clock, so that MIDI keeps its grid. */
static pa_simple *OpenStream(void)
{
    pa_sample_spec format;
    pa_buffer_attr attr;

    format.format = PA_SAMPLE_S16LE;
    format.rate = MIX_RATE;
    format.channels = 2;
    attr.maxlength = (uint32_t)-1;
    attr.tlength = (uint32_t)pa_usec_to_bytes(LATENCY_MS * 1000, &format);
    attr.prebuf = (uint32_t)-1;
    attr.minreq = (uint32_t)pa_usec_to_bytes(20 * 1000, &format);
    attr.fragsize = (uint32_t)-1;
    return pa_simple_new(NULL, "Tokvin", PA_STREAM_PLAYBACK, NULL, "Klick", &format, NULL, &attr, NULL);
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

static void *AudioThread(void *arg)
{
    static short buf[CHUNK * 2];
    pa_simple   *stream = OpenStream();

    (void)arg;
    /* the grid starts once the stream is there, so that the first note is
       not late by the server's answer */
    s_T0 = Now();
    MixStart(FirstBeat(s_T0, s_StartTempo), s_StartTempo);
    while (s_Run) {
        MixFrames(buf, CHUNK, s_Tempo, s_Beep, s_Midi, s_Cut.exchange(0), OnMixEvent);
        if (stream && pa_simple_write(stream, buf, sizeof buf, NULL) < 0) {
            pa_simple_free(stream);
            stream = NULL;
        }
        if (!stream) {
            /* as far ahead of the clock as a stream would be */
            struct timespec until = AbsTime(FrameTime(g_MixFrame) - LATENCY_MS * 1000000LL);
            while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, NULL) == EINTR)
                ;
        }
    }
    if (stream)
        pa_simple_free(stream);
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
    pthread_join(s_AudioThread, NULL);
    pthread_mutex_lock(&s_QLock);
    pthread_cond_signal(&s_QWake);
    pthread_mutex_unlock(&s_QLock);
    pthread_join(s_MidiThread, NULL);
    pthread_cond_destroy(&s_QWake);
    s_Running = 0;
    if (s_NoteOut || g_MidiOpen)
        SendMidi(s_Off);
    s_NoteOut = 0;
    /* a beat mixed ahead of the clock but never heard does not count */
    last = FrameTime(g_LastBeat);
    if (last > Now())
        last -= BeatNs(g_GridTempo);
    s_LastBeatNs = last;
}
