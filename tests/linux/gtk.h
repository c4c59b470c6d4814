// The native edition's window for the tests: built by the program itself in
// this process, on the test's X display, with the settings in a folder of
// the test's own. What a check reads is what GTK shows.
#ifndef TOKVIN_TEST_GTK_H
#define TOKVIN_TEST_GTK_H

#include <string>

#include "tokvin.h"

// Runs GTK until cond() holds or the seconds pass; returns cond().
template <class F> bool WaitFor(F cond, double seconds = 10)
{
    gint64 end = g_get_monotonic_time() + (gint64)(seconds * 1e6);
    while (!cond() && g_get_monotonic_time() < end)
        if (!g_main_context_iteration(NULL, FALSE))
            g_usleep(1000);
    return cond();
}

std::string TestDir(const char *name);  // a fresh folder under the build's
void        Settings(const char *text); // tokvin.conf as given (NULL: none)
std::string ReadConf(void);
GtkWidget  *OpenWindow(void);           // the program's start, with defaults first
void        CloseWindow(void);          // as the close button does
std::string Title(void);
std::string Table(void);                // "[ 2000.0000]..."
std::string Field(void);
int         Thumb(void);
bool        Checked(GtkWidget *button);

#endif
