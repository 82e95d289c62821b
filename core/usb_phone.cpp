// Handset library choice and binding.
#include <core/usb_phone.h>

#include <win/handle.h>
#include <win/hid.h>
#include <win/module.h>
#include <win/msgbox.h>

#include <cstdio>
#include <mutex>
#include <set>
#include <string>

HidDeviceEntry HidDeviceTable[20];
UsbPhoneEntryPoints UsbPhoneApi;
HMODULE g_hUsbPhoneLibrary = nullptr;

namespace {

HMODULE g_hTjIpSys = nullptr;
TjIpSysCallFn g_pTjIpSysCall = nullptr;

constexpr WORD kHandsetVendor = 0x04B4;

struct HandsetProduct {
    WORD product;
    const char *library;
};
constexpr HandsetProduct kHandsetProducts[] = {
    {0x0302, "BT_EX.dll"},
    {0x6371, "BT_NS.dll"},
    {0x0401, "BT_VB.dll"},
};

// The keys of the notes already said on standard error; kept until the process ends.
struct SaidNotes {
    std::mutex mutex;
    std::set<std::string> keys;
};

SaidNotes &Said()
{
    static SaidNotes *notes = new SaidNotes;
    return *notes;
}

// Says a line on standard error once per process for each key.
void NoteOnce(const std::string &key, const std::string &line)
{
    SaidNotes &notes = Said();
    {
        std::lock_guard<std::mutex> lock(notes.mutex);
        if (!notes.keys.insert(key).second)
            return;
    }
    std::fprintf(stderr, "kestrelin: %s\n", line.c_str());
}

// No vendor ships these libraries for this platform, so a missing one is the normal case: it
// is named once on standard error, never in a box the user can do nothing about.
void NoteMissingLibrary(const char *fileName)
{
    std::string stem(fileName);
    if (stem.size() > 4 && stem.compare(stem.size() - 4, 4, ".dll") == 0)
        stem.resize(stem.size() - 4);
    NoteOnce(fileName, "no handset library " + std::string(fileName) + " (looked for " + fileName +
                           ", " + stem + ".so and lib" + stem + ".so in the install directory)");
}

template <class F> void Resolve(F &entry, const char *name)
{
    // Through void(*)(), the type of a function of unknown signature.
    entry = reinterpret_cast<F>(
        reinterpret_cast<void (*)()>(GetProcAddress(g_hUsbPhoneLibrary, name)));
}

} // namespace

BOOL LoadTjIpSys()
{
    g_hTjIpSys = LoadLibraryA("TjIpSys.dll");
    g_pTjIpSysCall = g_hTjIpSys ? reinterpret_cast<TjIpSysCallFn>(reinterpret_cast<void (*)()>(
                                      GetProcAddress(g_hTjIpSys, "TjIpSysCall")))
                                : nullptr;
    if (g_hTjIpSys && g_pTjIpSysCall)
        return TRUE;
    if (g_hTjIpSys)
        NoteOnce("TjIpSys.dll", "TjIpSys.dll has no entry TjIpSysCall");
    else
        NoteMissingLibrary("TjIpSys.dll");
    if (g_hTjIpSys)
        FreeLibrary(g_hTjIpSys);
    g_hTjIpSys = nullptr;
    g_pTjIpSysCall = nullptr;
    return FALSE;
}

BOOL EnumHidDevices()
{
    GUID guid;
    HidD_GetHidGuid(&guid);
    HDEVINFO set = SetupDiGetClassDevsA(&guid, nullptr, nullptr,
                                        DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE)
        return FALSE;
    for (DWORD i = 0; i < 20; ++i) {
        HidDeviceTable[i].vendor = 0;
        SP_DEVICE_INTERFACE_DATA data{};
        data.cbSize = sizeof data;
        if (!SetupDiEnumDeviceInterfaces(set, nullptr, &guid, i, &data))
            continue;
        alignas(SP_DEVICE_INTERFACE_DETAIL_DATA_A) char buffer[256];
        auto *detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A *>(buffer);
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
        DWORD needed = 0;
        if (!SetupDiGetDeviceInterfaceDetailA(set, &data, detail, sizeof buffer, &needed,
                                              nullptr)) {
            MessageBoxA(nullptr, "Could not find the system name for this HID device", "Error",
                        MB_ICONHAND);
            SetupDiDestroyDeviceInfoList(set);
            return FALSE;
        }
        HANDLE file = CreateFileA(detail->DevicePath, GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                  nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            SetupDiDestroyDeviceInfoList(set);
            return FALSE;
        }
        HIDD_ATTRIBUTES attributes{};
        attributes.Size = sizeof attributes;
        if (HidD_GetAttributes(file, &attributes)) {
            HidDeviceTable[i].vendor = attributes.VendorID;
            HidDeviceTable[i].product = attributes.ProductID;
        }
        CloseHandle(file);
    }
    SetupDiDestroyDeviceInfoList(set);
    return TRUE;
}

