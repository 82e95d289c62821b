// A shared library opened at run time, for the codec and device libraries that most runs never
// need: linked in, they and everything they depend on are loaded (and take memory) in every
// process.
#pragma once

#include <string>

namespace pwlib {

/// Opened by its file name (a soname: the dynamic loader's search), and never closed, so that
/// the functions taken from it stay valid for the rest of the process.
class SharedLibrary
{
  public:
    explicit SharedLibrary(const char *fileName);
    SharedLibrary(const SharedLibrary &) = delete;
    SharedLibrary &operator=(const SharedLibrary &) = delete;

    bool IsOpen() const { return handle != nullptr; }
    /// Why the library or the last function could not be had; empty when nothing failed.
    const std::string &GetError() const { return error; }

    /// Sets function to the library's function of that name; false (function null) when the
    /// library is not open or has no such function.
    template <class Function> bool GetFunction(const char *name, Function &function)
    {
        function = reinterpret_cast<Function>(Symbol(name));
        return function != nullptr;
    }

  private:
    void *Symbol(const char *name);

    void *handle = nullptr;
    std::string error;
};

} // namespace pwlib
