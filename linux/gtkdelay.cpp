/* Tokvin for Linux - delay times and metronome for musicians.
   Main module on GTK 4: program state, the window and its event routing,
   the delay table and tempo input, the click switch and its sound source,
   and the help. The window is the Windows program's dialog, laid out by
   GTK; every gesture ends where the Windows program's does. */
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "tokvin.h"

/* ---------------------------------------------------------------------
   Program state
   --------------------------------------------------------------------- */

int        g_Tempo    = 120;
int        g_Wheel    = 0;
unsigned   g_Tick     = 500;
uint32_t   g_MidiChan = DFLT_MIDICHAN;
uint32_t   g_MidiNote = DFLT_MIDINOTE;
uint32_t   g_MidiVelo = DFLT_MIDIVELO;
uint32_t   g_MidiDev  = DFLT_MIDIDEV;
char       g_MidiDevName[128];
int        g_MidiOpen = 0;
int        g_ClickOn  = 0;
int        g_UseBeep  = 0;
int        g_UseMidi  = 0;
GtkWidget *g_hDlg;
GtkWidget *g_hTempoEdit;
GtkWidget *g_hTrackTempo;
GtkWidget *g_hClick;
GtkWidget *g_hRadAudio;
GtkWidget *g_hRadBeep;
GtkWidget *g_hRadMidi;
GtkWidget *g_hCell[NCELLS];
GtkWidget *g_hBox;

static int        s_SettingThumb;  /* the program moves the trackbar: no gesture */
static int        s_SettingCheck;  /* the program sets a source's mark */
static GtkWidget *s_hTicks;        /* the trackbar's marks */

/* ---------------------------------------------------------------------
   What a screen reader is told
   --------------------------------------------------------------------- */

/* The name a screen reader says for a control */
static void SayAs(GtkWidget *widget, const char *name)
{
    gtk_accessible_update_property(GTK_ACCESSIBLE(widget), GTK_ACCESSIBLE_PROPERTY_LABEL, name, -1);
}

/* A widget that only draws, or says what another already says: kept out
   of the accessible tree (else GTK names it after its class). The role is
   fixed when a widget is made. */
static GtkWidget *Unsaid(GType type)
{
    return GTK_WIDGET(g_object_new(type, "accessible-role", GTK_ACCESSIBLE_ROLE_PRESENTATION, NULL));
}

static void OnPartMapped(GtkWidget *part, gpointer data)
{
    (void)data;
    gtk_accessible_update_state(GTK_ACCESSIBLE(part), GTK_ACCESSIBLE_STATE_HIDDEN, TRUE, -1);
}

/* The same for a part that GTK makes: hidden again whenever it is shown,
   since newer GTK says every shown widget is there */
static void UnsaidPart(GtkWidget *part)
{
    OnPartMapped(part, NULL);
    g_signal_connect(part, "map", G_CALLBACK(OnPartMapped), NULL);
}

/* ---------------------------------------------------------------------
   Message box
   --------------------------------------------------------------------- */

static void OnBoxResponse(GtkDialog *box, int response, gpointer data)
{
    (void)response;
    (void)data;
    gtk_window_destroy(GTK_WINDOW(box));
    g_hBox = NULL;
}

/* A warning with one OK button, over the window; one at a time. */
void ShowBox(const char *caption, const char *text)
{
    if (g_hBox)
        return;
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS        /* GtkAlertDialog is GTK 4.10 and later */
    g_hBox = gtk_message_dialog_new(g_hDlg ? GTK_WINDOW(g_hDlg) : NULL,
                                    (GtkDialogFlags)(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT),
                                    GTK_MESSAGE_WARNING, GTK_BUTTONS_OK, "%s", text);
    G_GNUC_END_IGNORE_DEPRECATIONS
    gtk_window_set_title(GTK_WINDOW(g_hBox), caption);
    g_signal_connect(g_hBox, "response", G_CALLBACK(OnBoxResponse), NULL);
    gtk_window_present(GTK_WINDOW(g_hBox));
}

/* ---------------------------------------------------------------------
   Delay table
   --------------------------------------------------------------------- */

/* The scale runs inverted, 300 at the top, and its value is the tempo the
   thumb stands for, which is what a screen reader tells; the program and
   its gestures count in trackbar positions, TRACKSUM - tempo. */
void SetThumb(int position)
{
    s_SettingThumb++;
    gtk_range_set_value(GTK_RANGE(g_hTrackTempo), TRACKSUM - position);
    s_SettingThumb--;
}

