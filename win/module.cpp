// Module handles and file names from /proc/self/exe.
#include <win/module.h>
#include <win/module_testing.h>

#include <climits>
#include <cstring>
#include <mutex>
#include <optional>
#include <unistd.h>

namespace
{

std::mutex g_overrideMutex;
std::optional<std::string> g_override;

// A fixed non-null value: the executable is the only module this layer names.
HMODULE ExecutableHandle()
{
    return reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0x400000));
}

std::string ReadExecutablePath()
{
    {
        std::lock_guard<std::mutex> lock(g_overrideMutex);
        if (g_override)
            return *g_override;
    }
    std::string path(PATH_MAX, '\0');
    ssize_t n = readlink("/proc/self/exe", path.data(), path.size());
    if (n <= 0)
        return {};
    path.resize(static_cast<size_t>(n));
    return path;
}

} // namespace

HMODULE GetModuleHandleA(LPCSTR lpModuleName)
{
    if (!lpModuleName)
        return ExecutableHandle();
    CString path(ReadExecutablePath().c_str());
    CString base = path.Mid(path.ReverseFind('/') + 1);
    CString name(lpModuleName);
    if (name.GetLength() > 4 && name.Right(4).CompareNoCase(".exe") == 0 &&
        base.Right(4).CompareNoCase(".exe") != 0)
        name = name.Left(name.GetLength() - 4);
    return base.CompareNoCase(name) == 0 ? ExecutableHandle() : nullptr;
}

DWORD GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize)
{
    if ((hModule && hModule != ExecutableHandle()) || !lpFilename || nSize == 0)
        return 0;
    std::string path = ReadExecutablePath();
    if (path.empty())
        return 0;
    if (path.size() >= nSize) {
        std::memcpy(lpFilename, path.data(), nSize - 1);
        lpFilename[nSize - 1] = '\0';
        return nSize;
    }
    std::memcpy(lpFilename, path.c_str(), path.size() + 1);
    return static_cast<DWORD>(path.size());
}

namespace win
{

CString ExecutablePath()
{
    return CString(std::string_view(ReadExecutablePath()));
}

CString ExecutableDirectory()
{
    CString path = ExecutablePath();
    return path.Left(path.ReverseFind('/') + 1);
}

namespace testing
{

void OverrideExecutablePath(const char *path)
{
    std::lock_guard<std::mutex> lock(g_overrideMutex);
    if (path)
        g_override = path;
    else
        g_override.reset();
}

} // namespace testing
} // namespace win
