// Kernel object handles: events, the named single-instance mutex, device files; last error.
#pragma once

#include <win/windef.h>

#include <memory>

typedef void *HANDLE;
#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)

#define ERROR_SUCCESS 0
#define ERROR_FILE_NOT_FOUND 2
#define ERROR_INVALID_HANDLE 6
#define ERROR_INVALID_PARAMETER 87
#define ERROR_MOD_NOT_FOUND 126
#define ERROR_PROC_NOT_FOUND 127
#define ERROR_ALREADY_EXISTS 183
#define ERROR_NO_MORE_ITEMS 259
#define ERROR_INSUFFICIENT_BUFFER 122

#define WAIT_OBJECT_0 0x00000000u
#define WAIT_TIMEOUT 0x00000102u
#define WAIT_FAILED 0xFFFFFFFFu

/// The calling thread's last error code, set by the functions of this layer that document it.
DWORD GetLastError();
void SetLastError(DWORD dwErrCode);

/// Closes any handle this layer hands out; FALSE for an unknown or invalid handle.
BOOL CloseHandle(HANDLE hObject);

/// Events: manual-reset or auto-reset, optionally signalled at creation; the name is private
/// to the process.
HANDLE CreateEventA(void *lpEventAttributes, BOOL bManualReset, BOOL bInitialState,
                    LPCSTR lpName);
BOOL SetEvent(HANDLE hEvent);
BOOL ResetEvent(HANDLE hEvent);
/// Waits for an event; WAIT_OBJECT_0, WAIT_TIMEOUT or WAIT_FAILED (not an event).
DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);

/// A named mutex shared by the processes of one user session. When the name is taken by
/// another process the call still returns a handle and the last error is ERROR_ALREADY_EXISTS;
/// otherwise the last error is 0. The name stays taken until the handle is closed or the
/// process ends.
HANDLE CreateMutexA(void *lpMutexAttributes, BOOL bInitialOwner, LPCSTR lpName);
BOOL ReleaseMutex(HANDLE hMutex);

void Sleep(DWORD dwMilliseconds);

namespace win {

/// Base of the objects behind handles; CloseHandle deletes it.
class KernelObject
{
  public:
    virtual ~KernelObject() = default;
};

/// Registers an object and returns its handle; Lookup gives it back while it is open, and the
/// object lives on while a caller still holds what Lookup returned.
HANDLE RegisterHandle(KernelObject *object);
std::shared_ptr<KernelObject> LookupHandle(HANDLE handle);

template <class T> std::shared_ptr<T> LookupHandleAs(HANDLE handle)
{
    return std::dynamic_pointer_cast<T>(LookupHandle(handle));
}

} // namespace win