/* A cell's spoken name holds its row: "1/4 Triole: 333,3333 ms". The
   decimal comma is read out as "Komma" by a German voice; the cell itself
   shows the table's point. */
static void SayCell(int i, const char *value)
{
    static const char *const row[NCELLS] = { "1/1 Note", "1/2 Note", "1/4 Note", "1/8 Note",
                                             "1/16 Note", "1/32 Note", "1/2 Triole", "1/4 Triole",
                                             "1/8 Triole", "1/16 Triole" };
    char  name[48];
    char *point;

    while (*value == ' ')
        value++;
    FormatText(name, sizeof name, "%s: %s ms", row[i], value);
    if ((point = strchr(name + strlen(row[i]), '.')) != NULL)
        *point = ',';
    SayAs(g_hCell[i], name);
}

void dtor(int tempo, int settext, int setslider)
{
    char   text[8];
    char   title[TITLESIZE];
    double q;
    int    i;

    tempo = ClampTempo(tempo);
    g_Tempo = tempo;
    q = GetDelay(tempo);
    g_Tick = TickOf(tempo);
    ClickState();

    if (settext) {
        /* raises "changed" at once, as EN_CHANGE does, unless the text
           stays the same: OnTempoEdit then brings the trackbar along */
        FormatText(text, sizeof text, "%d", tempo);
        gtk_editable_set_text(GTK_EDITABLE(g_hTempoEdit), text);
    }
    /* with the echo or without it, the trackbar ends at the tempo */
    if (settext || setslider)
        SetThumb(TRACKSUM - tempo);

    for (i = 0; i < NCELLS; i++) {
        const char *value = StrCalc(CellValue(q, i));

        /* the label names itself after its text: the row's name after it */
        gtk_label_set_text(GTK_LABEL(g_hCell[i]), value);
        SayCell(i, value);
    }

    TitleText(title, sizeof title, tempo);
    gtk_window_set_title(GTK_WINDOW(g_hDlg), title);
}

/* ---------------------------------------------------------------------
   Tempo input
   --------------------------------------------------------------------- */

void OnTempoScroll(int code, int position)
{
    switch (code) {
    case SB_LINEUP:     g_Tempo += 1;                   break;
    case SB_LINEDOWN:   g_Tempo -= 1;                   break;
    case SB_PAGEUP:     g_Tempo += PAGEVAL;             break;
    case SB_PAGEDOWN:   g_Tempo -= PAGEVAL;             break;
    case SB_THUMBTRACK: g_Tempo = TRACKSUM - position;  break;
    default:            return;
    }
    dtor(g_Tempo, 1, 0);
}

void OnTempoWheel(int delta)
{
    g_Tempo += WheelNotches(&g_Wheel, delta);
    dtor(g_Tempo, 1, 0);
}

/* The arrows beside the field, and Up/Down in it */
void OnTempoArrow(int delta)
{
    g_Tempo += delta;
    dtor(g_Tempo, 1, 1);
}

void OnTempoEdit(void)
{
    char text[8];

    /* as much as the Windows program's 8-byte buffer holds */
    g_strlcpy(text, gtk_editable_get_text(GTK_EDITABLE(g_hTempoEdit)), sizeof text);
    if (text[0] == '\0')
        return;
    dtor(atoi(text), 0, 1);
}

static void OnTempoChanged(GtkEditable *edit, gpointer data)
{
    (void)edit;
    (void)data;
    OnTempoEdit();
}

/* The field takes digits from the keyboard; a paste is taken as it is. */
static gboolean OnTempoKey(GtkEventControllerKey *key, guint keyval, guint code,
                           GdkModifierType state, gpointer data)
{
    gunichar ch = gdk_keyval_to_unicode(keyval);

    (void)key;
    (void)code;
    (void)data;
    if (keyval == GDK_KEY_Up || keyval == GDK_KEY_KP_Up) {
        OnTempoArrow(1);
        return TRUE;
    }
    if (keyval == GDK_KEY_Down || keyval == GDK_KEY_KP_Down) {
        OnTempoArrow(-1);
        return TRUE;
    }
    if (state & (GDK_CONTROL_MASK | GDK_ALT_MASK | GDK_SUPER_MASK))
        return FALSE;
    return ch && g_unichar_isprint(ch) && !(ch >= '0' && ch <= '9');
}

static void OnArrowUp(GtkButton *button, gpointer data)
{
    (void)button;
    (void)data;
    OnTempoArrow(1);
}

static void OnArrowDown(GtkButton *button, gpointer data)
{
    (void)button;
    (void)data;
    OnTempoArrow(-1);
}

