/* A test double of the ALSA sequencer, for machines without one (no
   /dev/snd here). Preloaded into Tokvin (LD_PRELOAD), it answers exactly
   the sequencer calls Tokvin makes; everything else, the info records'
   getters and setters among them, is the real libasound. It logs every
   connection and note to FAKESEQ_LOG with the monotonic time in ns.

   FAKESEQ_PORTS  "client:port:client name:port name,..." the ports that
                  take output (unset: no sequencer at all)
   FAKESEQ_FAIL   "connect", "disconnect" or "send": that call fails

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

static void Log(const char *fmt, int a, int b, int c)
{
    const char *path = getenv("FAKESEQ_LOG");
    struct timespec ts;
    FILE *f;

    if (!path || !(f = fopen(path, "a")))
        return;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    fprintf(f, "%lld ", (long long)ts.tv_sec * 1000000000LL + ts.tv_nsec);
    fprintf(f, fmt, a, b, c);
    fputc('\n', f);
    fclose(f);
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

int snd_seq_connect_to(snd_seq_t *handle, int myport, int client, int port)
{
    (void)handle; (void)myport;
    return Connection("connect", -EBUSY, client, port);
}

int snd_seq_disconnect_to(snd_seq_t *handle, int myport, int client, int port)
{
    (void)handle; (void)myport;
    return Connection("disconnect", -EIO, client, port);
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
