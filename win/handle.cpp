// Handles, events, the named mutex over an abstract-namespace socket, and the last error.
#include <win/handle.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace win {
namespace {

thread_local DWORD t_lastError = 0;

struct HandleTable {
    std::mutex mutex;
    std::map<uintptr_t, std::shared_ptr<KernelObject>> objects;
    uintptr_t next = 0x1000;
};

// Built on first use, whenever that comes (a global object's constructor included), and kept
// until the process ends, so that threads still running at exit find it.
HandleTable &Handles()
{
    static HandleTable *table = new HandleTable;
    return *table;
}

class Event : public KernelObject
{
  public:
    Event(bool manual, bool signalled) : manual_(manual), signalled_(signalled) {}

    void Set()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        signalled_ = true;
        if (manual_)
            changed_.notify_all();
        else
            changed_.notify_one();
    }
    void Reset()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        signalled_ = false;
    }
    bool Wait(DWORD ms)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        auto ready = [this] { return signalled_; };
        if (ms == INFINITE)
            changed_.wait(lock, ready);
        else if (!changed_.wait_for(lock, std::chrono::milliseconds(ms), ready))
            return false;
        if (!manual_)
            signalled_ = false;
        return true;
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool manual_;
    bool signalled_;
};

// The name lives as long as the socket bound to it; the kernel frees it when the process ends.
class NamedMutex : public KernelObject
{
  public:
    explicit NamedMutex(int fd) : fd_(fd) {}
    ~NamedMutex() override
    {
        if (fd_ >= 0)
            ::close(fd_);
    }

  private:
    int fd_;
};

} // namespace

HANDLE RegisterHandle(KernelObject *object)
{
    HandleTable &table = Handles();
    std::lock_guard<std::mutex> lock(table.mutex);
    uintptr_t h = table.next;
    table.next += 4;
    table.objects[h].reset(object);
    return reinterpret_cast<HANDLE>(h);
}

std::shared_ptr<KernelObject> LookupHandle(HANDLE handle)
{
    HandleTable &table = Handles();
    std::lock_guard<std::mutex> lock(table.mutex);
    auto it = table.objects.find(reinterpret_cast<uintptr_t>(handle));
    return it == table.objects.end() ? nullptr : it->second;
}

} // namespace win

DWORD GetLastError() { return win::t_lastError; }

void SetLastError(DWORD dwErrCode) { win::t_lastError = dwErrCode; }

BOOL CloseHandle(HANDLE hObject)
{
    std::shared_ptr<win::KernelObject> object;
    {
        win::HandleTable &table = win::Handles();
        std::lock_guard<std::mutex> lock(table.mutex);
        auto it = table.objects.find(reinterpret_cast<uintptr_t>(hObject));
        if (it == table.objects.end()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        object = std::move(it->second);
        table.objects.erase(it);
    }
    return TRUE;
}

HANDLE CreateEventA(void *, BOOL bManualReset, BOOL bInitialState, LPCSTR)
{
    return win::RegisterHandle(new win::Event(bManualReset, bInitialState));
}

BOOL SetEvent(HANDLE hEvent)
{
    auto e = win::LookupHandleAs<win::Event>(hEvent);
    if (!e)
        return FALSE;
    e->Set();
    return TRUE;
}

BOOL ResetEvent(HANDLE hEvent)
{
    auto e = win::LookupHandleAs<win::Event>(hEvent);
    if (!e)
        return FALSE;
    e->Reset();
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds)
{
    auto e = win::LookupHandleAs<win::Event>(hHandle);
    if (!e)
        return WAIT_FAILED;
    return e->Wait(dwMilliseconds) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

HANDLE CreateMutexA(void *, BOOL, LPCSTR lpName)
{
    if (!lpName) {
        SetLastError(0);
        return win::RegisterHandle(new win::NamedMutex(-1));
    }
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    // Abstract namespace: a leading zero byte, then the name; nothing touches the disk.
    std::string name = std::string("kestrelin.") + std::to_string(::getuid()) + "." + lpName;
    size_t len = std::min(name.size(), sizeof(addr.sun_path) - 1);
    std::memcpy(addr.sun_path + 1, name.data(), len);
    socklen_t size = socklen_t(offsetof(sockaddr_un, sun_path) + 1 + len);
    if (::bind(fd, reinterpret_cast<sockaddr *>(&addr), size) != 0) {
        ::close(fd);
        SetLastError(ERROR_ALREADY_EXISTS);
        return win::RegisterHandle(new win::NamedMutex(-1));
    }
    SetLastError(0);
    return win::RegisterHandle(new win::NamedMutex(fd));
}

BOOL ReleaseMutex(HANDLE hMutex)
{
    return win::LookupHandleAs<win::NamedMutex>(hMutex) != nullptr;
}

void Sleep(DWORD dwMilliseconds)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(dwMilliseconds));
}
