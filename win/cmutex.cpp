// CMutex and CSingleLock over a condition variable, recursive for the owner thread.
#include <win/cmutex.h>

#include <chrono>

CMutex::CMutex(BOOL bInitiallyOwn, LPCTSTR)
{
    if (bInitiallyOwn) {
        m_owner = std::this_thread::get_id();
        m_nDepth = 1;
    }
}

BOOL CMutex::Lock(DWORD dwTimeout)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    std::thread::id self = std::this_thread::get_id();
    if (m_owner == self) {
        ++m_nDepth;
        return TRUE;
    }
    auto free = [&] { return m_owner == std::thread::id(); };
    if (dwTimeout == INFINITE)
        m_released.wait(lock, free);
    else if (!m_released.wait_for(lock, std::chrono::milliseconds(dwTimeout), free))
        return FALSE;
    m_owner = self;
    m_nDepth = 1;
    return TRUE;
}

BOOL CMutex::Unlock()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_owner != std::this_thread::get_id())
        return FALSE;
    if (--m_nDepth == 0) {
        m_owner = std::thread::id();
        m_released.notify_one();
    }
    return TRUE;
}

CSingleLock::CSingleLock(CSyncObject *pObject, BOOL bInitialLock) : m_pObject(pObject)
{
    if (bInitialLock)
        Lock();
}

CSingleLock::~CSingleLock()
{
    Unlock();
}

BOOL CSingleLock::Lock(DWORD dwTimeout)
{
    if (!m_pObject || m_bLocked)
        return m_bLocked;
    m_bLocked = m_pObject->Lock(dwTimeout);
    return m_bLocked;
}

BOOL CSingleLock::Unlock()
{
    if (!m_pObject || !m_bLocked)
        return FALSE;
    m_bLocked = !m_pObject->Unlock();
    return !m_bLocked;
}
