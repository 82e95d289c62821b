// Module table and resource lookup in the resource module in force.
#include <win/resources.h>

#include <win/codepage.h>
#include <win/cstring.h>
#include <win/module.h>
#include <win/module_registry.h>

#include <atomic>
#include <cstring>
#include <dlfcn.h>

namespace win {

ModuleRegistry &ModuleRegistry::Instance()
{
    static ModuleRegistry registry;
    return registry;
}

HMODULE ModuleRegistry::AddReference(const std::string &path)
{
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto &[h, m] : modules_)
        if (m->path == path) {
            ++m->references;
            return h;
        }
    return nullptr;
}

HMODULE ModuleRegistry::Add(std::unique_ptr<Module> module)
{
    std::lock_guard<std::mutex> lock(mutex_);
    HMODULE h = reinterpret_cast<HMODULE>(module.get());
    modules_[h] = std::move(module);
    return h;
}

bool ModuleRegistry::Release(HMODULE h)
{
    std::unique_ptr<Module> gone;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = modules_.find(h);
        if (it == modules_.end())
            return false;
        if (--it->second->references > 0)
            return true;
        gone = std::move(it->second);
        modules_.erase(it);
    }
    if (gone->dl)
        ::dlclose(gone->dl);
    return true;
}

void *ModuleRegistry::DlHandle(HMODULE h)
{
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = modules_.find(h);
    return it == modules_.end() ? nullptr : it->second->dl;
}

const res::Pack *ModuleRegistry::Pack(HMODULE h)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (h == GetModuleHandleA(nullptr))
        return own_.get();
    auto it = modules_.find(h);
    return it == modules_.end() ? nullptr : it->second->pack.get();
}

void ModuleRegistry::SetOwnPack(std::unique_ptr<res::Pack> pack)
{
    std::lock_guard<std::mutex> lock(mutex_);
    own_ = std::move(pack);
}

namespace {

std::atomic<HINSTANCE> g_resourceHandle{nullptr};

HINSTANCE CurrentResourceModule()
{
    HINSTANCE h = g_resourceHandle.load();
    return h ? h : GetModuleHandleA(nullptr);
}

std::string TypeName(LPCSTR type)
{
    if (!IS_INTRESOURCE(type))
        return rc::NormalizeName(type);
    switch (reinterpret_cast<uintptr_t>(type)) {
    case 1: return "CURSOR";
    case 2: return "BITMAP";
    case 3: return "ICON";
    case 4: return "MENU";
    case 5: return "DIALOG";
    default: return "#" + std::to_string(reinterpret_cast<uintptr_t>(type));
    }
}

std::string ItemName(LPCSTR name)
{
    if (IS_INTRESOURCE(name))
        return rc::ResourceName(int(reinterpret_cast<uintptr_t>(name)));
    return rc::NormalizeName(name);
}

bool FindString(HINSTANCE module, UINT id, std::string &utf8)
{
    const res::Pack *pack = ModuleRegistry::Instance().Pack(module);
    const std::string *table =
        pack ? pack->Find(res::kStringTableType, res::kStringTableName) : nullptr;
    if (!table)
        return false;
    // Tables are small; decoding on demand keeps the module free of caches to invalidate.
    std::map<int, std::string> strings;
    if (!res::DecodeStringTable(*table, strings))
        return false;
    auto it = strings.find(int(id));
    if (it == strings.end())
        return false;
    utf8 = it->second;
    return true;
}

BOOL LoadCString(UINT nID, CString &out)
{
    std::string utf8;
    if (!FindString(CurrentResourceModule(), nID, utf8))
        return FALSE;
    out = CString::FromUtf8(utf8);
    return TRUE;
}

} // namespace

namespace res {

void RegisterOwnPack(std::string_view bytes)
{
    std::string error;
    ModuleRegistry::Instance().SetOwnPack(Pack::Parse(std::string(bytes), error));
    SetStringLoader(&LoadCString);
}

const std::string *Find(std::string_view type, std::string_view name)
{
    const Pack *pack = ModuleRegistry::Instance().Pack(CurrentResourceModule());
    return pack ? pack->Find(type, name) : nullptr;
}

const std::string *Find(std::string_view type, UINT id)
{
    return Find(type, rc::ResourceName(int(id)));
}

bool LoadDialogTemplate(UINT id, rc::DialogTemplate &out)
{
    const std::string *text = Find("DIALOG", id);
    std::string error;
    return text && rc::ParseDialog(*text, out, error);
}

bool LoadMenuTemplate(UINT id, rc::MenuTemplate &out)
{
    const std::string *text = Find("MENU", id);
    std::string error;
    return text && rc::ParseMenu(*text, out, error);
}

bool LoadUtf8String(UINT id, std::string &out)
{
    return FindString(CurrentResourceModule(), id, out);
}

} // namespace res
} // namespace win

HRSRC FindResourceA(HMODULE hModule, LPCSTR lpName, LPCSTR lpType)
{
    if (!lpName || !lpType)
        return nullptr;
    const win::res::Pack *pack =
        win::ModuleRegistry::Instance().Pack(hModule ? hModule : GetModuleHandleA(nullptr));
    const std::string *data =
        pack ? pack->Find(win::TypeName(lpType), win::ItemName(lpName)) : nullptr;
    return reinterpret_cast<HRSRC>(const_cast<std::string *>(data));
}

HGLOBAL LoadResource(HMODULE, HRSRC hResInfo) { return hResInfo; }

const void *LockResource(HGLOBAL hResData)
{
    return hResData ? static_cast<const std::string *>(hResData)->data() : nullptr;
}

DWORD SizeofResource(HMODULE, HRSRC hResInfo)
{
    return hResInfo ? DWORD(reinterpret_cast<const std::string *>(hResInfo)->size()) : 0;
}

HINSTANCE AfxGetResourceHandle() { return win::CurrentResourceModule(); }

void AfxSetResourceHandle(HINSTANCE hInstResource) { win::g_resourceHandle = hInstResource; }

HINSTANCE AfxGetInstanceHandle() { return GetModuleHandleA(nullptr); }

int LoadStringA(HINSTANCE hInstance, UINT uID, LPSTR lpBuffer, int cchBufferMax)
{
    std::string utf8;
    if (!lpBuffer || cchBufferMax <= 0)
        return 0;
    if (!win::FindString(hInstance ? hInstance : GetModuleHandleA(nullptr), uID, utf8)) {
        lpBuffer[0] = '\0';
        return 0;
    }
    std::string ansi = win::Utf8ToAnsi(utf8);
    size_t n = std::min(ansi.size(), size_t(cchBufferMax - 1));
    std::memcpy(lpBuffer, ansi.data(), n);
    lpBuffer[n] = '\0';
    return int(n);
}
