// Deadlines and blocking waits that keep a thread's wait pump running.
#pragma once

#include <pwlib/internal/waitable.h>
#include <pwlib/ptimeint.h>

#include <atomic>
#include <chrono>
#include <functional>

#include <poll.h>

namespace pwlib
{

using Clock = std::chrono::steady_clock;

/// The end of a wait, or none for a wait without a time-out.
class Deadline
{
  public:
    /// A time-out of PMaxTimeInterval or longer never expires; a negative one is expired.
    static Deadline After(const PTimeInterval &timeout);
    static Deadline Never() { return Deadline(); }

    bool IsInfinite() const { return infinite_; }
    Clock::time_point At() const { return at_; }
    bool Expired() const { return !infinite_ && Clock::now() >= at_; }
    /// The rest of the wait for poll(): -1 without a time-out, rounded up to whole ms.
    int PollTimeout() const;

  private:
    Deadline() = default;
    Clock::time_point at_{};
    bool infinite_ = true;
};

/// The per-thread state behind a wait pump.
class PumpContext
{
  public:
    PumpContext();
    ~PumpContext();
    PumpContext(const PumpContext &) = delete;
    PumpContext &operator=(const PumpContext &) = delete;

    /// The calling thread's context while it has a pump installed, else nullptr.
    static PumpContext *Active();
    /// The calling thread's context, created on first use.
    static std::shared_ptr<PumpContext> ForCurrentThread();

    void SetPump(std::function<void()> pump);
    /// Runs the pump on its own thread; clears the pending request first.
    void Run();
    /// Any thread: asks for a pump run and wakes the owner if it is blocked.
    void Wake();
    /// TRUE (once) when a wake came since the last call.
    bool TakePending() { return pending_.exchange(false); }

    /// Readable when a wake came; polled beside the fds of socket waits.
    int EventFd() const { return eventFd_; }
    void DrainEventFd();

    /// Notes the waitable the owner blocks on (returns the previous one). Never called
    /// with a Waitable's mutex held.
    Waitable *Attach(Waitable *waitable);
    void Detach(Waitable *previous);

  private:
    std::function<void()> pump_;
    std::atomic<bool> pending_{false};
    int eventFd_ = -1;
    std::mutex attachMutex_;
    Waitable *attached_ = nullptr;
};

/// One blocking wait on a Waitable. Construct it before locking the Waitable's mutex
/// and let it end after the lock is released.
class WaitScope
{
  public:
    explicit WaitScope(Waitable &waitable) : waitable_(waitable), pump_(PumpContext::Active())
    {
        if (pump_ != nullptr)
            previous_ = pump_->Attach(&waitable_);
    }
    ~WaitScope()
    {
        if (pump_ != nullptr)
            pump_->Detach(previous_);
    }
    WaitScope(const WaitScope &) = delete;
    WaitScope &operator=(const WaitScope &) = delete;

    /// With lock held on the Waitable's mutex, waits until ready() or the deadline and
    /// gives ready(). The pump (if any) runs with the lock released, when the wait starts
    /// blocking and after every wake.
    template <typename Ready>
    bool Wait(std::unique_lock<std::mutex> &lock, const Deadline &deadline, Ready ready)
    {
        if (ready())
            return true;
        if (pump_ == nullptr) {
            if (deadline.IsInfinite()) {
                waitable_.cond.wait(lock, ready);
                return true;
            }
            return waitable_.cond.wait_until(lock, deadline.At(), ready);
        }
        bool first = true;
        for (;;) {
            if (ready())
                return true;
            if (pump_->TakePending() || first) {
                first = false;
                lock.unlock();
                pump_->Run();
                lock.lock();
                continue;
            }
            if (deadline.Expired())
                return false;
            if (deadline.IsInfinite())
                waitable_.cond.wait(lock);
            else
                waitable_.cond.wait_until(lock, deadline.At());
        }
    }

  private:
    Waitable &waitable_;
    PumpContext *pump_;
    Waitable *previous_ = nullptr;
};

/// poll() until an fd is ready or the deadline, retrying on EINTR and running the calling
/// thread's pump. Returns the number of ready fds, 0 at the deadline, -1 on error (errno).
int PollWait(struct pollfd *fds, nfds_t count, const Deadline &deadline);

/// Sleeps until the deadline, running the calling thread's pump.
void SleepUntil(const Deadline &deadline);

} // namespace pwlib
