/* A test double of the ALSA sequencer, for machines without one (no
   /dev/snd here). Preloaded into Tokvin (LD_PRELOAD), it answers exactly
   the sequencer calls Tokvin makes; everything else, the info records'
   getters and setters among them, is the real libasound. It logs every
   connection and note to FAKESEQ_LOG with the monotonic time in ns of the
   call, and a note put on the queue with its time on it, " @<ns>", in the
   same clock. The kernel's own delivery at that time is not the double's:
   where that begins, this ends.

   FAKESEQ_PORTS      "client:port:client name:port name,..." the ports
                      that take output (unset: no sequencer at all)
   FAKESEQ_CONNECTED  "client:port,..." connections from Tokvin's port that
                      are there before Tokvin asks, as the user makes them
   FAKESEQ_FAIL       "connect", "disconnect" or "send": that call fails

   fakeseq_port_exit(client, port), looked up by the test, makes the
   sequencer announce that a port has gone. */
#include <alsa/asoundlib.h>
#include <errno.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#define SELF 128

static int s_Handle;
static int s_Ports;                 /* ports Tokvin has made */
static int s_Wake[2] = { -1, -1 };  /* readable while an announcement waits */
static snd_seq_event_t s_Exit;
static int s_ExitPending;
static int s_Own[16], s_Owns;       /* Tokvin's own connections, client << 8 | port */
static long long s_QueueT0;         /* monotonic ns of the queue's start */