/* A drag of the thumb, or a screen reader setting the value; what the
   program sets is no gesture. */
static void OnThumbMoved(GtkRange *range, gpointer data)
{
    (void)data;
    if (!s_SettingThumb)
        OnTempoScroll(SB_THUMBTRACK, TRACKSUM - (int)lround(gtk_range_get_value(range)));
}

/* The trackbar's keys, as the Windows trackbar has them. Home and End move
   the thumb only; it goes back to its place at the next tempo change. */
static gboolean OnTrackKey(GtkEventControllerKey *key, guint keyval, guint code,
                           GdkModifierType state, gpointer data)
{
    (void)key;
    (void)code;
    (void)state;
    (void)data;
    switch (keyval) {
    case GDK_KEY_Up:    case GDK_KEY_KP_Up:    case GDK_KEY_Left:  case GDK_KEY_KP_Left:
        OnTempoScroll(SB_LINEUP, 0);
        return TRUE;
    case GDK_KEY_Down:  case GDK_KEY_KP_Down:  case GDK_KEY_Right: case GDK_KEY_KP_Right:
        OnTempoScroll(SB_LINEDOWN, 0);
        return TRUE;
    case GDK_KEY_Page_Up:   case GDK_KEY_KP_Page_Up:
        OnTempoScroll(SB_PAGEUP, 0);
        return TRUE;
    case GDK_KEY_Page_Down: case GDK_KEY_KP_Page_Down:
        OnTempoScroll(SB_PAGEDOWN, 0);
        return TRUE;
    case GDK_KEY_Home:  case GDK_KEY_KP_Home:
        SetThumb(MINTEMPO);
        return TRUE;
    case GDK_KEY_End:   case GDK_KEY_KP_End:
        SetThumb(MAXTEMPO);
        return TRUE;
    default:
        return FALSE;
    }
}

/* The scale's part of the given CSS name ("trough", "slider") */
static GtkWidget *ScalePart(GtkWidget *widget, const char *name)
{
    GtkWidget *child, *found;

    for (child = gtk_widget_get_first_child(widget); child; child = gtk_widget_get_next_sibling(child)) {
        if (strcmp(gtk_widget_get_css_name(child), name) == 0)
            return child;
        if ((found = ScalePart(child, name)) != NULL)
            return found;
    }
    return NULL;
}

/* A click beside the thumb pages by 12, as on the Windows trackbar (GTK's
   scale would jump there); a click on the thumb starts GTK's drag. */
static void OnTrackPress(GtkGestureClick *gesture, int n, double x, double y, gpointer data)
{
    GtkWidget      *slider = ScalePart(g_hTrackTempo, "slider");
    graphene_rect_t rc;

    (void)n;
    (void)x;
    (void)data;
    gtk_widget_grab_focus(g_hTrackTempo);
    if (!slider || !gtk_widget_compute_bounds(slider, g_hTrackTempo, &rc))
        return;
    if (y >= rc.origin.y && y < rc.origin.y + rc.size.height)
        return;
    gtk_gesture_set_state(GTK_GESTURE(gesture), GTK_EVENT_SEQUENCE_CLAIMED);
    OnTempoScroll(y < rc.origin.y ? SB_PAGEUP : SB_PAGEDOWN, 0);
}

/* The marks, every 18 from the top, drawn beside the scale: GTK's own
   marks would pull the thumb towards them. */
static void DrawTicks(GtkDrawingArea *area, cairo_t *cr, int width, int height, gpointer data)
{
    GtkWidget      *trough = ScalePart(g_hTrackTempo, "trough");
    GtkWidget      *slider = ScalePart(g_hTrackTempo, "slider");
    graphene_rect_t tr, sl;
    GdkRGBA         color;
    double          top, span;
    int             v;

    (void)height;
    (void)data;
    if (!trough || !slider || !gtk_widget_compute_bounds(trough, GTK_WIDGET(area), &tr)
        || !gtk_widget_compute_bounds(slider, GTK_WIDGET(area), &sl))
        return;
    /* the thumb's centre runs from the trough's top to its bottom, less
       half a thumb at each end */
    top = tr.origin.y + sl.size.height / 2;
    span = tr.size.height - sl.size.height;
#if GTK_CHECK_VERSION(4, 10, 0)
    gtk_widget_get_color(GTK_WIDGET(area), &color);
#else
    gtk_style_context_get_color(gtk_widget_get_style_context(GTK_WIDGET(area)), &color);
#endif
    gdk_cairo_set_source_rgba(cr, &color);
    cairo_set_line_width(cr, 1);
    for (v = MINTEMPO; v <= MAXTEMPO; v += TRACKTICFREQ) {
        double y = floor(top + span * (v - MINTEMPO) / (MAXTEMPO - MINTEMPO)) + 0.5;
        cairo_move_to(cr, 0, y);
        cairo_line_to(cr, width * 0.6, y);
    }
    cairo_stroke(cr);
}

