// PSemaphore: counting and waiting through the pump-aware wait.
#include <pwlib/internal/wait.h>
#include <pwlib/psemaphore.h>

PSemaphore::PSemaphore(unsigned initial, unsigned maximum) : maximum_(maximum > 0 ? maximum : 1)
{
    count_ = initial < maximum_ ? initial : maximum_;
}

void PSemaphore::Wait()
{
    Wait(PMaxTimeInterval);
}

BOOL PSemaphore::Wait(const PTimeInterval &timeout)
{
    {
        std::lock_guard<std::mutex> lock(waitable_.mutex);
        if (count_ > 0) {
            --count_;
            return TRUE;
        }
    }
    pwlib::Deadline deadline = pwlib::Deadline::After(timeout);
    pwlib::WaitScope scope(waitable_);
    std::unique_lock<std::mutex> lock(waitable_.mutex);
    ++waiters_;
    bool acquired = scope.Wait(lock, deadline, [this] { return count_ > 0; });
    --waiters_;
    if (acquired)
        --count_;
    return acquired;
}

void PSemaphore::Signal()
{
    std::lock_guard<std::mutex> lock(waitable_.mutex);
    if (count_ < maximum_)
        ++count_;
    if (waiters_ > 0)
        waitable_.cond.notify_all();
}

BOOL PSemaphore::WillBlock() const
{
    std::lock_guard<std::mutex> lock(waitable_.mutex);
    return count_ == 0;
}
