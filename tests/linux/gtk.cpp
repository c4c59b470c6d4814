// The native window for the tests, and the test runner: GTK set up on the
// test's display first.
#define DOCTEST_CONFIG_IMPLEMENT
#include <doctest.h>

#include "gtk.h"

#include <cstdlib>
#include <glib/gstdio.h>

std::string TestDir(const char *name)
{
    std::string dir = std::string(TEST_WORK) + "/" + name;
    gchar *cmd = g_strdup_printf("rm -rf '%s'", dir.c_str());
    (void)!system(cmd);
    g_free(cmd);
    g_mkdir_with_parents(dir.c_str(), 0700);
    return dir;
}

void Settings(const char *text)
{
    char path[MAXPATH];

    ConfPath(path, sizeof path);
    g_remove(path);
    if (text) {
        gchar *dir = g_path_get_dirname(path);
        g_mkdir_with_parents(dir, 0700);
        g_free(dir);
        g_file_set_contents(path, text, -1, NULL);
    }
}

std::string ReadConf(void)
{
    char   path[MAXPATH];
    gchar *text = NULL;

    ConfPath(path, sizeof path);
    std::string s = g_file_get_contents(path, &text, NULL, NULL) ? text : "";
    g_free(text);
    return s;
}

GtkWidget *OpenWindow(void)
{
    g_Tempo = 120;
    g_Wheel = 0;
    g_MidiChan = DFLT_MIDICHAN;
    g_MidiNote = DFLT_MIDINOTE;
    g_MidiVelo = DFLT_MIDIVELO;
    g_MidiDev = DFLT_MIDIDEV;
    g_UseBeep = g_UseMidi = g_ClickOn = 0;
    GtkWidget *w = InitializeApp(NULL);
    gtk_window_present(GTK_WINDOW(w));
    WaitFor([] { return gtk_widget_get_mapped(g_hDlg); });
    return w;
}

void CloseWindow(void)
{
    if (g_hBox)
        gtk_window_destroy(GTK_WINDOW(g_hBox));
    g_hBox = NULL;
    if (g_hDlg)
        gtk_window_close(GTK_WINDOW(g_hDlg));
    WaitFor([] { return g_hDlg == NULL; });
}

std::string Title(void)
{
    return gtk_window_get_title(GTK_WINDOW(g_hDlg));
}

std::string Table(void)
{
    std::string s;
    for (GtkWidget *cell : g_hCell)
        s += "[" + std::string(gtk_label_get_text(GTK_LABEL(cell))) + "]";
    return s;
}

std::string Field(void)
{
    return gtk_editable_get_text(GTK_EDITABLE(g_hTempoEdit));
}

int Thumb(void)
{
    // the scale's value is the tempo the thumb stands for
    return TRACKSUM - (int)gtk_range_get_value(GTK_RANGE(g_hTrackTempo));
}

bool Checked(GtkWidget *button)
{
    return gtk_check_button_get_active(GTK_CHECK_BUTTON(button));
}

int main(int argc, char **argv)
{
    // the settings and the Wine-based Tokvin's prefix live in the test's folders
    setenv("XDG_CONFIG_HOME", TestDir("config").c_str(), 1);
    setenv("XDG_DATA_HOME", TestDir("data").c_str(), 1);
    // no sound server of the machine's is asked, nor started
    setenv("PULSE_SERVER", ("unix:" + TestDir("no-server") + "/native").c_str(), 0);
    gtk_init();
    doctest::Context context(argc, argv);
    return context.run();
}
