// Dynamic libraries and resource modules: LoadLibraryA over dlopen, resource packs as modules.
#pragma once

#include <win/windef.h>

typedef intptr_t (*FARPROC)();

/// Loads a module by name. A bare name is looked up in the install directory (the
/// executable's), without regard to case; a name ending in ".dll" that has no such file
/// there also finds NAME.so and libNAME.so. A resource pack (China.dll, Traditional.dll)
/// becomes a resource module; any other file is opened with dlopen. Loading a module again
/// returns the same handle and counts a reference. NULL with ERROR_MOD_NOT_FOUND on failure.
HMODULE LoadLibraryA(LPCSTR lpLibFileName);

/// The address of an exported function of a dlopen'ed module; NULL with ERROR_PROC_NOT_FOUND.
FARPROC GetProcAddress(HMODULE hModule, LPCSTR lpProcName);

/// Drops one reference; the module is closed with the last one.
BOOL FreeLibrary(HMODULE hModule);

inline HINSTANCE AfxLoadLibrary(LPCTSTR lpszModuleName) { return LoadLibraryA(lpszModuleName); }
inline BOOL AfxFreeLibrary(HINSTANCE hInstLib) { return FreeLibrary(hInstLib); }
