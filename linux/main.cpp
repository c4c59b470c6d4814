/* Tokvin for Linux - the program's entry: the command line, the
   application and the ways a session ends it.

   tokvin [--midi-device N|none] [--midi-channel N] [--midi-note N] [--midi-velocity N]
   tokvin --midi-devices */
#include <cstdio>
#include <cstring>
#include <glib-unix.h>
#include <signal.h>

#include "tokvin.h"

static int Usage(void)
{
    fprintf(stderr,
            "usage: tokvin [--midi-device N|none] [--midi-channel N] [--midi-note N] [--midi-velocity N]\n"
            "       tokvin --midi-devices     (the MIDI output devices and their numbers)\n"
            "  N counted from 0: device as --midi-devices lists it, channel 0..15 (9: channel 10),\n"
            "  note 0..127, velocity 1..127; device none: Tokvin connects nothing itself\n");
    return 2;
}

/* SIGTERM, SIGHUP, SIGINT: the click stopped and the settings stored, as at
   a close; then Tokvin ends with 0. */
static gboolean OnQuitSignal(gpointer app)
{
    if (g_hDlg) {
        StopAndSave();
        gtk_window_destroy(GTK_WINDOW(g_hDlg));
    }
    g_application_quit(G_APPLICATION(app));
    return G_SOURCE_CONTINUE;
}

/* The session manager asks before the session ends */
static void OnQueryEnd(GtkApplication *app, gpointer data)
{
    (void)app;
    (void)data;
    if (g_hDlg)
        StopAndSave();
}

static void OnActivate(GtkApplication *app, gpointer data)
{
    (void)data;
    gtk_window_present(GTK_WINDOW(InitializeApp(app)));
}

int main(int argc, char **argv)
{
    static const char *const option[] = { "--midi-device", "--midi-channel", "--midi-note", "--midi-velocity" };
    static const char *const name[] = { "MIDIDevice", "MIDIChannel", "MIDINote", "MIDIVelocity" };
    GtkApplication *app;
    int             i, k, rc;

    for (i = 1; i < argc; i++) {
        const char *arg = argv[i], *value = NULL;
        guint64     number;

        if (strcmp(arg, "--midi-devices") == 0 && argc == 2)
            return ListMidiDevices();
        for (k = 0; k < 4; k++) {
            size_t len = strlen(option[k]);
            if (strncmp(arg, option[k], len) == 0 && arg[len] == '=')
                value = arg + len + 1;
            else if (strcmp(arg, option[k]) == 0 && i + 1 < argc)
                value = argv[++i];
            if (value)
                break;
        }
        if (k == 0 && value && strcmp(value, MIDINONE) == 0)
            number = 0;
        else if (!value || !value[0] || strspn(value, "0123456789") != strlen(value)
                 || !g_ascii_string_to_unsigned(value, 10, 0, UINT32_MAX, &number, NULL))
            return Usage();
        if (!(k == 0 ? StoreMidiDevice(value) : StoreSetting(name[k], (uint32_t)number))) {
            fprintf(stderr, "tokvin: %s could not be stored\n", name[k]);
            return 1;
        }
        /* a Tokvin still open writes its own value back when it is closed */
        if (k == 0 && g_MidiDevName[0] && !MidiNone())
            printf("Stored %s=%s, the port \"%s\" (with no other Tokvin open, it stays)\n",
                   name[k], value, g_MidiDevName);
        else
            printf("Stored %s=%s (with no other Tokvin open, it stays)\n", name[k], value);
    }

    /* A window of text and a few controls draws as fast with cairo as with
       OpenGL, and starts without setting up a GL context first: with the
       software OpenGL of a machine without a graphics driver that alone
       takes a third of a second. The user's own choice stays. GTK 4.16 and
       later set OpenGL up at the start whatever renders, and Mesa then
       writes a shader cache of some 100 files into a new user's home:
       GDK_DISABLE spares that (earlier GTKs neither know it nor need it). */
    if (!g_getenv("GSK_RENDERER")) {
        g_setenv("GSK_RENDERER", "cairo", TRUE);
        g_setenv("GDK_DISABLE", "gl", FALSE);
    }

    /* two starts give two windows, as on Windows */
    app = gtk_application_new("org.tokvin.Tokvin", G_APPLICATION_NON_UNIQUE);
    g_object_set(app, "register-session", TRUE, NULL);
    g_signal_connect(app, "activate", G_CALLBACK(OnActivate), NULL);
    g_signal_connect(app, "query-end", G_CALLBACK(OnQueryEnd), NULL);
    g_unix_signal_add(SIGTERM, OnQuitSignal, app);
    g_unix_signal_add(SIGHUP, OnQuitSignal, app);
    g_unix_signal_add(SIGINT, OnQuitSignal, app);
    rc = g_application_run(G_APPLICATION(app), 1, argv);
    StopClick();
    ExitMidi();
    g_object_unref(app);
    return rc;
}
