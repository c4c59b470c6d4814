/* Tokvin for Linux - the stored settings: the six values of the Windows
   program's registry key, by the same names, in a key file of the user's
   ($XDG_CONFIG_HOME/tokvin/tokvin.conf), and a seventh of this edition's
   own: MIDIDeviceName, the chosen port's name, since the sequencer's port
   numbers move when a device comes or goes. Read at start, written at close
   through a new file renamed over the old, so that a crash never leaves
   half a file. A person's first start takes the values of the Wine-based
   Tokvin's prefix, where there is one. */
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "tokvin.h"

#define CONFNAME    "tokvin/tokvin.conf"
#define WINEREG     "tokvin/wine/user.reg"     /* the Wine-based Tokvin's settings */
#define REGSECTION  "[Software\\\\Tokvin]"     /* as Wine writes the key */
#define DEVNAME     "MIDIDeviceName"

/* The values after "Flags", as the registry key has them: "Tempo" signed,
   the others unsigned, all 32 bits. */
static void *const s_ValVar[NVALUES] = { &g_Tempo, &g_MidiChan, &g_MidiNote,
                                         &g_MidiVelo, &g_MidiDev };

/* $XDG_DIR/name, or $HOME/fallback/name where the variable is not set
   to an absolute path, as the XDG base directories have it */
static void XdgPath(char *path, size_t size, const char *var, const char *fallback, const char *name)
{
    const char *dir = getenv(var);

    if (dir && dir[0] == '/')
        FormatText(path, size, "%s/%s", dir, name);
    else
        FormatText(path, size, "%s/%s/%s", g_get_home_dir(), fallback, name);
}

void ConfPath(char *path, size_t size)
{
    XdgPath(path, size, "XDG_CONFIG_HOME", ".config", CONFNAME);
}

static void SetFlags(uint32_t flags)
{
    g_UseBeep = (flags & BITBEEP) ? 1 : 0;
    g_UseMidi = (flags & BITMIDI) ? 1 : 0;
}

/* One stored number into *var, when it is a 32-bit number of its kind */
static int ParseValue(const char *text, int sign, void *var)
{
    gint64  s;
    guint64 u;

    if (!text)
        return 0;
    if (sign && g_ascii_string_to_signed(text, 10, INT32_MIN, INT32_MAX, &s, NULL)) {
        *(int32_t *)var = (int32_t)s;
        return 1;
    }
    if (!sign && g_ascii_string_to_unsigned(text, 10, 0, UINT32_MAX, &u, NULL)) {
        *(uint32_t *)var = (uint32_t)u;
        return 1;
    }
    return 0;
}

static void LoadValue(GKeyFile *kf, const char *name, int sign, void *var)
{
    gchar *text = g_key_file_get_value(kf, CONFGROUP, name, NULL);

    if (text)
        g_strstrip(text);
    ParseValue(text, sign, var);
    g_free(text);
}

/* The Wine-based Tokvin's values, from its prefix's user.reg: all but the
   device, which Wine numbers otherwise. Returns 1 when the key was there. */
static int MigrateWine(void)
{
    char   path[MAXPATH];
    gchar *text = NULL;
    char  *line, *next;
    int    in = 0, found = 0;

    XdgPath(path, sizeof path, "XDG_DATA_HOME", ".local/share", WINEREG);
    if (!g_file_get_contents(path, &text, NULL, NULL))
        return 0;
    for (line = text; line; line = next) {
        char    *eq;
        guint64  value;
        int      i;

        if ((next = strchr(line, '\n')) != NULL)
            *next++ = '\0';
        g_strchomp(line);
        if (line[0] == '[') {
            in = g_ascii_strncasecmp(line, REGSECTION " ", sizeof REGSECTION) == 0
                 || g_ascii_strcasecmp(line, REGSECTION) == 0;
            found |= in;
            continue;
        }
        /* "Tempo"=dword:00000079 */
        if (!in || line[0] != '"' || (eq = strstr(line, "\"=dword:")) == NULL)
            continue;
        *eq = '\0';
        if (!g_ascii_string_to_unsigned(eq + 8, 16, 0, UINT32_MAX, &value, NULL))
            continue;
        if (g_ascii_strcasecmp(line + 1, "Flags") == 0) {
            SetFlags((uint32_t)value);
            continue;
        }
        for (i = 0; i < NVALUES - 1; i++)
            if (g_ascii_strcasecmp(line + 1, g_ValName[i]) == 0)
                *(uint32_t *)s_ValVar[i] = (uint32_t)value;
    }
    g_free(text);
    return found;
}