static gboolean OnWheel(GtkEventControllerScroll *scroll, double dx, double dy, gpointer data)
{
    (void)scroll;
    (void)dx;
    (void)data;
    /* one notch is 1.0 here and WHEELSTEP on Windows, away from the user
       negative here and positive there */
    OnTempoWheel((int)lround(-dy * WHEELSTEP));
    return TRUE;
}

/* ---------------------------------------------------------------------
   Click switch and sound source
   --------------------------------------------------------------------- */

static void SetClick(void)
{
    if (g_ClickOn) {
        if (g_UseMidi)
            OpenMidi(g_MidiDev);
        StartClick();
        return;
    }
    StopClick();
    CloseMidi();
}

void OnClickSwitch(void)
{
    int on = gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(g_hClick));

    if (on == g_ClickOn)
        return;
    g_ClickOn = on;
    g_Tick = TickOf(g_Tempo);
    SetClick();
}

static void OnClickToggled(GtkToggleButton *button, gpointer data)
{
    (void)button;
    (void)data;
    OnClickSwitch();
}

static void SetCheck(GtkWidget *button, int checked)
{
    s_SettingCheck++;
    gtk_check_button_set_active(GTK_CHECK_BUTTON(button), checked);
    s_SettingCheck--;
}

static void CheckSource(GtkWidget *off1, GtkWidget *off2, GtkWidget *on)
{
    SetCheck(off1, 0);
    SetCheck(off2, 0);
    SetCheck(on, 1);
}

void OnSourceAudio(void)
{
    if (!g_UseBeep && !g_UseMidi)
        return;
    g_UseMidi = 0;
    g_UseBeep = 0;
    ClickState();
    CheckSource(g_hRadBeep, g_hRadMidi, g_hRadAudio);
}

void OnSourceBeep(void)
{
    if (g_UseBeep)
        return;
    g_UseBeep = 1;
    g_UseMidi = 0;
    ClickState();
    CutSample();
    CheckSource(g_hRadAudio, g_hRadMidi, g_hRadBeep);
}

void OnSourceMidi(void)
{
    if (g_UseMidi)
        return;
    /* the device is taken while MIDI is the source and the click runs */
    if (g_ClickOn && !g_MidiOpen)
        OpenMidi(g_MidiDev);
    g_UseBeep = 0;
    g_UseMidi = 1;
    ClickState();
    CutSample();
    CheckSource(g_hRadAudio, g_hRadBeep, g_hRadMidi);
}

/* The source buttons check nothing by themselves: a click is reported, and
   the handler sets the marks. */
static void OnSourcePress(GtkGestureClick *gesture, int n, double x, double y, gpointer data)
{
    (void)n;
    (void)x;
    (void)y;
    (void)data;
    gtk_gesture_set_state(GTK_GESTURE(gesture), GTK_EVENT_SEQUENCE_CLAIMED);
}

static void OnSourceClicked(GtkWidget *button)
{
    if (button == g_hRadAudio)
        OnSourceAudio();
    else if (button == g_hRadBeep)
        OnSourceBeep();
    else
        OnSourceMidi();
}

static void OnSourceRelease(GtkGestureClick *gesture, int n, double x, double y, gpointer data)
{
    GtkWidget *button = gtk_event_controller_get_widget(GTK_EVENT_CONTROLLER(gesture));

    (void)n;
    (void)data;
    if (gtk_widget_contains(button, x, y))
        OnSourceClicked(button);
}

/* A source activated otherwise than by the mouse (a screen reader's click
   action): GTK has checked it by itself. The mark goes back, and the click
   takes the mouse's way. */
static void OnSourceToggled(GtkCheckButton *button, gpointer data)
{
    (void)data;
    if (s_SettingCheck)
        return;
    SetCheck(GTK_WIDGET(button), !gtk_check_button_get_active(button));
    OnSourceClicked(GTK_WIDGET(button));
}

/* ---------------------------------------------------------------------
   Help
   --------------------------------------------------------------------- */

/* The help beside the program in the build, or in its data folder when
   installed (bin/../share/tokvin). Returns 0 where there is none. */
