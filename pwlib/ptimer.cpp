// PTimer: the timer thread, its queue of expiries and the timer operations.
#include <pwlib/internal/threadname.h>
#include <pwlib/internal/waitable.h>
#include <pwlib/ptimer.h>

#include <chrono>
#include <map>
#include <thread>

#include <pthread.h>

namespace pwlib
{

/// The one timer thread and its queue, ordered by due time. All PTimer state is guarded by
/// the service's mutex.
class TimerService
{
  public:
    static TimerService &Instance()
    {
        // Never destroyed: timers may be stopped by destructors of other statics at exit.
        static TimerService *service = new TimerService;
        return *service;
    }

    void Start(PTimer &timer, PInt64 interval, bool periodic)
    {
        std::lock_guard<std::mutex> lock(waitable_.mutex);
        Remove(timer);
        if (interval <= 0)
            return;
        timer.interval_ = interval;
        timer.periodic_ = periodic;
        timer.due_ = Now() + interval;
        timer.running_ = true;
        queue_.emplace(timer.due_, &timer);
        if (!thread_.joinable())
            thread_ = std::thread(&TimerService::Loop, this);
        waitable_.cond.notify_all();
    }

    void Stop(PTimer &timer)
    {
        std::unique_lock<std::mutex> lock(waitable_.mutex);
        Remove(timer);
        if (firing_ == &timer && std::this_thread::get_id() != thread_.get_id())
            finished_.wait(lock, [&] { return firing_ != &timer; });
    }

    void SetNotifier(PTimer &timer, PTimer::Notifier notifier)
    {
        std::unique_lock<std::mutex> lock(waitable_.mutex);
        timer.notifier_ = std::move(notifier);
    }

    PTimer::Notifier GetNotifier(PTimer &timer)
    {
        std::lock_guard<std::mutex> lock(waitable_.mutex);
        return timer.notifier_;
    }

    bool IsRunning(const PTimer &timer)
    {
        std::lock_guard<std::mutex> lock(waitable_.mutex);
        return timer.running_;
    }

    PInt64 ResetTime(const PTimer &timer)
    {
        std::lock_guard<std::mutex> lock(waitable_.mutex);
        return timer.interval_;
    }

    PInt64 Remaining(const PTimer &timer)
    {
        std::lock_guard<std::mutex> lock(waitable_.mutex);
        if (!timer.running_)
            return 0;
        PInt64 rest = timer.due_ - Now();
        return rest > 0 ? rest : 0;
    }

    static PInt64 Now()
    {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }

  private:
    TimerService() = default;

    void Remove(PTimer &timer)
    {
        if (!timer.running_)
            return;
        auto range = queue_.equal_range(timer.due_);
        for (auto it = range.first; it != range.second; ++it) {
            if (it->second == &timer) {
                queue_.erase(it);
                break;
            }
        }
        timer.running_ = false;
    }

    void Loop()
    {
        pthread_setname_np(pthread_self(), "PTimer");
        SetCurrentThreadName("PTimer");
        std::unique_lock<std::mutex> lock(waitable_.mutex);
        for (;;) {
            if (queue_.empty()) {
                waitable_.cond.wait(lock);
                continue;
            }
            auto next = queue_.begin();
            PInt64 now = Now();
            if (next->first > now) {
                waitable_.cond.wait_for(lock, std::chrono::milliseconds(next->first - now));
                continue;
            }
            PTimer *timer = next->second;
            queue_.erase(next);
            if (timer->periodic_) {
                timer->due_ += timer->interval_;
                if (timer->due_ <= now)
                    timer->due_ = now + timer->interval_;
                queue_.emplace(timer->due_, timer);
            } else {
                timer->running_ = false;
            }
            firing_ = timer;
            lock.unlock();
            timer->OnTimeout();
            lock.lock();
            // The call-back may have deleted its timer: only the pointer is compared.
            firing_ = nullptr;
            finished_.notify_all();
        }
    }

    Waitable waitable_;
    std::condition_variable finished_;
    std::multimap<PInt64, PTimer *> queue_;
    std::thread thread_;
    PTimer *firing_ = nullptr;
};

} // namespace pwlib

PTimer::PTimer(const PTimeInterval &interval, Notifier notifier) : notifier_(std::move(notifier))
{
    if (interval > 0)
        RunOnce(interval);
}

PTimer::~PTimer()
{
    Stop();
}

PTimer &PTimer::operator=(const PTimeInterval &interval)
{
    RunOnce(interval);
    return *this;
}

void PTimer::SetNotifier(Notifier notifier)
{
    pwlib::TimerService::Instance().SetNotifier(*this, std::move(notifier));
}

void PTimer::RunOnce(const PTimeInterval &interval)
{
    Start(interval, false);
}

void PTimer::RunContinuous(const PTimeInterval &interval)
{
    Start(interval, true);
}

void PTimer::Start(const PTimeInterval &interval, bool periodic)
{
    pwlib::TimerService::Instance().Start(*this, interval.GetMilliSeconds(), periodic);
}

void PTimer::Stop()
{
    pwlib::TimerService::Instance().Stop(*this);
}

BOOL PTimer::IsRunning() const
{
    return pwlib::TimerService::Instance().IsRunning(*this);
}

PTimeInterval PTimer::GetResetTime() const
{
    return PTimeInterval(pwlib::TimerService::Instance().ResetTime(*this));
}

PTimeInterval PTimer::GetRemaining() const
{
    return PTimeInterval(pwlib::TimerService::Instance().Remaining(*this));
}

PTimeInterval PTimer::Tick()
{
    return PTimeInterval(pwlib::TimerService::Now());
}

void PTimer::OnTimeout()
{
    Notifier notifier = pwlib::TimerService::Instance().GetNotifier(*this);
    if (notifier)
        notifier(*this);
}
