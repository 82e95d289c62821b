// HID device interfaces from hidapi's enumeration; a device "file" carries its attributes.
#include <win/hid.h>

#include <hidapi/hidapi.h>

#include <cstring>
#include <mutex>
#include <optional>

namespace win {
namespace {

const GUID kHidGuid = {0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

std::mutex g_mutex;
std::optional<std::vector<testing::HidDevice>> g_override;

bool SameGuid(const GUID *a, const GUID &b) { return a && std::memcmp(a, &b, sizeof b) == 0; }

std::vector<testing::HidDevice> Enumerate()
{
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (g_override)
            return *g_override;
    }
    std::vector<testing::HidDevice> out;
    if (hid_init() != 0)
        return out;
    hid_device_info *list = hid_enumerate(0, 0);
    for (hid_device_info *d = list; d; d = d->next)
        out.push_back({d->path ? d->path : "", d->vendor_id, d->product_id, true});
    hid_free_enumeration(list);
    return out;
}

class DeviceSet : public KernelObject
{
  public:
    std::vector<testing::HidDevice> devices;
};

class HidFile : public KernelObject
{
  public:
    testing::HidDevice device;
};

} // namespace
} // namespace win

void win::testing::SetHidDevices(const std::vector<HidDevice> *devices)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    if (devices)
        g_override = *devices;
    else
        g_override.reset();
}

void HidD_GetHidGuid(GUID *HidGuid)
{
    if (HidGuid)
        *HidGuid = win::kHidGuid;
}

HDEVINFO SetupDiGetClassDevsA(const GUID *ClassGuid, LPCSTR, HWND, DWORD Flags)
{
    if (!win::SameGuid(ClassGuid, win::kHidGuid) || !(Flags & DIGCF_DEVICEINTERFACE)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    auto *set = new win::DeviceSet;
    set->devices = win::Enumerate();
    return win::RegisterHandle(set);
}

BOOL SetupDiEnumDeviceInterfaces(HDEVINFO DeviceInfoSet, void *, const GUID *InterfaceClassGuid,
                                 DWORD MemberIndex, SP_DEVICE_INTERFACE_DATA *DeviceInterfaceData)
{
    auto set = win::LookupHandleAs<win::DeviceSet>(DeviceInfoSet);
    if (!set || !DeviceInterfaceData || !win::SameGuid(InterfaceClassGuid, win::kHidGuid)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (MemberIndex >= set->devices.size()) {
        SetLastError(ERROR_NO_MORE_ITEMS);
        return FALSE;
    }
    DeviceInterfaceData->InterfaceClassGuid = win::kHidGuid;
    DeviceInterfaceData->Flags = 1;
    DeviceInterfaceData->Reserved = MemberIndex;
    return TRUE;
}

BOOL SetupDiGetDeviceInterfaceDetailA(HDEVINFO DeviceInfoSet,
                                      SP_DEVICE_INTERFACE_DATA *DeviceInterfaceData,
                                      SP_DEVICE_INTERFACE_DETAIL_DATA_A *Detail, DWORD DetailSize,
                                      DWORD *RequiredSize, void *)
{
    auto set = win::LookupHandleAs<win::DeviceSet>(DeviceInfoSet);
    if (!set || !DeviceInterfaceData || DeviceInterfaceData->Reserved >= set->devices.size()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::string &path = set->devices[DeviceInterfaceData->Reserved].path;
    DWORD needed = DWORD(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) + path.size() + 1);
    if (RequiredSize)
        *RequiredSize = needed;
    if (path.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    if (!Detail || DetailSize < needed) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(Detail->DevicePath, path.c_str(), path.size() + 1);
    return TRUE;
}

BOOL SetupDiDestroyDeviceInfoList(HDEVINFO DeviceInfoSet)
{
    return win::LookupHandleAs<win::DeviceSet>(DeviceInfoSet) ? CloseHandle(DeviceInfoSet) : FALSE;
}

HANDLE CreateFileA(LPCSTR lpFileName, DWORD, DWORD, void *, DWORD, DWORD, HANDLE)
{
    if (lpFileName)
        for (const auto &d : win::Enumerate())
            if (d.path == lpFileName && d.openable) {
                auto *file = new win::HidFile;
                file->device = d;
                return win::RegisterHandle(file);
            }
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
}

BOOL HidD_GetAttributes(HANDLE HidDeviceObject, HIDD_ATTRIBUTES *Attributes)
{
    auto file = win::LookupHandleAs<win::HidFile>(HidDeviceObject);
    if (!file || !Attributes)
        return FALSE;
    Attributes->Size = sizeof *Attributes;
    Attributes->VendorID = file->device.vendor;
    Attributes->ProductID = file->device.product;
    Attributes->VersionNumber = 0;
    return TRUE;
}
