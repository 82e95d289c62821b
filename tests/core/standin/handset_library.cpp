// Stand-in handset library: exports the fourteen entry points and logs every call.
//
// Built once per library name (STANDIN_NAME). Each call appends a line to the file named by
// the STANDIN_LOG environment variable, so a test sees the order of calls across libraries.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void Log(const char *what, long a = 0, long b = 0)
{
    const char *path = std::getenv("STANDIN_LOG");
    if (!path)
        return;
    if (std::FILE *f = std::fopen(path, "a")) {
        std::fprintf(f, "%s %s %ld %ld\n", STANDIN_NAME, what, a, b);
        std::fclose(f);
    }
}

__attribute__((constructor)) void Loaded() { Log("load"); }
__attribute__((destructor)) void Unloaded() { Log("unload"); }

using KeyCallback = void (*)(int32_t);
using StatusCallback = void (*)(int32_t, int32_t);

} // namespace

extern "C" {

int32_t USBPhone_Open(void *hwnd) { Log("Open", hwnd != nullptr); return 7; }
int32_t USBPhone_Bind(KeyCallback key, StatusCallback status)
{
    Log("Bind", key != nullptr, status != nullptr);
    // Report one key and one status at once, as a handset does when it is bound.
    if (key)
        key(5);
    if (status)
        status(1, 2);
    return 0;
}
int32_t USBPhone_Ring(int32_t on) { Log("Ring", on); return 0; }
int32_t USBPhone_Close() { Log("Close"); return 0; }
#define STANDIN_UNUSED(name)                                                                   \
    int32_t name() { Log(#name); return 0; }
STANDIN_UNUSED(USBPhone_Light)
STANDIN_UNUSED(USBPhone_DisplayLCD)
STANDIN_UNUSED(USBPhone_WriteEEPROM)
STANDIN_UNUSED(USBPhone_ReadEEPROM)
STANDIN_UNUSED(USBPhone_GetDeviceCapacity)
STANDIN_UNUSED(USBPhone_SetRingTone)
STANDIN_UNUSED(USBPhone_SwitchPSTN)
STANDIN_UNUSED(USBPhone_GetLibVer)
#ifndef STANDIN_PARTIAL
STANDIN_UNUSED(USBPhone_GetLastError)
STANDIN_UNUSED(USBPhone_GetHookStatus)
#endif
}