int HelpPath(char *path, size_t size)
{
    static const char *const where[] = { "help", "../share/tokvin" };
    char   exe[MAXPATH];
    char  *dir;
    size_t i;
    ssize_t len = readlink("/proc/self/exe", exe, sizeof exe - 1);

    if (len <= 0)
        return 0;
    exe[len] = '\0';
    dir = g_path_get_dirname(exe);
    for (i = 0; i < G_N_ELEMENTS(where); i++) {
        FormatText(path, size, "%s/%s/%s", dir, where[i], HELPFILE);
        if (g_file_test(path, G_FILE_TEST_IS_REGULAR))
            break;
    }
    g_free(dir);
    return i < G_N_ELEMENTS(where);
}

static void HelpMissing(void)
{
    char msg[512];

    FormatText(msg, sizeof msg, "Die Hilfedatei %s wurde nicht gefunden!", HELPFILE);
    ShowBox("Hilfe aufrufen", msg);
}

static void OnHelpShown(GObject *window, GAsyncResult *result, gpointer data)
{
    (void)data;
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS        /* GtkUriLauncher is GTK 4.10 and later */
    if (!gtk_show_uri_full_finish(GTK_WINDOW(window), result, NULL))
        HelpMissing();
    G_GNUC_END_IGNORE_DEPRECATIONS
}

/* The help in the desktop's browser */
void OpenHelpFileX(void)
{
    char   path[MAXPATH];
    gchar *uri;

    if (!HelpPath(path, sizeof path) || (uri = g_filename_to_uri(path, NULL, NULL)) == NULL) {
        HelpMissing();
        return;
    }
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    gtk_show_uri_full(GTK_WINDOW(g_hDlg), uri, GDK_CURRENT_TIME, NULL, OnHelpShown, NULL);
    G_GNUC_END_IGNORE_DEPRECATIONS
    g_free(uri);
}

/* ---------------------------------------------------------------------
   Start-up and window
   --------------------------------------------------------------------- */

/* What every end of Tokvin does while the window is still there: the click
   off, with its last note ended and the device given back, the settings
   stored. */
void StopAndSave(void)
{
    g_ClickOn = 0;
    SetClick();
    if (g_hClick)
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(g_hClick), FALSE);
    SaveRecentData();
}

static gboolean OnCloseRequest(GtkWindow *window, gpointer data)
{
    (void)window;
    (void)data;
    StopAndSave();
    return FALSE;
}

static void OnDestroy(GtkWidget *window, gpointer data)
{
    (void)window;
    (void)data;
    g_hDlg = NULL;
}

/* Keys of the whole window: Tab between the field and the switch only,
   Enter and Esc change nothing (GTK would toggle the switch on Enter), F1
   opens the help. */
static gboolean OnWindowKey(GtkEventControllerKey *key, guint keyval, guint code,
                            GdkModifierType state, gpointer data)
{
    (void)key;
    (void)code;
    (void)data;
    switch (keyval) {
    case GDK_KEY_Tab: case GDK_KEY_KP_Tab: case GDK_KEY_ISO_Left_Tab:
        if (state & (GDK_CONTROL_MASK | GDK_ALT_MASK))
            return FALSE;
        if (gtk_widget_has_focus(g_hClick))
            gtk_widget_grab_focus(g_hTempoEdit);
        else
            gtk_widget_grab_focus(g_hClick);
        return TRUE;
    case GDK_KEY_Return: case GDK_KEY_KP_Enter: case GDK_KEY_ISO_Enter: case GDK_KEY_Escape:
        return TRUE;
    case GDK_KEY_F1:
        OpenHelpFileX();
        return TRUE;
    default:
        return FALSE;
    }
}

static GtkWidget *Group(const char *title, GtkWidget *child)
{
    GtkWidget *frame = gtk_frame_new(NULL);
    GtkWidget *caption = Unsaid(GTK_TYPE_LABEL);

    /* the group is told by its caption once: the frame carries it, not
       the caption's label nor the contents as well */
    gtk_label_set_text(GTK_LABEL(caption), title);
    gtk_frame_set_label_widget(GTK_FRAME(frame), caption);
    gtk_frame_set_child(GTK_FRAME(frame), child);
    SayAs(frame, title);
    gtk_accessible_reset_relation(GTK_ACCESSIBLE(child), GTK_ACCESSIBLE_RELATION_LABELLED_BY);
    return frame;
}

static GtkWidget *Label(const char *text, float xalign)
{
    GtkWidget *label = gtk_label_new(text);

    gtk_label_set_xalign(GTK_LABEL(label), xalign);
    return label;
}