DWORD BindUsbPhoneApi(LPCSTR fileName)
{
    if (g_hUsbPhoneLibrary)
        UnloadUsbPhoneApi();
    g_hUsbPhoneLibrary = LoadLibraryA(fileName);
    if (!g_hUsbPhoneLibrary) {
        DWORD error = GetLastError();
        NoteMissingLibrary(fileName);
        return error;
    }
    Resolve(UsbPhoneApi.Open, "USBPhone_Open");
    Resolve(UsbPhoneApi.Bind, "USBPhone_Bind");
    Resolve(UsbPhoneApi.Ring, "USBPhone_Ring");
    Resolve(UsbPhoneApi.Light, "USBPhone_Light");
    Resolve(UsbPhoneApi.DisplayLCD, "USBPhone_DisplayLCD");
    Resolve(UsbPhoneApi.Close, "USBPhone_Close");
    Resolve(UsbPhoneApi.WriteEEPROM, "USBPhone_WriteEEPROM");
    Resolve(UsbPhoneApi.ReadEEPROM, "USBPhone_ReadEEPROM");
    Resolve(UsbPhoneApi.GetDeviceCapacity, "USBPhone_GetDeviceCapacity");
    Resolve(UsbPhoneApi.SetRingTone, "USBPhone_SetRingTone");
    Resolve(UsbPhoneApi.SwitchPSTN, "USBPhone_SwitchPSTN");
    Resolve(UsbPhoneApi.GetLibVer, "USBPhone_GetLibVer");
    Resolve(UsbPhoneApi.GetLastError, "USBPhone_GetLastError");
    Resolve(UsbPhoneApi.GetHookStatus, "USBPhone_GetHookStatus");
    return 0;
}

void UnloadUsbPhoneApi()
{
    if (g_hUsbPhoneLibrary)
        FreeLibrary(g_hUsbPhoneLibrary);
    g_hUsbPhoneLibrary = nullptr;
    // The entry points of a freed library would point into unmapped code; they go with it.
    UsbPhoneApi = {};
}

void LoadUsbPhoneDriver()
{
    int32_t result = 0;
    bool haveTjIpSys = LoadTjIpSys();
    // Without TjIpSys the choice goes on as if it had answered 0.
    auto tjIpSysCall = [&](int32_t code, void *argument, int32_t *out) {
        return haveTjIpSys ? g_pTjIpSysCall(code, argument, out) : 0;
    };
    if (tjIpSysCall(0, GetModuleHandleA(nullptr), &result) != 0) {
        BindUsbPhoneApi("BT_KB.dll");
        tjIpSysCall(1, nullptr, nullptr);
        return;
    }
    EnumHidDevices();
    for (const auto &entry : HidDeviceTable) {
        if (entry.vendor != kHandsetVendor)
            continue;
        for (const auto &p : kHandsetProducts)
            if (entry.product == p.product) {
                BindUsbPhoneApi(p.library);
                tjIpSysCall(1, nullptr, nullptr);
                return;
            }
    }
    tjIpSysCall(1, nullptr, nullptr);
    BindUsbPhoneApi("BT_EX.dll");
}

void core::testing::ResetUsbPhoneBinding()
{
    UnloadUsbPhoneApi();
    if (g_hTjIpSys)
        FreeLibrary(g_hTjIpSys);
    g_hTjIpSys = nullptr;
    g_pTjIpSysCall = nullptr;
    for (auto &e : HidDeviceTable)
        e = {};
    SaidNotes &notes = Said();
    std::lock_guard<std::mutex> lock(notes.mutex);
    notes.keys.clear();
}
