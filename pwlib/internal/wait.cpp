// Deadlines, the per-thread pump context and the pump-aware poll and sleep.
#include <pwlib/internal/wait.h>

#include <cerrno>
#include <climits>
#include <thread>
#include <vector>

#include <sys/eventfd.h>
#include <unistd.h>

namespace pwlib
{
namespace
{

thread_local std::shared_ptr<PumpContext> ownContext;
thread_local PumpContext *activePump = nullptr;

} // namespace

Deadline Deadline::After(const PTimeInterval &timeout)
{
    Deadline deadline;
    if (timeout >= PMaxTimeInterval)
        return deadline;
    deadline.infinite_ = false;
    PInt64 ms = timeout.GetMilliSeconds();
    deadline.at_ = Clock::now() + std::chrono::milliseconds(ms > 0 ? ms : 0);
    return deadline;
}

int Deadline::PollTimeout() const
{
    if (infinite_)
        return -1;
    auto rest = at_ - Clock::now();
    if (rest <= Clock::duration::zero())
        return 0;
    auto ms = std::chrono::ceil<std::chrono::milliseconds>(rest).count();
    return ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
}

PumpContext::PumpContext() : eventFd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

PumpContext::~PumpContext()
{
    if (activePump == this)
        activePump = nullptr;
    if (eventFd_ >= 0)
        close(eventFd_);
}

PumpContext *PumpContext::Active()
{
    return activePump;
}

std::shared_ptr<PumpContext> PumpContext::ForCurrentThread()
{
    if (!ownContext)
        ownContext = std::make_shared<PumpContext>();
    return ownContext;
}

void PumpContext::SetPump(std::function<void()> pump)
{
    pump_ = std::move(pump);
    if (ownContext.get() == this)
        activePump = pump_ ? this : nullptr;
}

void PumpContext::Run()
{
    pending_.store(false);
    // A copy, so that the pump may replace itself while it runs.
    std::function<void()> pump = pump_;
    if (pump)
        pump();
}

void PumpContext::Wake()
{
    pending_.store(true);
    {
        std::lock_guard<std::mutex> lock(attachMutex_);
        if (attached_ != nullptr) {
            std::lock_guard<std::mutex> waitLock(attached_->mutex);
            attached_->cond.notify_all();
        }
    }
    if (eventFd_ >= 0) {
        uint64_t one = 1;
        ssize_t written = write(eventFd_, &one, sizeof(one));
        (void)written; // a full counter already wakes the owner
    }
}

void PumpContext::DrainEventFd()
{
    uint64_t count;
    while (eventFd_ >= 0 && read(eventFd_, &count, sizeof(count)) > 0) {
    }
}

Waitable *PumpContext::Attach(Waitable *waitable)
{
    std::lock_guard<std::mutex> lock(attachMutex_);
    Waitable *previous = attached_;
    attached_ = waitable;
    return previous;
}

void PumpContext::Detach(Waitable *previous)
{
    std::lock_guard<std::mutex> lock(attachMutex_);
    attached_ = previous;
}

int PollWait(struct pollfd *fds, nfds_t count, const Deadline &deadline)
{
    PumpContext *pump = PumpContext::Active();
    if (pump == nullptr || pump->EventFd() < 0) {
        for (;;) {
            int ready = poll(fds, count, deadline.PollTimeout());
            if (ready > 0)
                return ready;
            if (ready < 0 && errno != EINTR)
                return -1;
            if (ready == 0 && deadline.Expired())
                return 0;
        }
    }

    std::vector<struct pollfd> all(fds, fds + count);
    all.push_back({pump->EventFd(), POLLIN, 0});
    bool first = true;
    for (;;) {
        if (pump->TakePending() || first) {
            first = false;
            pump->Run();
        }
        int ready = poll(all.data(), all.size(), deadline.PollTimeout());
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (all.back().revents != 0) {
            pump->DrainEventFd();
            --ready;
        }
        if (ready > 0) {
            for (nfds_t i = 0; i < count; ++i)
                fds[i].revents = all[i].revents;
            return ready;
        }
        if (deadline.Expired())
            return 0;
    }
}

void SleepUntil(const Deadline &deadline)
{
    if (PumpContext::Active() == nullptr) {
        if (deadline.IsInfinite()) {
            for (;;)
                std::this_thread::sleep_for(std::chrono::hours(24));
        }
        std::this_thread::sleep_until(deadline.At());
        return;
    }
    Waitable waitable;
    WaitScope scope(waitable);
    std::unique_lock<std::mutex> lock(waitable.mutex);
    scope.Wait(lock, deadline, [] { return false; });
}

} // namespace pwlib
