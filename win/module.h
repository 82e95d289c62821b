// Module handles and file names: the running executable and the install directory.
#pragma once

#include <win/cstring.h>
#include <win/windef.h>

/// The executable's handle for NULL, or for the executable's own file name compared without
/// case, with or without ".exe" ("Kestrelin.exe" names "kestrelin"); NULL for any other name.
HMODULE GetModuleHandleA(LPCSTR lpModuleName);

/// Copies the full path of the module (NULL: the executable) into lpFilename, zero-terminated
/// and cut to nSize - 1 bytes. Returns the bytes copied, nSize when cut, 0 on failure.
DWORD GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize);

namespace win
{

/// Full path of the running executable (/proc/self/exe).
CString ExecutablePath();

/// The executable's directory with a trailing '/': where the data files live.
CString ExecutableDirectory();

} // namespace win
