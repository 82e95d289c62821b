// CMutex and CSingleLock: an unnamed mutex, recursive for its owner thread, with timed locks.
#pragma once

#include <win/windef.h>

#include <condition_variable>
#include <mutex>
#include <thread>

class CSyncObject
{
  public:
    virtual ~CSyncObject() = default;
    /// Waits up to dwTimeout ms (INFINITE: no limit); TRUE when acquired.
    virtual BOOL Lock(DWORD dwTimeout = INFINITE) = 0;
    virtual BOOL Unlock() = 0;
};

class CMutex : public CSyncObject
{
  public:
    /// The name is ignored: the mutex is private to the process.
    explicit CMutex(BOOL bInitiallyOwn = FALSE, LPCTSTR lpszName = nullptr);
    CMutex(const CMutex &) = delete;
    CMutex &operator=(const CMutex &) = delete;

    BOOL Lock(DWORD dwTimeout = INFINITE) override;
    /// Releases one level of ownership; FALSE when the calling thread does not own it.
    BOOL Unlock() override;

  private:
    std::mutex m_mutex;
    std::condition_variable m_released;
    std::thread::id m_owner; // default id: not owned
    int m_nDepth = 0;
};

/// Scoped use of a CSyncObject: unlocks in the destructor what it locked.
class CSingleLock
{
  public:
    explicit CSingleLock(CSyncObject *pObject, BOOL bInitialLock = FALSE);
    CSingleLock(const CSingleLock &) = delete;
    CSingleLock &operator=(const CSingleLock &) = delete;
    ~CSingleLock();

    BOOL Lock(DWORD dwTimeout = INFINITE);
    BOOL Unlock();
    BOOL IsLocked() const { return m_bLocked; }

  private:
    CSyncObject *m_pObject;
    BOOL m_bLocked = FALSE;
};
