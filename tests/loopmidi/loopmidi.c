/* Loopback MIDI output driver for the end-to-end tests (never shipped).
 *
 * Installed as winetkloop.drv in the Wine prefix's system folder and
 * registered for a run as the server of the sound system's device
 * enumerator (see below), it becomes the driver winmm asks for MIDI
 * devices, with Wine 8 and Wine 10 alike. It offers one MIDI output device
 * and appends every open, close and short message, with a microsecond
 * timestamp, to the file named by TKLOOP_LOG.
 *
 * Failures are injected with environment variables set to 1:
 * TKLOOP_NODEVICE (no device), TKLOOP_OPENFAIL, TKLOOP_SENDFAIL,
 * TKLOOP_CLOSEFAIL.
 */
#define COBJMACROS
#include <windows.h>
#include <mmsystem.h>
#include <mmddk.h>
#include <stdio.h>
#include <initguid.h>
#include <mmdeviceapi.h>

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

/* winmm takes the name of its driver from the sound system: it asks the
   device enumerator (mmdevapi) for its "Wine info device" and loads the
   file that device names. Wine 10 takes as sound drivers only files with
   a Linux part of their own, so the tests register this file as the
   enumerator's server for a run (HKCU\Software\Classes\CLSID), and it
   hands every request on to Wine's own enumerator but that one, which
   names this driver. Its objects are static: counting is left out. */
static IMMDeviceEnumerator *s_Wine;

static ULONG WINAPI Static_AddRef(void *self) { (void)self; return 1; }
static ULONG WINAPI Static_Release(void *self) { (void)self; return 1; }

/* QueryInterface of an object with one interface */
static HRESULT Only(void *self, REFIID iid, REFIID own, void **out)
{
    *out = IsEqualIID(iid, &IID_IUnknown) || IsEqualIID(iid, own) ? self : NULL;
    return *out ? S_OK : E_NOINTERFACE;
}

static HRESULT WINAPI Store_QueryInterface(IPropertyStore *self, REFIID iid, void **out)
{
    return Only(self, iid, &IID_IPropertyStore, out);
}
static HRESULT WINAPI Store_GetCount(IPropertyStore *self, DWORD *n) { (void)self; *n = 0; return S_OK; }
static HRESULT WINAPI Store_GetAt(IPropertyStore *self, DWORD i, PROPERTYKEY *key)
{
    (void)self; (void)i; (void)key;
    return E_INVALIDARG;
}
/* the one value winmm asks for: the driver's file name */
static HRESULT WINAPI Store_GetValue(IPropertyStore *self, REFPROPERTYKEY key, PROPVARIANT *value)
{
    static const WCHAR name[] = L"winetkloop.drv";
    (void)self; (void)key;
    PropVariantInit(value);
    value->pwszVal = CoTaskMemAlloc(sizeof name);
    if (!value->pwszVal)
        return E_OUTOFMEMORY;
    CopyMemory(value->pwszVal, name, sizeof name);
    value->vt = VT_LPWSTR;
    return S_OK;
}
static HRESULT WINAPI Store_SetValue(IPropertyStore *self, REFPROPERTYKEY key, REFPROPVARIANT value)
{
    (void)self; (void)key; (void)value;
    return STG_E_ACCESSDENIED;
}
static HRESULT WINAPI Store_Commit(IPropertyStore *self) { (void)self; return S_OK; }
static IPropertyStoreVtbl s_StoreVtbl = {
    Store_QueryInterface, (void *)Static_AddRef, (void *)Static_Release,
    Store_GetCount, Store_GetAt, Store_GetValue, Store_SetValue, Store_Commit};
static IPropertyStore s_Store = {&s_StoreVtbl};

static HRESULT WINAPI Info_QueryInterface(IMMDevice *self, REFIID iid, void **out)
{
    return Only(self, iid, &IID_IMMDevice, out);
}
static HRESULT WINAPI Info_Activate(IMMDevice *self, REFIID iid, DWORD ctx, PROPVARIANT *params, void **out)
{
    (void)self; (void)iid; (void)ctx; (void)params;
    *out = NULL;
    return E_NOINTERFACE;
}
static HRESULT WINAPI Info_OpenPropertyStore(IMMDevice *self, DWORD access, IPropertyStore **out)
{
    (void)self; (void)access;
    *out = &s_Store;
    return S_OK;
}
static HRESULT WINAPI Info_GetId(IMMDevice *self, LPWSTR *id) { (void)self; *id = NULL; return E_NOTIMPL; }
static HRESULT WINAPI Info_GetState(IMMDevice *self, DWORD *state) { (void)self; *state = DEVICE_STATE_ACTIVE; return S_OK; }
static IMMDeviceVtbl s_InfoVtbl = {
    Info_QueryInterface, (void *)Static_AddRef, (void *)Static_Release,
    Info_Activate, Info_OpenPropertyStore, Info_GetId, Info_GetState};
