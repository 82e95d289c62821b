// Worker threads over std::thread.
#include <win/cwinthread.h>

#include <atomic>
#include <mutex>
#include <system_error>
#include <thread>

namespace win::detail {

struct ThreadState {
    AFX_THREADPROC proc;
    LPVOID param;
    std::mutex mutex; // held while the thread object is being set
    std::thread thread;
    std::atomic<bool> started{false};
    std::atomic<bool> finished{false};
};

} // namespace win::detail

CWinThread::CWinThread(AFX_THREADPROC pfnThreadProc, LPVOID pParam)
    : m_state(std::make_shared<win::detail::ThreadState>())
{
    m_state->proc = pfnThreadProc;
    m_state->param = pParam;
}

CWinThread::~CWinThread()
{
    // An auto-deleting thread deletes itself from its own thread, after it has finished.
    if (m_state->thread.joinable()) {
        if (m_state->thread.get_id() == std::this_thread::get_id())
            m_state->thread.detach();
        else
            m_state->thread.join();
    }
}

DWORD CWinThread::ResumeThread()
{
    if (m_state->started.exchange(true))
        return 0;
    auto state = m_state;
    std::lock_guard<std::mutex> lock(state->mutex);
    try {
        state->thread = std::thread([this, state] {
            state->proc(state->param);
            bool autoDelete = m_bAutoDelete;
            std::lock_guard<std::mutex> started(state->mutex);
            state->finished = true;
            if (autoDelete)
                delete this;
        });
    } catch (const std::system_error &) {
        state->finished = true;
        return 0;
    }
    return 1;
}

BOOL CWinThread::IsFinished() const
{
    return !m_state->started || m_state->finished;
}

CWinThread *AfxBeginThread(AFX_THREADPROC pfnThreadProc, LPVOID pParam, int, UINT,
                           DWORD dwCreateFlags, void *)
{
    auto *thread = new CWinThread(pfnThreadProc, pParam);
    if (!(dwCreateFlags & CREATE_SUSPENDED)) {
        if (!thread->ResumeThread() && thread->IsFinished()) {
            delete thread;
            return nullptr;
        }
    }
    return thread;
}