static void Margins(GtkWidget *widget, int margin)
{
    gtk_widget_set_margin_start(widget, margin);
    gtk_widget_set_margin_end(widget, margin);
    gtk_widget_set_margin_top(widget, margin);
    gtk_widget_set_margin_bottom(widget, margin);
}

/* "Delay (ms)": six straight rows, a gap, four triplet rows */
static GtkWidget *MakeTable(void)
{
    static const char *const label[NCELLS] = { "1/1", "1/2", "1/4", "1/8", "1/16", "1/32",
                                               "1/2", "1/4", "1/8", "1/16" };
    GtkWidget     *grid = gtk_grid_new();
    PangoAttrList *figures = pango_attr_list_new();
    GtkWidget     *gap;
    int            i;

    /* figures of one width: the decimal points line up */
    pango_attr_list_insert(figures, pango_attr_font_features_new("tnum 1"));
    gtk_grid_set_column_spacing(GTK_GRID(grid), 8);
    gtk_grid_set_row_spacing(GTK_GRID(grid), 2);
    Margins(grid, 6);
    for (i = 0; i < NCELLS; i++) {
        int row = i < 6 ? i : i + 1;

        if (i == 0 || i == 6)
            gtk_grid_attach(GTK_GRID(grid), Label(i == 0 ? "Note" : "Triole", 0), 0, row, 1, 1);
        gtk_grid_attach(GTK_GRID(grid), Label(label[i], 0), 1, row, 1, 1);
        g_hCell[i] = Label("", 1);
        gtk_label_set_attributes(GTK_LABEL(g_hCell[i]), figures);
        gtk_label_set_width_chars(GTK_LABEL(g_hCell[i]), 10);
        /* the sunken frame is the label's own border: a frame around it
           would be one more object for a screen reader */
        gtk_widget_add_css_class(g_hCell[i], "frame");
        gtk_grid_attach(GTK_GRID(grid), g_hCell[i], 2, row, 1, 1);
    }
    gap = Unsaid(GTK_TYPE_LABEL);
    gtk_grid_attach(GTK_GRID(grid), gap, 0, 6, 1, 1);
    pango_attr_list_unref(figures);
    return grid;
}