static long long Now(void)
{
    struct timespec ts;

    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (long long)ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

/* one line; at, where not 0, the time an event is queued for */
static void LogAt(long long at, const char *fmt, int a, int b, int c)
{
    const char *path = getenv("FAKESEQ_LOG");
    FILE *f;

    if (!path || !(f = fopen(path, "a")))
        return;
    fprintf(f, "%lld ", Now());
    fprintf(f, fmt, a, b, c);
    if (at)
        fprintf(f, " @%lld", at);
    fputc('\n', f);
    fclose(f);
}

static void Log(const char *fmt, int a, int b, int c)
{
    LogAt(0, fmt, a, b, c);
}

/* a connection from Tokvin's port that is there: the user's or its own */
static int Connected(int client, int port)
{
    const char *p = getenv("FAKESEQ_CONNECTED");
    int c, q, i;

    for (i = 0; i < s_Owns; i++)
        if (s_Own[i] == (client << 8 | port))
            return 1;
    while (p && *p) {
        if (sscanf(p, "%d:%d", &c, &q) == 2 && c == client && q == port)
            return 1;
        p = strchr(p, ',');
        p = p ? p + 1 : NULL;
    }
    return 0;
}

static int Fails(const char *what)
{
    const char *fail = getenv("FAKESEQ_FAIL");
    return fail && strcmp(fail, what) == 0;
}

/* The n-th port of the list, or 0: its client, port and names */
static int Port(int n, int *client, int *port, char *cname, char *pname)
{
    const char *p = getenv("FAKESEQ_PORTS");

    while (p && *p) {
        if (sscanf(p, "%d:%d:%63[^:]:%63[^,]", client, port, cname, pname) == 4 && n-- == 0)
            return 1;
        p = strchr(p, ',');
        p = p ? p + 1 : NULL;
    }
    return 0;
}

int snd_seq_open(snd_seq_t **handle, const char *name, int streams, int mode)
{
    (void)name; (void)streams; (void)mode;
    if (!getenv("FAKESEQ_PORTS"))
        return -ENOENT;
    *handle = (snd_seq_t *)&s_Handle;
    return 0;
}

int snd_seq_close(snd_seq_t *handle) { (void)handle; return 0; }
int snd_seq_nonblock(snd_seq_t *handle, int nonblock) { (void)handle; (void)nonblock; return 0; }

int snd_seq_connect_from(snd_seq_t *handle, int myport, int client, int port)
{
    (void)handle;
    Log("announcements from %d:%d to port %d", client, port, myport);
    return 0;
}

int snd_seq_poll_descriptors(snd_seq_t *handle, struct pollfd *pfds, unsigned int space, short events)
{
    (void)handle;
    if (space < 1 || (s_Wake[0] < 0 && pipe(s_Wake) < 0))
        return 0;
    pfds[0].fd = s_Wake[0];
    pfds[0].events = events;
    pfds[0].revents = 0;
    return 1;
}

int snd_seq_event_input(snd_seq_t *handle, snd_seq_event_t **ev)
{
    char c;

    (void)handle;
    if (!s_ExitPending)
        return -EAGAIN;
    (void)!read(s_Wake[0], &c, 1);
    s_ExitPending = 0;
    *ev = &s_Exit;
    return 1;
}

void fakeseq_port_exit(int client, int port)
{
    memset(&s_Exit, 0, sizeof s_Exit);
    s_Exit.type = SND_SEQ_EVENT_PORT_EXIT;
    s_Exit.data.addr.client = (unsigned char)client;
    s_Exit.data.addr.port = (unsigned char)port;
    s_ExitPending = 1;
    (void)!write(s_Wake[1], "x", 1);
}
int snd_seq_client_id(snd_seq_t *handle) { (void)handle; return SELF; }
int snd_seq_set_client_name(snd_seq_t *handle, const char *name)
{
    (void)handle;
    Log(strcmp(name, "Tokvin") == 0 ? "client Tokvin" : "client ?", 0, 0, 0);
    return 0;
}

int snd_seq_create_simple_port(snd_seq_t *handle, const char *name, unsigned caps, unsigned type)
{
    (void)handle; (void)name; (void)type;
    Log("port %d caps %x", s_Ports, (int)caps, 0);
    return s_Ports++;
}

/* the clients in order: the system's, the listed ones, Tokvin's own */
int snd_seq_query_next_client(snd_seq_t *handle, snd_seq_client_info_t *info)
{
    int after = snd_seq_client_info_get_client(info), best = 1 << 30, n, c, p;
    char cname[64], pname[64], name[64] = "";

    (void)handle;
    if (after < 0) {
        best = 0;
        strcpy(name, "System");
    }
    for (n = 0; Port(n, &c, &p, cname, pname); n++)
        if (c > after && c < best) {
            best = c;
            strcpy(name, cname);
        }
    if (after < SELF && SELF < best) {
        best = SELF;
        strcpy(name, "Tokvin");
    }
    if (best == 1 << 30)
        return -ENOENT;
    snd_seq_client_info_set_client(info, best);
    snd_seq_client_info_set_name(info, name);
    return 0;
}

int snd_seq_query_next_port(snd_seq_t *handle, snd_seq_port_info_t *info)
{
    /* port -1, "before the first", is kept in a byte, as the kernel takes it */
    int client = snd_seq_port_info_get_client(info), after = (signed char)snd_seq_port_info_get_port(info);
    int n, c, p, best = 1 << 30;
    char cname[64], pname[64], name[64] = "";

    (void)handle;
    for (n = 0; Port(n, &c, &p, cname, pname); n++)
        if (c == client && p > after && p < best) {
            best = p;
            strcpy(name, pname);
        }
    if (best == 1 << 30)
        return -ENOENT;
    snd_seq_port_info_set_port(info, best);
    snd_seq_port_info_set_name(info, name);
    snd_seq_port_info_set_capability(info, SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE);
    return 0;
}

/* "connect" or "disconnect": logged, or failing with 'err' when asked */
static int Connection(const char *what, int err, int client, int port)
{
    char fmt[32];

    if (Fails(what))
        return err;
    snprintf(fmt, sizeof fmt, "%s %%d:%%d", what);
    Log(fmt, client, port, 0);
    return 0;
}

/* the kernel refuses a connection that is there already */
int snd_seq_connect_to(snd_seq_t *handle, int myport, int client, int port)
{
    int rc;

    (void)handle; (void)myport;
    if (Connected(client, port))
        return -EBUSY;
    rc = Connection("connect", -EBUSY, client, port);
    if (rc == 0 && s_Owns < 16)
        s_Own[s_Owns++] = client << 8 | port;
    return rc;
}

int snd_seq_disconnect_to(snd_seq_t *handle, int myport, int client, int port)
{
    int i;

    (void)handle; (void)myport;
    for (i = 0; i < s_Owns; i++)
        if (s_Own[i] == (client << 8 | port))
            s_Own[i] = s_Own[--s_Owns];
    return Connection("disconnect", -EIO, client, port);
}

int snd_seq_get_port_subscription(snd_seq_t *handle, snd_seq_port_subscribe_t *sub)
{
    const snd_seq_addr_t *dest = snd_seq_port_subscribe_get_dest(sub);

    (void)handle;
    return Connected(dest->client, dest->port) ? 0 : -ENOENT;
}

int snd_seq_alloc_named_queue(snd_seq_t *handle, const char *name)
{
    (void)handle; (void)name;
    return 0;
}

int snd_seq_get_queue_timer(snd_seq_t *handle, int q, snd_seq_queue_timer_t *timer)
{
    (void)handle; (void)q; (void)timer;
    return 0;
}

int snd_seq_set_queue_timer(snd_seq_t *handle, int q, snd_seq_queue_timer_t *timer)
{
    snd_timer_id_t *id = (snd_timer_id_t *)snd_seq_queue_timer_get_id(timer);

    (void)handle; (void)q;
    Log("queue timer %d:%d", snd_timer_id_get_class(id), snd_timer_id_get_device(id), 0);
    return 0;
}

int snd_seq_control_queue(snd_seq_t *handle, int q, int type, int value, snd_seq_event_t *ev)
{
    (void)handle; (void)q; (void)value; (void)ev;
    if (type == SND_SEQ_EVENT_START)
        s_QueueT0 = Now();
    Log(type == SND_SEQ_EVENT_START ? "queue start" : type == SND_SEQ_EVENT_STOP ? "queue stop" : "queue %d",
        type, 0, 0);
    return 0;
}

int snd_seq_drain_output(snd_seq_t *handle) { (void)handle; return 0; }

/* the pending events taken back: all, or those of a tag */
int snd_seq_remove_events(snd_seq_t *handle, snd_seq_remove_events_t *rm)
{
    (void)handle;
    if (snd_seq_remove_events_get_condition(rm) & SND_SEQ_REMOVE_TAG_MATCH)
        Log("remove tag %d", snd_seq_remove_events_get_tag(rm), 0, 0);
    else
        Log("remove all", 0, 0, 0);
    return 0;
}

/* a note for the queue, at its real time from the queue's start */
int snd_seq_event_output(snd_seq_t *handle, snd_seq_event_t *ev)
{
    (void)handle;
    if (Fails("send"))
        return -EPIPE;
    if (ev->type != SND_SEQ_EVENT_NOTEON || ev->dest.client != SND_SEQ_ADDRESS_SUBSCRIBERS
        || (ev->flags & (SND_SEQ_TIME_STAMP_MASK | SND_SEQ_TIME_MODE_MASK)) != (SND_SEQ_TIME_STAMP_REAL | SND_SEQ_TIME_MODE_ABS))
        Log("other event %d", ev->type, 0, 0);
    else
        LogAt(s_QueueT0 + ev->time.time.tv_sec * 1000000000LL + ev->time.time.tv_nsec, "note %02x %02x %02x",
              0x90 | ev->data.note.channel, ev->data.note.note, ev->data.note.velocity);
    return 0;
}

int snd_seq_event_output_direct(snd_seq_t *handle, snd_seq_event_t *ev)
{
    (void)handle;
    if (Fails("send"))
        return -EPIPE;
    if (ev->type != SND_SEQ_EVENT_NOTEON || ev->dest.client != SND_SEQ_ADDRESS_SUBSCRIBERS)
        Log("other event %d", ev->type, 0, 0);
    else
        Log("note %02x %02x %02x", 0x90 | ev->data.note.channel, ev->data.note.note, ev->data.note.velocity);
    return 0;
}
