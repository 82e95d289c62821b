// The handset library binding: picks one of the USB handset libraries and binds its entry
// points, from the TjIpSys query and the HID devices attached at start.
#pragma once

#include <win/library.h>
#include <win/windef.h>

#include <cstdint>

struct HidDeviceEntry {
    WORD vendor = 0;
    WORD product = 0;
};

/// Filled by EnumHidDevices: entry i is HID interface i; vendor 0 where there was none.
extern HidDeviceEntry HidDeviceTable[20];

using UsbPhoneKeyCallback = void (*)(int32_t key);
using UsbPhoneStatusCallback = void (*)(int32_t event, int32_t value);

/// The fourteen entry points of the bound handset library, in their table order; an entry
/// the library does not export is null.
struct UsbPhoneEntryPoints {
    int32_t (*Open)(HWND hWnd) = nullptr;
    int32_t (*Bind)(UsbPhoneKeyCallback key, UsbPhoneStatusCallback status) = nullptr;
    int32_t (*Ring)(int32_t on) = nullptr;
    FARPROC Light = nullptr;
    FARPROC DisplayLCD = nullptr;
    int32_t (*Close)() = nullptr;
    FARPROC WriteEEPROM = nullptr;
    FARPROC ReadEEPROM = nullptr;
    FARPROC GetDeviceCapacity = nullptr;
    FARPROC SetRingTone = nullptr;
    FARPROC SwitchPSTN = nullptr;
    FARPROC GetLibVer = nullptr;
    FARPROC GetLastError = nullptr;
    FARPROC GetHookStatus = nullptr;
};

extern UsbPhoneEntryPoints UsbPhoneApi;

/// The bound handset library, NULL while none is bound.
extern HMODULE g_hUsbPhoneLibrary;

/// TjIpSys.dll's entry: (code, argument, result address) -> 32-bit answer.
using TjIpSysCallFn = int32_t (*)(int32_t code, void *argument, int32_t *result);

/// Chooses and binds the handset library; once, while the application object is built.
void LoadUsbPhoneDriver();
BOOL EnumHidDevices();
/// Loads a handset library and looks up its entry points; 0, or the last error on failure
/// (the missing library is then named once per process on standard error).
DWORD BindUsbPhoneApi(LPCSTR fileName);
void UnloadUsbPhoneApi();
/// Loads "TjIpSys.dll" and its TjIpSysCall entry; kept for the life of the process. Without
/// them it says so once per process on standard error and returns FALSE.
BOOL LoadTjIpSys();

namespace core::testing {
/// Forgets TjIpSys, the bound library and the notes already said, as at process start.
void ResetUsbPhoneBinding();
} // namespace core::testing
