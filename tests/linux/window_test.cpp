// The native window as a user sees it: the table and title, every tempo
// gesture with the Windows program's edge cases, the keys, the sources.
#include <doctest.h>

#include "gtk.h"

#include <clocale>
#include <cstdlib>

static const char *kTable120 =
    "[ 2000.0000][ 1000.0000][  500.0000][  250.0000][  125.0000][   62.5000]"
    "[  666.6667][  333.3333][  166.6667][   83.3333]";

TEST_SUITE("gtk-window") {

TEST_CASE("the table and title at 12, 120 and 300, with a decimal point in a German desktop too")
{
    // what gtk_init takes from a German desktop: a comma in "%10.4f"
    REQUIRE(setlocale(LC_ALL, "de_DE.UTF-8"));
    Settings(NULL);
    OpenWindow();
    CHECK(Title() == "120 BPM - Tokvin 0.99");
    CHECK(Table() == kTable120);
    CHECK(Field() == "120");
    CHECK(Thumb() == 192);
    CHECK(Checked(g_hRadAudio));
    CHECK_FALSE(Checked(g_hRadBeep));
    CHECK_FALSE(gtk_widget_get_sensitive(g_hRadMidi));     // no sequencer here
    CHECK_FALSE(gtk_window_get_resizable(GTK_WINDOW(g_hDlg)));
    CHECK(gtk_window_get_focus(GTK_WINDOW(g_hDlg)) == gtk_widget_get_first_child(g_hTempoEdit));
    const struct { int tempo; const char *table; } rows[] = {
        {12, "[20000.0000][10000.0000][ 5000.0000][ 2500.0000][ 1250.0000][  625.0000]"
             "[ 6666.6667][ 3333.3333][ 1666.6667][  833.3333]"},
        {300, "[  800.0000][  400.0000][  200.0000][  100.0000][   50.0000][   25.0000]"
              "[  266.6667][  133.3333][   66.6667][   33.3333]"},
    };
    for (const auto &r : rows) {
        dtor(r.tempo, 1, 1);
        CHECK(Table() == r.table);
        CHECK(Title() == std::to_string(r.tempo) + " BPM - Tokvin 0.99");
    }
    CloseWindow();
    setlocale(LC_ALL, "C");
}

// Each gesture from a start tempo, as the Windows program takes it; the
// thumb always ends at 312 - tempo, the field as the gesture leaves it.
TEST_CASE("every tempo gesture, at the clamps too")
{
    enum { TYPE, ARROW, LINE, PAGE, DRAG, WHEEL };
    const struct { int from, how, arg, tempo; const char *field; } cases[] = {
        {120, TYPE, 500, 300, "500"},     {120, TYPE, 5, 12, "5"},
        {300, ARROW, 1, 300, "300"},      {12, ARROW, -1, 12, "12"},    {120, ARROW, 1, 121, "121"},
        {300, LINE, SB_LINEUP, 300, "300"}, {12, LINE, SB_LINEDOWN, 12, "12"},
        {120, PAGE, SB_PAGEUP, 132, "132"}, {120, PAGE, SB_PAGEDOWN, 108, "108"},
        {300, PAGE, SB_PAGEUP, 300, "300"},
        {120, DRAG, 12, 300, "300"},      {120, DRAG, 300, 12, "12"},   {120, DRAG, 200, 112, "112"},
        {300, WHEEL, 120, 300, "300"},    {120, WHEEL, 360, 123, "123"}, {12, WHEEL, -120, 12, "12"},
    };
    Settings(NULL);
    OpenWindow();
    for (const auto &c : cases) {
        CAPTURE(c.from);
        CAPTURE(c.how);
        CAPTURE(c.arg);
        dtor(c.from, 1, 1);
        switch (c.how) {
        case TYPE:  gtk_editable_set_text(GTK_EDITABLE(g_hTempoEdit), std::to_string(c.arg).c_str()); break;
        case ARROW: OnTempoArrow(c.arg); break;
        case LINE:
        case PAGE:  OnTempoScroll(c.arg, 0); break;
        case DRAG:  gtk_range_set_value(GTK_RANGE(g_hTrackTempo), TRACKSUM - c.arg); break;
        case WHEEL: OnTempoWheel(c.arg); break;
        }
        CHECK(g_Tempo == c.tempo);
        CHECK(Title() == std::to_string(c.tempo) + " BPM - Tokvin 0.99");
        CHECK(Field() == c.field);
        CHECK(Thumb() == TRACKSUM - c.tempo);
    }

    // typing 8 then 0: 12, then 80, the thumb along each time
    gtk_editable_set_text(GTK_EDITABLE(g_hTempoEdit), "8");
    CHECK((g_Tempo == 12 && Thumb() == 300));
    gtk_editable_set_text(GTK_EDITABLE(g_hTempoEdit), "80");
    CHECK((g_Tempo == 80 && Thumb() == 232));
    // cleared: nothing changes; pasted text without digits: 12, and it stays;
    // only the first 7 characters are read
    gtk_editable_set_text(GTK_EDITABLE(g_hTempoEdit), "");
    CHECK(g_Tempo == 80);
    gtk_editable_set_text(GTK_EDITABLE(g_hTempoEdit), "Tempo");
    CHECK((g_Tempo == 12 && Field() == "Tempo"));
    gtk_editable_set_text(GTK_EDITABLE(g_hTempoEdit), "0000099123");
    CHECK(g_Tempo == 99);

    // the wheel remainder: +60 +60 one step; +60 -120 none, then -60 one down
    dtor(120, 1, 1);
    const struct { int delta, tempo, wheel; } wheel[] = {
        {60, 120, 60}, {60, 121, 0}, {60, 121, 60}, {-120, 121, -60}, {-60, 120, 0}};
    for (const auto &w : wheel) {
        OnTempoWheel(w.delta);
        CHECK((g_Tempo == w.tempo && g_Wheel == w.wheel));
    }
    CloseWindow();
}

TEST_CASE("the sources check only what the program sets; two stored flags show two")
{
    Settings("[Tokvin]\nFlags=3\n");
    OpenWindow();
    // no sequencer: the stored MIDI source starts as Beep, MIDI greyed
    CHECK((g_UseBeep == 1 && g_UseMidi == 0));
    CHECK((Checked(g_hRadBeep) && !Checked(g_hRadMidi) && !Checked(g_hRadAudio)));
    g_UseMidi = 1;          // as where a sequencer is: both flags stored
    OnSourceAudio();
    CHECK((Checked(g_hRadAudio) && !Checked(g_hRadBeep) && !Checked(g_hRadMidi)));
    OnSourceBeep();
    OnSourceBeep();
    CHECK((g_UseBeep == 1 && Checked(g_hRadBeep) && !Checked(g_hRadAudio)));
    // activated as a screen reader or a mnemonic would: the mouse's way
    gtk_widget_activate(g_hRadAudio);
    CHECK((g_UseBeep == 0 && Checked(g_hRadAudio) && !Checked(g_hRadBeep)));
    gtk_widget_activate(g_hRadBeep);
    gtk_widget_activate(g_hRadBeep);
    CHECK((g_UseBeep == 1 && Checked(g_hRadBeep) && !Checked(g_hRadAudio)));
    CloseWindow();
    CHECK(ReadConf().find("Flags=1\n") != std::string::npos);
}

}