/* "Tempo (BPM)": the field with its arrows, the trackbar below */
static GtkWidget *MakeTempo(void)
{
    GtkWidget          *box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 6);
    GtkWidget          *field = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 0);
    GtkWidget          *arrows = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    GtkWidget          *track = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 0);
    GtkWidget          *up = gtk_button_new_from_icon_name("pan-up-symbolic");
    GtkWidget          *down = gtk_button_new_from_icon_name("pan-down-symbolic");
    GtkEventController *key;
    GtkGesture         *press;

    Margins(box, 6);
    g_hTempoEdit = gtk_entry_new();
    SayAs(g_hTempoEdit, "Tempo (BPM)");
    gtk_editable_set_width_chars(GTK_EDITABLE(g_hTempoEdit), 4);
    gtk_editable_set_max_width_chars(GTK_EDITABLE(g_hTempoEdit), 4);
    gtk_entry_set_input_purpose(GTK_ENTRY(g_hTempoEdit), GTK_INPUT_PURPOSE_DIGITS);
    key = gtk_event_controller_key_new();
    gtk_event_controller_set_propagation_phase(key, GTK_PHASE_CAPTURE);
    g_signal_connect(key, "key-pressed", G_CALLBACK(OnTempoKey), NULL);
    gtk_widget_add_controller(g_hTempoEdit, key);
    g_signal_connect(g_hTempoEdit, "changed", G_CALLBACK(OnTempoChanged), NULL);

    /* the arrows sit at the field's right edge and are no tab stops */
    gtk_widget_add_css_class(arrows, "linked");
    gtk_widget_add_css_class(field, "linked");
    gtk_box_append(GTK_BOX(arrows), up);
    gtk_box_append(GTK_BOX(arrows), down);
    for (GtkWidget *b = gtk_widget_get_first_child(arrows); b; b = gtk_widget_get_next_sibling(b)) {
        gtk_widget_set_focusable(b, FALSE);
        gtk_widget_set_focus_on_click(b, FALSE);
        gtk_widget_add_css_class(b, "tempo-arrow");
    }
    SayAs(up, "Tempo erh\xc3\xb6hen");
    SayAs(down, "Tempo verringern");
    g_signal_connect(up, "clicked", G_CALLBACK(OnArrowUp), NULL);
    g_signal_connect(down, "clicked", G_CALLBACK(OnArrowDown), NULL);
    gtk_box_append(GTK_BOX(field), g_hTempoEdit);
    gtk_box_append(GTK_BOX(field), arrows);
    gtk_widget_set_halign(field, GTK_ALIGN_CENTER);
    gtk_box_append(GTK_BOX(box), field);

    /* the top is the fastest tempo */
    g_hTrackTempo = gtk_scale_new_with_range(GTK_ORIENTATION_VERTICAL, MINTEMPO, MAXTEMPO, 1);
    gtk_range_set_inverted(GTK_RANGE(g_hTrackTempo), TRUE);
    SayAs(g_hTrackTempo, "Tempo (BPM)");
    gtk_scale_set_draw_value(GTK_SCALE(g_hTrackTempo), FALSE);
    gtk_scale_set_digits(GTK_SCALE(g_hTrackTempo), 0);
    gtk_scale_set_has_origin(GTK_SCALE(g_hTrackTempo), FALSE);     /* a thumb, no filled bar */
    gtk_range_set_increments(GTK_RANGE(g_hTrackTempo), 1, PAGEVAL);
    gtk_widget_set_vexpand(g_hTrackTempo, TRUE);
    gtk_widget_set_size_request(g_hTrackTempo, -1, 160);
    g_signal_connect(g_hTrackTempo, "value-changed", G_CALLBACK(OnThumbMoved), NULL);
    key = gtk_event_controller_key_new();
    gtk_event_controller_set_propagation_phase(key, GTK_PHASE_CAPTURE);
    g_signal_connect(key, "key-pressed", G_CALLBACK(OnTrackKey), NULL);
    gtk_widget_add_controller(g_hTrackTempo, key);
    press = gtk_gesture_click_new();
    gtk_gesture_single_set_button(GTK_GESTURE_SINGLE(press), GDK_BUTTON_PRIMARY);
    gtk_event_controller_set_propagation_phase(GTK_EVENT_CONTROLLER(press), GTK_PHASE_CAPTURE);
    g_signal_connect(press, "pressed", G_CALLBACK(OnTrackPress), NULL);
    gtk_widget_add_controller(g_hTrackTempo, GTK_EVENT_CONTROLLER(press));

    s_hTicks = Unsaid(GTK_TYPE_DRAWING_AREA);
    gtk_drawing_area_set_content_width(GTK_DRAWING_AREA(s_hTicks), 6);
    gtk_drawing_area_set_draw_func(GTK_DRAWING_AREA(s_hTicks), DrawTicks, NULL, NULL);
    gtk_widget_set_can_target(s_hTicks, FALSE);
    gtk_box_append(GTK_BOX(track), g_hTrackTempo);
    gtk_box_append(GTK_BOX(track), s_hTicks);
    gtk_widget_set_halign(track, GTK_ALIGN_CENTER);
    gtk_widget_set_vexpand(track, TRUE);
    gtk_box_append(GTK_BOX(box), track);
    return box;
}

static GtkWidget *SourceButton(const char *text)
{
    /* told as a radio button; GTK fixes the role when the widget is made */
    GtkWidget  *button = GTK_WIDGET(g_object_new(GTK_TYPE_CHECK_BUTTON, "label", text,
                                                 "accessible-role", GTK_ACCESSIBLE_ROLE_RADIO, NULL));
    GtkGesture *click = gtk_gesture_click_new();

    /* a group of its own makes it a radio button that GTK never unchecks
       for another: stored settings may check two */
    gtk_check_button_set_group(GTK_CHECK_BUTTON(button),
                               GTK_CHECK_BUTTON(g_object_ref_sink(gtk_check_button_new())));
    gtk_widget_set_focusable(button, FALSE);
    gtk_event_controller_set_propagation_phase(GTK_EVENT_CONTROLLER(click), GTK_PHASE_CAPTURE);
    g_signal_connect(click, "pressed", G_CALLBACK(OnSourcePress), NULL);
    g_signal_connect(click, "released", G_CALLBACK(OnSourceRelease), NULL);
    gtk_widget_add_controller(button, GTK_EVENT_CONTROLLER(click));
    g_signal_connect(button, "toggled", G_CALLBACK(OnSourceToggled), NULL);
    /* the mark is drawn; the button itself tells its state */
    UnsaidPart(gtk_widget_get_first_child(button));
    return button;
}

