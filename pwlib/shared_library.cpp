// A shared library opened at run time, over dlopen.
#include <pwlib/shared_library.h>

#include <dlfcn.h>

namespace pwlib {

SharedLibrary::SharedLibrary(const char *fileName)
{
    handle = dlopen(fileName, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char *why = dlerror();
        error = why != nullptr ? why : std::string("cannot open ") + fileName;
    }
}

void *SharedLibrary::Symbol(const char *name)
{
    if (handle == nullptr)
        return nullptr;
    dlerror();
    void *address = dlsym(handle, name);
    if (address == nullptr) {
        const char *why = dlerror();
        error = why != nullptr ? why : std::string("no function ") + name;
    }
    return address;
}

} // namespace pwlib
