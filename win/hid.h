// HID enumeration (HID.DLL and SETUPAPI) over hidapi: device interfaces by vendor and product.
#pragma once

#include <win/handle.h>
#include <win/windef.h>

#include <string>
#include <vector>

struct GUID {
    DWORD Data1;
    WORD Data2;
    WORD Data3;
    BYTE Data4[8];
};
typedef void *HDEVINFO;

struct SP_DEVICE_INTERFACE_DATA {
    DWORD cbSize;
    GUID InterfaceClassGuid;
    DWORD Flags;
    uintptr_t Reserved;
};

struct SP_DEVICE_INTERFACE_DETAIL_DATA_A {
    DWORD cbSize;
    char DevicePath[1];
};

struct HIDD_ATTRIBUTES {
    DWORD Size;
    WORD VendorID;
    WORD ProductID;
    WORD VersionNumber;
};

#define DIGCF_PRESENT 0x00000002u
#define DIGCF_DEVICEINTERFACE 0x00000010u
#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x00000001u
#define FILE_SHARE_WRITE 0x00000002u
#define OPEN_EXISTING 3u

void HidD_GetHidGuid(GUID *HidGuid);
/// The HID device interfaces present now, in hidapi's enumeration order;
/// INVALID_HANDLE_VALUE for another class or without DIGCF_DEVICEINTERFACE.
HDEVINFO SetupDiGetClassDevsA(const GUID *ClassGuid, LPCSTR Enumerator, HWND hwndParent,
                              DWORD Flags);
BOOL SetupDiEnumDeviceInterfaces(HDEVINFO DeviceInfoSet, void *DeviceInfoData,
                                 const GUID *InterfaceClassGuid, DWORD MemberIndex,
                                 SP_DEVICE_INTERFACE_DATA *DeviceInterfaceData);
/// Copies the interface's device path; FALSE with ERROR_INSUFFICIENT_BUFFER when it does not
/// fit, the needed size in RequiredSize.
BOOL SetupDiGetDeviceInterfaceDetailA(HDEVINFO DeviceInfoSet,
                                      SP_DEVICE_INTERFACE_DATA *DeviceInterfaceData,
                                      SP_DEVICE_INTERFACE_DETAIL_DATA_A *DeviceInterfaceDetailData,
                                      DWORD DeviceInterfaceDetailDataSize, DWORD *RequiredSize,
                                      void *DeviceInfoData);
BOOL SetupDiDestroyDeviceInfoList(HDEVINFO DeviceInfoSet);

/// Opens a HID device interface by the path SetupDi gave; other paths are not supported here
/// (INVALID_HANDLE_VALUE with ERROR_FILE_NOT_FOUND).
HANDLE CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                   void *lpSecurityAttributes, DWORD dwCreationDisposition,
                   DWORD dwFlagsAndAttributes, HANDLE hTemplateFile);
BOOL HidD_GetAttributes(HANDLE HidDeviceObject, HIDD_ATTRIBUTES *Attributes);

namespace win::testing {

struct HidDevice {
    std::string path;
    WORD vendor = 0, product = 0;
    bool openable = true;
};

/// Replaces the system's HID devices with a list (null: the system's again).
void SetHidDevices(const std::vector<HidDevice> *devices);

} // namespace win::testing