/* "Klick": the switch, the three sources stacked beside it */
static GtkWidget *MakeClick(void)
{
    GtkWidget *box = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 12);
    GtkWidget *sources = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);

    Margins(box, 6);
    g_hClick = gtk_toggle_button_new_with_label("Klick (1/4)");
    gtk_widget_set_valign(g_hClick, GTK_ALIGN_CENTER);
    g_signal_connect(g_hClick, "toggled", G_CALLBACK(OnClickToggled), NULL);
    g_hRadAudio = SourceButton("Audio");
    g_hRadBeep = SourceButton("Beep");
    g_hRadMidi = SourceButton("MIDI");
    gtk_box_append(GTK_BOX(sources), g_hRadAudio);
    gtk_box_append(GTK_BOX(sources), g_hRadBeep);
    gtk_box_append(GTK_BOX(sources), g_hRadMidi);
    gtk_box_append(GTK_BOX(box), g_hClick);
    gtk_box_append(GTK_BOX(box), sources);
    return box;
}

static void LoadStyle(void)
{
    GtkCssProvider *css = gtk_css_provider_new();

    /* the field's arrows as small as the Windows spin control's */
    const char *text = "button.tempo-arrow { min-height: 0; min-width: 0; padding: 0 2px; }"
                       /* a value cell as the theme draws a frame around a label */
                       "label.frame { border-radius: 8px; padding: 4px 8px; }";
#if GTK_CHECK_VERSION(4, 12, 0)
    gtk_css_provider_load_from_string(css, text);
#else
    gtk_css_provider_load_from_data(css, text, -1);
#endif
    gtk_style_context_add_provider_for_display(gdk_display_get_default(), GTK_STYLE_PROVIDER(css),
                                               GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    g_object_unref(css);
}

/* The window with the stored settings, the click off; app may be NULL
   (the tests' window). */
GtkWidget *InitializeApp(GtkApplication *app)
{
    GtkWidget          *columns = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
    GtkWidget          *left = gtk_box_new(GTK_ORIENTATION_VERTICAL, 6);
    GtkWidget          *tempo;
    GtkEventController *key, *wheel;

    /* gtk_init takes the user's locale; the table writes a decimal point
       whatever the desktop's language */
    setlocale(LC_NUMERIC, "C");
    GetRecentData();
    LoadStyle();

    g_hDlg = app ? gtk_application_window_new(app) : gtk_window_new();
    gtk_window_set_resizable(GTK_WINDOW(g_hDlg), FALSE);
    gtk_window_set_icon_name(GTK_WINDOW(g_hDlg), "tokvin");
    g_signal_connect(g_hDlg, "close-request", G_CALLBACK(OnCloseRequest), NULL);
    g_signal_connect(g_hDlg, "destroy", G_CALLBACK(OnDestroy), NULL);
    Margins(columns, 6);
    gtk_box_append(GTK_BOX(left), Group("Delay (ms)", MakeTable()));
    gtk_box_append(GTK_BOX(left), Group("Klick", MakeClick()));
    tempo = Group("Tempo (BPM)", MakeTempo());
    gtk_box_append(GTK_BOX(columns), left);
    gtk_box_append(GTK_BOX(columns), tempo);
    gtk_window_set_child(GTK_WINDOW(g_hDlg), columns);

    key = gtk_event_controller_key_new();
    gtk_event_controller_set_propagation_phase(key, GTK_PHASE_CAPTURE);
    g_signal_connect(key, "key-pressed", G_CALLBACK(OnWindowKey), NULL);
    gtk_widget_add_controller(g_hDlg, key);
    /* the wheel sets the tempo wherever it is turned, the trackbar included */
    wheel = gtk_event_controller_scroll_new(GTK_EVENT_CONTROLLER_SCROLL_VERTICAL);
    gtk_event_controller_set_propagation_phase(wheel, GTK_PHASE_CAPTURE);
    g_signal_connect(wheel, "scroll", G_CALLBACK(OnWheel), NULL);
    gtk_widget_add_controller(g_hDlg, wheel);

    if (!InitMidi() || (MidiDeviceCount() == 0 && !MidiNone())) {
        g_UseMidi = 0;
        gtk_widget_set_sensitive(g_hRadMidi, FALSE);
    }
    SetCheck(g_hRadMidi, g_UseMidi);
    SetCheck(g_hRadBeep, g_UseBeep);
    SetCheck(g_hRadAudio, !g_UseMidi && !g_UseBeep);
    ClickState();
    dtor(g_Tempo, 1, 1);
    gtk_window_set_focus(GTK_WINDOW(g_hDlg), g_hTempoEdit);
    return g_hDlg;
}