static IMMDevice s_Info = {&s_InfoVtbl};

static HRESULT WINAPI Enum_QueryInterface(IMMDeviceEnumerator *self, REFIID iid, void **out)
{
    return Only(self, iid, &IID_IMMDeviceEnumerator, out);
}
static HRESULT WINAPI Enum_EnumAudioEndpoints(IMMDeviceEnumerator *self, EDataFlow flow, DWORD mask,
                                              IMMDeviceCollection **out)
{
    (void)self;
    return IMMDeviceEnumerator_EnumAudioEndpoints(s_Wine, flow, mask, out);
}
static HRESULT WINAPI Enum_GetDefaultAudioEndpoint(IMMDeviceEnumerator *self, EDataFlow flow, ERole role,
                                                   IMMDevice **out)
{
    (void)self;
    return IMMDeviceEnumerator_GetDefaultAudioEndpoint(s_Wine, flow, role, out);
}
static HRESULT WINAPI Enum_GetDevice(IMMDeviceEnumerator *self, LPCWSTR id, IMMDevice **out)
{
    (void)self;
    if (id && lstrcmpW(id, L"Wine info device") == 0) {
        *out = &s_Info;
        return S_OK;
    }
    return IMMDeviceEnumerator_GetDevice(s_Wine, id, out);
}
static HRESULT WINAPI Enum_Register(IMMDeviceEnumerator *self, IMMNotificationClient *client)
{
    (void)self;
    return IMMDeviceEnumerator_RegisterEndpointNotificationCallback(s_Wine, client);
}
static HRESULT WINAPI Enum_Unregister(IMMDeviceEnumerator *self, IMMNotificationClient *client)
{
    (void)self;
    return IMMDeviceEnumerator_UnregisterEndpointNotificationCallback(s_Wine, client);
}
static IMMDeviceEnumeratorVtbl s_EnumVtbl = {
    Enum_QueryInterface, (void *)Static_AddRef, (void *)Static_Release,
    Enum_EnumAudioEndpoints, Enum_GetDefaultAudioEndpoint, Enum_GetDevice, Enum_Register, Enum_Unregister};
static IMMDeviceEnumerator s_Enum = {&s_EnumVtbl};

static HRESULT WINAPI Factory_QueryInterface(IClassFactory *self, REFIID iid, void **out)
{
    return Only(self, iid, &IID_IClassFactory, out);
}
/* Wine's own enumerator, from Wine's own mmdevapi.dll */
static HRESULT WINAPI Factory_CreateInstance(IClassFactory *self, IUnknown *outer, REFIID iid, void **out)
{
    typedef HRESULT (WINAPI *GETCLASSPROC)(REFCLSID, REFIID, void **);
    GETCLASSPROC get;
    IClassFactory *wine;
    IMMDeviceEnumerator *made = NULL;
    HRESULT hr;

    (void)self;
    *out = NULL;
    if (outer)
        return CLASS_E_NOAGGREGATION;
    if (!s_Wine) {
        get = (GETCLASSPROC)(void (*)(void))GetProcAddress(LoadLibraryA("mmdevapi.dll"), "DllGetClassObject");
        if (!get)
            return CLASS_E_CLASSNOTAVAILABLE;
        hr = get(&CLSID_MMDeviceEnumerator, &IID_IClassFactory, (void **)&wine);
        if (FAILED(hr))
            return hr;
        hr = IClassFactory_CreateInstance(wine, NULL, &IID_IMMDeviceEnumerator, (void **)&made);
        IClassFactory_Release(wine);
        if (FAILED(hr))
            return hr;
        if (InterlockedCompareExchangePointer((void **)&s_Wine, made, NULL) != NULL)
            IMMDeviceEnumerator_Release(made);      /* another thread was first */
    }
    return Enum_QueryInterface(&s_Enum, iid, out);
}
static HRESULT WINAPI Factory_LockServer(IClassFactory *self, BOOL lock) { (void)self; (void)lock; return S_OK; }
static IClassFactoryVtbl s_FactoryVtbl = {
    Factory_QueryInterface, (void *)Static_AddRef, (void *)Static_Release,
    Factory_CreateInstance, Factory_LockServer};
static IClassFactory s_Factory = {&s_FactoryVtbl};

HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void **out)
{
    *out = NULL;
    if (!IsEqualCLSID(clsid, &CLSID_MMDeviceEnumerator))
        return CLASS_E_CLASSNOTAVAILABLE;
    return Factory_QueryInterface(&s_Factory, iid, out);
}

HRESULT WINAPI DllCanUnloadNow(void)
{
    return S_FALSE;
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

/* No MIDI input: winmm asks every driver for both. */
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
