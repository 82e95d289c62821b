// Resource lookup in the current resource module: the program's own pack or a language pack.
#pragma once

#include <win/rcscript.h>
#include <win/windef.h>

#include <string_view>

struct HRSRC__;
typedef HRSRC__ *HRSRC;
typedef void *HGLOBAL;

#define MAKEINTRESOURCE(i) ((LPCSTR)(uintptr_t)(WORD)(i))
#define MAKEINTRESOURCEA MAKEINTRESOURCE
#define IS_INTRESOURCE(p) ((((uintptr_t)(p)) >> 16) == 0)
#define RT_CURSOR MAKEINTRESOURCE(1)
#define RT_BITMAP MAKEINTRESOURCE(2)
#define RT_ICON MAKEINTRESOURCE(3)
#define RT_MENU MAKEINTRESOURCE(4)
#define RT_DIALOG MAKEINTRESOURCE(5)

/// Finds a resource by name (or MAKEINTRESOURCE id) and type (a standard RT_ type or a custom
/// type name such as "RGN"); NULL when the module does not hold it.
HRSRC FindResourceA(HMODULE hModule, LPCSTR lpName, LPCSTR lpType);
HGLOBAL LoadResource(HMODULE hModule, HRSRC hResInfo);
/// The resource bytes; valid while the module stays loaded.
const void *LockResource(HGLOBAL hResData);
DWORD SizeofResource(HMODULE hModule, HRSRC hResInfo);

/// The module that resource lookups use; the program's own resources at start.
HINSTANCE AfxGetResourceHandle();
void AfxSetResourceHandle(HINSTANCE hInstResource);
HINSTANCE AfxGetInstanceHandle();

/// Copies string uID of the module, converted to the ANSI code page; its length, 0 if absent.
int LoadStringA(HINSTANCE hInstance, UINT uID, LPSTR lpBuffer, int cchBufferMax);

namespace win::res {

/// Makes the bytes of the program's own pack the resources of the executable's module and
/// installs the string loader of CString::LoadString. Called once, before main.
void RegisterOwnPack(std::string_view bytes);

/// The bytes of a resource of the current resource module, or nullptr.
const std::string *Find(std::string_view type, std::string_view name);
const std::string *Find(std::string_view type, UINT id);

/// Dialog and menu templates of the current resource module.
bool LoadDialogTemplate(UINT id, rc::DialogTemplate &out);
bool LoadMenuTemplate(UINT id, rc::MenuTemplate &out);

/// String id of the current resource module as UTF-8; false when absent.
bool LoadUtf8String(UINT id, std::string &out);

} // namespace win::res
