// PTimer: one-shot and periodic call-backs on the library's timer thread.
#pragma once

#include <pwlib/ptimeint.h>

#include <functional>

namespace pwlib
{
class TimerService;
}

/// A timer whose expiry calls OnTimeout() (by default, the notifier) on the library's
/// single timer thread. Call-backs of all timers run one after another there, so they
/// should be short.
///
/// Stop() and the destructor wait for a call-back of this timer that runs on the timer
/// thread at that moment (unless called from that call-back), so after them the call-back
/// is not running. A class that overrides OnTimeout() must call Stop() in its own
/// destructor.
class PTimer : public PObject
{
    PCLASSINFO(PTimer, PObject)
  public:
    using Notifier = std::function<void(PTimer &timer)>;

    /// Starts a one-shot timer when interval is above zero.
    explicit PTimer(const PTimeInterval &interval = 0, Notifier notifier = Notifier());
    ~PTimer() override;
    PTimer(const PTimer &) = delete;
    PTimer &operator=(const PTimer &) = delete;

    /// Restarts the timer as a one-shot timer of interval.
    PTimer &operator=(const PTimeInterval &interval);

    /// Sets the call-back of the default OnTimeout().
    void SetNotifier(Notifier notifier);
    /// Starts (or restarts) a one-shot timer; an interval of zero or less stops it.
    void RunOnce(const PTimeInterval &interval);
    /// Starts (or restarts) a periodic timer; an interval of zero or less stops it.
    /// Expiries missed while a call-back ran long are not made up.
    void RunContinuous(const PTimeInterval &interval);
    /// Stops the timer; see the class comment for call-backs in progress.
    void Stop();
    /// TRUE while an expiry is pending.
    BOOL IsRunning() const;
    /// The interval the timer was last started with.
    PTimeInterval GetResetTime() const;
    /// The time left until the next expiry (0 when not running).
    PTimeInterval GetRemaining() const;

    /// A monotonic clock in milliseconds, for measuring intervals.
    static PTimeInterval Tick();

  protected:
    /// Called on the timer thread at expiry; calls the notifier.
    virtual void OnTimeout();

  private:
    friend class pwlib::TimerService;
    void Start(const PTimeInterval &interval, bool periodic);

    Notifier notifier_;
    PInt64 interval_ = 0; // ms
    PInt64 due_ = 0;      // ms on the Tick() clock
    bool running_ = false;
    bool periodic_ = false;
};
