// The table of loaded modules behind LoadLibraryA and the resource functions.
#pragma once

#include <win/respack.h>
#include <win/windef.h>

#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace win {

struct Module {
    std::string path;
    void *dl = nullptr;                  // dlopen handle of a shared object
    std::unique_ptr<res::Pack> pack;     // resources of a resource pack
    int references = 1;
};

class ModuleRegistry
{
  public:
    static ModuleRegistry &Instance();

    /// A counted handle for a module already loaded from path, or NULL.
    HMODULE AddReference(const std::string &path);
    HMODULE Add(std::unique_ptr<Module> module);
    bool Release(HMODULE h);
    void *DlHandle(HMODULE h);
    /// The pack of a resource module; the executable's handle gives the own pack.
    const res::Pack *Pack(HMODULE h);
    void SetOwnPack(std::unique_ptr<res::Pack> pack);

  private:
    std::mutex mutex_;
    std::map<HMODULE, std::unique_ptr<Module>> modules_;
    std::unique_ptr<res::Pack> own_;
};

} // namespace win
