// PSemaphore: a counting semaphore with a maximum count.
#pragma once

#include <pwlib/internal/waitable.h>
#include <pwlib/psync.h>

/// A counting semaphore: Wait takes one count (blocking while there is none), Signal gives
/// one back, never beyond the maximum.
class PSemaphore : public PSync
{
    PCLASSINFO(PSemaphore, PSync)
  public:
    /// initial is clamped to maximum; a maximum of 0 is taken as 1.
    PSemaphore(unsigned initial, unsigned maximum);
    PSemaphore(const PSemaphore &) = delete;
    PSemaphore &operator=(const PSemaphore &) = delete;

    void Wait() override;
    BOOL Wait(const PTimeInterval &timeout) override;
    /// Adds one count; a Signal at the maximum is dropped.
    void Signal() override;
    /// TRUE when a Wait would block now.
    BOOL WillBlock() const;

  private:
    mutable pwlib::Waitable waitable_;
    unsigned count_;
    unsigned maximum_;
    unsigned waiters_ = 0;
};
