// Modules: shared objects opened with dlopen and resource packs, counted per file.
#include <win/library.h>

#include <win/handle.h>
#include <win/module.h>
#include <win/module_registry.h>
#include <win/path.h>
#include <win/respack.h>

#include <dlfcn.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

namespace win {
namespace {

bool IsFile(const std::string &path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The file a module name stands for, or "" when there is none.
std::string ResolveModulePath(const std::string &name)
{
    bool bare = name.find('/') == std::string::npos && name.find('\\') == std::string::npos;
    std::string dir = bare ? std::string(ExecutableDirectory().View()) : std::string();
    std::string path = MapPath((dir + name).c_str());
    if (IsFile(path))
        return path;
    if (name.size() > 4) {
        std::string lower = name.substr(name.size() - 4);
        for (char &c : lower)
            c = char(std::tolower(static_cast<unsigned char>(c)));
        if (lower == ".dll") {
            std::string stem = name.substr(0, name.size() - 4);
            size_t slash = stem.find_last_of("/\\");
            std::string head = slash == std::string::npos ? "" : stem.substr(0, slash + 1);
            std::string base = slash == std::string::npos ? stem : stem.substr(slash + 1);
            for (const std::string &candidate : {head + base + ".so", head + "lib" + base + ".so"}) {
                path = MapPath((dir + candidate).c_str());
                if (IsFile(path))
                    return path;
            }
        }
    }
    return {};
}

} // namespace
} // namespace win

HMODULE LoadLibraryA(LPCSTR lpLibFileName)
{
    if (!lpLibFileName || !*lpLibFileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::string path = win::ResolveModulePath(lpLibFileName);
    if (path.empty()) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    auto &registry = win::ModuleRegistry::Instance();
    if (HMODULE h = registry.AddReference(path))
        return h;
    auto module = std::make_unique<win::Module>();
    module->path = path;
    std::ifstream in(path, std::ios::binary);
    char magic[4] = {};
    in.read(magic, 4);
    if (in.gcount() == 4 && std::equal(magic, magic + 4, win::res::kPackMagic)) {
        std::ostringstream s;
        s << std::string(magic, 4) << in.rdbuf();
        std::string error;
        module->pack = win::res::Pack::Parse(s.str(), error);
        if (!module->pack) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return nullptr;
        }
    } else {
        module->dl = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!module->dl) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return nullptr;
        }
    }
    SetLastError(0);
    return registry.Add(std::move(module));
}

FARPROC GetProcAddress(HMODULE hModule, LPCSTR lpProcName)
{
    void *dl = win::ModuleRegistry::Instance().DlHandle(hModule);
    void *sym = dl && lpProcName ? ::dlsym(dl, lpProcName) : nullptr;
    SetLastError(sym ? 0 : ERROR_PROC_NOT_FOUND);
    return reinterpret_cast<FARPROC>(sym);
}

BOOL FreeLibrary(HMODULE hModule)
{
    return win::ModuleRegistry::Instance().Release(hModule) ? TRUE : FALSE;
}
