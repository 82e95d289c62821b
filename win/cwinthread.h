// CWinThread and AfxBeginThread: worker threads that run one function.
#pragma once

#include <win/windef.h>

#include <memory>

typedef void *LPVOID;
typedef UINT (*AFX_THREADPROC)(LPVOID);

#define THREAD_PRIORITY_NORMAL 0
#define CREATE_SUSPENDED 0x00000004u

namespace win::detail {
struct ThreadState;
} // namespace win::detail

/// A worker thread. With m_bAutoDelete (the default) the object deletes itself when the
/// function returns and nobody may touch it after starting it; without, its owner deletes it,
/// which waits for the function to return.
class CWinThread
{
  public:
    CWinThread(AFX_THREADPROC pfnThreadProc, LPVOID pParam);
    virtual ~CWinThread();
    CWinThread(const CWinThread &) = delete;
    CWinThread &operator=(const CWinThread &) = delete;

    /// Starts a thread made with CREATE_SUSPENDED; later calls do nothing. Returns 1 when it
    /// was suspended, 0 otherwise.
    DWORD ResumeThread();
    /// TRUE once the function has returned (also for a thread that never started).
    BOOL IsFinished() const;

    BOOL m_bAutoDelete = TRUE;

  private:
    std::shared_ptr<win::detail::ThreadState> m_state;
};

/// Makes a thread that runs pfnThreadProc(pParam) and starts it unless CREATE_SUSPENDED is
/// given. Priority and stack size are kept for the callers; every thread runs with the
/// system's defaults. Null when no thread can be made.
CWinThread *AfxBeginThread(AFX_THREADPROC pfnThreadProc, LPVOID pParam,
                           int nPriority = THREAD_PRIORITY_NORMAL, UINT nStackSize = 0,
                           DWORD dwCreateFlags = 0, void *lpSecurityAttrs = nullptr);
