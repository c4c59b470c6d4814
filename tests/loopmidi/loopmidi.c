/* Loopback MIDI output driver for the end-to-end tests (never shipped).
 *
 * Wine loads it when HKCU\Software\Wine\Drivers "Audio" names "tkloop"
 * (file winetkloop.drv beside the program): the audio device layer takes it
 * as its driver, with no wave endpoints, and winmm then asks it for MIDI
 * devices. It offers one MIDI output device and appends every open, close
 * and short message, with a microsecond timestamp, to the file named by
 * TKLOOP_LOG.
 *
 * Failures are injected with environment variables set to 1:
 * TKLOOP_NODEVICE (no device), TKLOOP_OPENFAIL, TKLOOP_SENDFAIL,
 * TKLOOP_CLOSEFAIL.
 */
#include <windows.h>
#include <mmsystem.h>
#include <mmddk.h>
#include <stdio.h>

static int Flag(const char *name)
{
    char value[8];
    DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
    return n > 0 && n < sizeof value && value[0] == '1';
}

static void Log(const char *fmt, DWORD a)
{
    char path[MAX_PATH], line[128];
    LARGE_INTEGER now, freq;
    HANDLE file;
    DWORD len, written;

    if (!GetEnvironmentVariableA("TKLOOP_LOG", path, sizeof path))
        return;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&freq);
    len = (DWORD)_snprintf(line, sizeof line - 2, "%I64d ", now.QuadPart * 1000000 / freq.QuadPart);
    len += (DWORD)_snprintf(line + len, sizeof line - 2 - len, fmt, (unsigned long)a);
    line[len++] = '\n';
    file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                       OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return;
    WriteFile(file, line, len, &written, NULL);
    CloseHandle(file);
}

/* The audio device layer's side: a driver with no wave endpoints at all. */
int WINAPI GetPriority(void)
{
    return 2;   /* neutral: used when named, passed over otherwise */
}

HRESULT WINAPI GetEndpointIDs(int flow, WCHAR ***ids, GUID **guids, UINT *num, UINT *def)
{
    (void)flow;
    *ids = NULL;
    *guids = NULL;
    *num = 0;
    *def = 0;
    return S_OK;
}

HRESULT WINAPI GetAudioEndpoint(void *key, void *device, void **client)
{
    (void)key;
    (void)device;
    *client = NULL;
    return E_NOTIMPL;
}

HRESULT WINAPI GetAudioSessionManager(void *device, void **manager)
{
    (void)device;
    *manager = NULL;
    return E_NOTIMPL;
}

LRESULT CALLBACK DriverProc(DWORD_PTR id, HDRVR drv, UINT msg, LPARAM p1, LPARAM p2)
{
    switch (msg) {
    case DRV_LOAD: case DRV_FREE: case DRV_OPEN: case DRV_CLOSE:
    case DRV_ENABLE: case DRV_DISABLE:
        return 1;
    default:
        return DefDriverProc(id, drv, msg, p1, p2);
    }
}

/* No MIDI input; Wine's PulseAudio driver forwards MIDI input here when
   this driver stands in for its ALSA driver. */
DWORD WINAPI midMessage(UINT dev, UINT msg, DWORD_PTR user, DWORD_PTR p1, DWORD_PTR p2)
{
    (void)dev;
    (void)user;
    (void)p1;
    (void)p2;
    return msg == MIDM_GETNUMDEVS ? 0 : MMSYSERR_NOTSUPPORTED;
}

DWORD WINAPI modMessage(UINT dev, UINT msg, DWORD_PTR user, DWORD_PTR p1, DWORD_PTR p2)
{
    (void)user;
    (void)p2;
    switch (msg) {
    case DRVM_INIT:
    case DRVM_EXIT:
    case DRVM_ENABLE:
    case DRVM_DISABLE:
        return MMSYSERR_NOERROR;
    case MODM_GETNUMDEVS:
        return Flag("TKLOOP_NODEVICE") ? 0 : 1;
    case MODM_GETDEVCAPS: {
        MIDIOUTCAPSW caps;
        ZeroMemory(&caps, sizeof caps);
        caps.wMid = 0xFF;
        caps.wPid = 1;
        caps.vDriverVersion = 0x100;
        lstrcpyW(caps.szPname, L"Tokvin Loopback");
        caps.wTechnology = MOD_MIDIPORT;
        caps.wChannelMask = 0xFFFF;
        CopyMemory((void *)p1, &caps, min((size_t)p2, sizeof caps));
        return MMSYSERR_NOERROR;
    }
    case MODM_OPEN:
        Log("open %lu", dev);
        return Flag("TKLOOP_OPENFAIL") ? MMSYSERR_ALLOCATED : MMSYSERR_NOERROR;
    case MODM_CLOSE:
        Log("close %lu", dev);
        return Flag("TKLOOP_CLOSEFAIL") ? MMSYSERR_ERROR : MMSYSERR_NOERROR;
    case MODM_DATA:
        Log("data %06lX", (DWORD)p1);
        return Flag("TKLOOP_SENDFAIL") ? MIDIERR_NOTREADY : MMSYSERR_NOERROR;
    default:
        return MMSYSERR_NOTSUPPORTED;
    }
}
