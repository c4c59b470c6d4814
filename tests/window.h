// The real main window, created in-process from the program's own template
// and dialog procedure, plus helpers that send what a user's gesture sends.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>

#include "delay.h"
#include "resource.h"

// Puts every program variable back to its start value and removes the
// stored settings, as on a first run.
void FreshStart();

struct Window {
    HWND h = nullptr;

    Window();                    // FreshStart, then open the window
    explicit Window(bool keep);  // keep state and registry as they are
    ~Window();
    Window(const Window &) = delete;
    Window &operator=(const Window &) = delete;

    std::string text(int id) const;
    std::string title() const;
    int trackPos() const;
    bool checked(int id) const;
    bool enabled(int id) const;

    // the ten cells in table order, for comparing whole tables
    std::string table() const;

    void key(HWND target, UINT vk) const;            // key press on a control
    void scroll(int code, int pos = 0, HWND sender = g_hTrackTempo) const;
    void wheel(int delta) const;
    void upDown(int delta) const;                    // UDN_DELTAPOS from the up-down
    void type(const char *s) const;                  // replace the tempo field's text
    void command(int id) const;                      // WM_COMMAND as a control sends it
    void click(int id) const;                        // BM_CLICK on a button
    void close() const;                              // WM_CLOSE
};
