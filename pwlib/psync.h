// PSync and PWaitAndSignal: the interface of the waitable objects and its scoped lock.
#pragma once

#include <pwlib/ptimeint.h>

/// Something a thread can wait for and signal: mutexes and semaphores.
class PSync : public PObject
{
    PCLASSINFO(PSync, PObject)
  public:
    /// Blocks until the object is acquired.
    virtual void Wait() = 0;
    /// Blocks at most timeout; TRUE when acquired, FALSE on time-out.
    virtual BOOL Wait(const PTimeInterval &timeout) = 0;
    /// Releases (mutex) or increments (semaphore).
    virtual void Signal() = 0;
};

/// Waits on a PSync for the life of the scope and signals it at the end.
class PWaitAndSignal
{
  public:
    /// Waits on sync unless wait is FALSE (then it only signals at the end). Takes a const
    /// reference so that const member functions can lock a mutable mutex member.
    explicit PWaitAndSignal(const PSync &sync, BOOL wait = TRUE) : sync_(const_cast<PSync &>(sync))
    {
        if (wait)
            sync_.Wait();
    }
    ~PWaitAndSignal() { sync_.Signal(); }
    PWaitAndSignal(const PWaitAndSignal &) = delete;
    PWaitAndSignal &operator=(const PWaitAndSignal &) = delete;

  private:
    PSync &sync_;
};
