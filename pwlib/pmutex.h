// PTimedMutex and PMutex: recursive mutual exclusion with optional time-outs.
#pragma once

#include <pwlib/internal/waitable.h>
#include <pwlib/psync.h>

#include <thread>

/// A recursive mutex: the owning thread may Wait again and must Signal as often.
class PTimedMutex : public PSync
{
    PCLASSINFO(PTimedMutex, PSync)
  public:
    PTimedMutex() = default;
    PTimedMutex(const PTimedMutex &) = delete;
    PTimedMutex &operator=(const PTimedMutex &) = delete;

    void Wait() override;
    BOOL Wait(const PTimeInterval &timeout) override;
    /// Releases one level; a Signal from a thread that does not own the mutex reports an
    /// assertion and changes nothing.
    void Signal() override;
    /// TRUE when another thread owns the mutex now.
    BOOL WillBlock() const;

  private:
    bool WaitSlow(const PTimeInterval &timeout);

    mutable pwlib::Waitable waitable_;
    std::thread::id owner_;
    unsigned count_ = 0;
    unsigned waiters_ = 0;
};

/// The library's mutex (recursive, as PTimedMutex).
class PMutex : public PTimedMutex
{
    PCLASSINFO(PMutex, PTimedMutex)
};
