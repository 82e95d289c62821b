// PTimedMutex: ownership, recursion and waiting through the pump-aware wait.
#include <pwlib/internal/wait.h>
#include <pwlib/passert.h>
#include <pwlib/pmutex.h>

void PTimedMutex::Wait()
{
    Wait(PMaxTimeInterval);
}

BOOL PTimedMutex::Wait(const PTimeInterval &timeout)
{
    std::thread::id me = std::this_thread::get_id();
    {
        std::lock_guard<std::mutex> lock(waitable_.mutex);
        if (count_ == 0 || owner_ == me) {
            owner_ = me;
            ++count_;
            return TRUE;
        }
    }
    return WaitSlow(timeout);
}

bool PTimedMutex::WaitSlow(const PTimeInterval &timeout)
{
    pwlib::Deadline deadline = pwlib::Deadline::After(timeout);
    std::thread::id me = std::this_thread::get_id();
    pwlib::WaitScope scope(waitable_);
    std::unique_lock<std::mutex> lock(waitable_.mutex);
    ++waiters_;
    bool acquired = scope.Wait(lock, deadline, [this, me] { return count_ == 0 || owner_ == me; });
    --waiters_;
    if (acquired) {
        owner_ = me;
        ++count_;
    }
    return acquired;
}

void PTimedMutex::Signal()
{
    std::lock_guard<std::mutex> lock(waitable_.mutex);
    if (!PAssert(count_ > 0 && owner_ == std::this_thread::get_id(),
                 "PMutex signalled by a thread that does not own it"))
        return;
    if (--count_ == 0) {
        owner_ = std::thread::id();
        if (waiters_ > 0)
            waitable_.cond.notify_all();
    }
}

BOOL PTimedMutex::WillBlock() const
{
    std::lock_guard<std::mutex> lock(waitable_.mutex);
    return count_ > 0 && owner_ != std::this_thread::get_id();
}