/* A missing file or value leaves the defaults; a value that is not a
   32-bit number of its kind leaves its own default, the others load. */
int GetRecentData(void)
{
    char      path[MAXPATH];
    GKeyFile *kf;
    uint32_t  flags = 0;
    int       i;

    ConfPath(path, sizeof path);
    g_MidiDevName[0] = '\0';
    if (access(path, F_OK) != 0 && errno == ENOENT) {
        MigrateWine();
        return 1;
    }
    kf = g_key_file_new();
    if (g_key_file_load_from_file(kf, path, G_KEY_FILE_NONE, NULL)
        && g_key_file_has_group(kf, CONFGROUP)) {
        gchar *name = g_key_file_get_string(kf, CONFGROUP, DEVNAME, NULL);

        LoadValue(kf, "Flags", 0, &flags);
        for (i = 0; i < NVALUES; i++)
            LoadValue(kf, g_ValName[i], i == 0, s_ValVar[i]);
        SetFlags(flags);
        /* a name too long for a port's is none */
        if (name && strlen(name) < sizeof g_MidiDevName)
            FormatText(g_MidiDevName, sizeof g_MidiDevName, "%s", name);
        g_free(name);
    }
    g_key_file_free(kf);
    return 1;
}

/* The values, written whole into a new file that then takes the old one's
   name; the device's name as the key file escapes it. */
int SaveRecentData(void)
{
    char   path[MAXPATH];
    char   text[1024];
    size_t len;
    gchar *dir;
    int    i;

    ConfPath(path, sizeof path);
    FormatText(text, sizeof text, "[" CONFGROUP "]\nFlags=%d\nTempo=%d\n",
               (g_UseBeep ? BITBEEP : 0) | (g_UseMidi ? BITMIDI : 0), g_Tempo);
    for (i = 1; i < NVALUES; i++) {
        len = strlen(text);
        FormatText(text + len, sizeof text - len, "%s=%u\n", g_ValName[i], *(uint32_t *)s_ValVar[i]);
    }
    if (g_MidiDevName[0]) {
        GKeyFile *kf = g_key_file_new();
        gchar    *value;

        g_key_file_set_string(kf, CONFGROUP, DEVNAME, g_MidiDevName);
        value = g_key_file_get_value(kf, CONFGROUP, DEVNAME, NULL);
        len = strlen(text);
        FormatText(text + len, sizeof text - len, DEVNAME "=%s\n", value);
        g_free(value);
        g_key_file_free(kf);
    }
    dir = g_path_get_dirname(path);
    g_mkdir_with_parents(dir, 0700);
    g_free(dir);
    g_file_set_contents(path, text, -1, NULL);
    return 1;
}

/* tokvin --midi-device N and the like: the value stored with the others
   as they are. Returns 0 where it could not be written. */
static int SaveAndCheck(void)
{
    char path[MAXPATH];

    SaveRecentData();
    ConfPath(path, sizeof path);
    return access(path, R_OK) == 0;
}

int StoreSetting(const char *name, uint32_t value)
{
    int i;

    GetRecentData();
    for (i = 1; i < NVALUES; i++)
        if (strcmp(name, g_ValName[i]) == 0)
            *(uint32_t *)s_ValVar[i] = value;
    return SaveAndCheck();
}

/* tokvin --midi-device N: the number with the port's name as
   --midi-devices lists it, or no name where N names no port; "none": the
   number as it is, and Tokvin connects nothing. */
int StoreMidiDevice(const char *arg)
{
    guint64 number;

    GetRecentData();
    if (strcmp(arg, MIDINONE) == 0)
        FormatText(g_MidiDevName, sizeof g_MidiDevName, MIDINONE);
    else if (g_ascii_string_to_unsigned(arg, 10, 0, UINT32_MAX, &number, NULL)) {
        g_MidiDev = (uint32_t)number;
        MidiDeviceName(g_MidiDev, g_MidiDevName, sizeof g_MidiDevName);
    } else
        return 0;
    return SaveAndCheck();
}
