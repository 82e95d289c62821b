// Wait pump: lets a thread keep serving its own work while it blocks in a library wait.
#pragma once

#include <functional>
#include <memory>

namespace pwlib
{

class PumpContext;

/// Names a thread that has (or may get) a wait pump. Copyable; stays safe to use after the
/// thread has ended (waking it then does nothing).
class WaitPumpTarget
{
  public:
    WaitPumpTarget() = default;
    bool IsValid() const { return context_ != nullptr; }

  private:
    friend WaitPumpTarget CurrentWaitPumpTarget();
    friend void WakeWaitPump(const WaitPumpTarget &target);
    std::shared_ptr<PumpContext> context_;
};

/// Installs pump for the calling thread, replacing any earlier one; an empty function
/// removes it. Returns the calling thread's target.
///
/// While the thread has a pump, every blocking wait of this library made BY THAT THREAD
/// calls the pump: PMutex/PTimedMutex::Wait, PSemaphore::Wait, PSyncPoint::Wait,
/// PThread::WaitForTermination, PThread::Sleep, and the socket waits (Connect, Accept,
/// Read, Write, ReadFrom, PSocket::Select). The pump is called on the waiting thread, with
/// no lock of the library held:
///   - once when the wait starts to block (a wait that can be satisfied at once does not
///     call it), and
///   - again each time another thread calls WakeWaitPump() for this thread, at once (the
///     wait is woken; no polling).
/// The wait still ends exactly when its condition holds or its time-out expires; pump
/// calls do not extend it. A wake that arrives while the thread does not wait is kept and
/// served at the start of its next blocking wait.
///
/// The pump should do its work and return promptly. It may itself wait in this library;
/// those nested waits call the pump again (re-entrantly), so a pump that cannot be
/// re-entered must guard itself. Threads without a pump wait as usual, at no extra cost.
///
/// Typical use (the windowing layer): the interface thread installs a pump that runs the
/// messages sent to it from other threads; a sending thread queues its message, then
/// calls WakeWaitPump(interfaceThread) and waits for the reply.
WaitPumpTarget SetWaitPump(std::function<void()> pump);

/// The calling thread's target, whether or not it has a pump yet.
WaitPumpTarget CurrentWaitPumpTarget();

/// Any thread: asks target's thread to call its pump (see SetWaitPump). Never blocks
/// longer than a few lock hand-overs; does nothing for an invalid target.
void WakeWaitPump(const WaitPumpTarget &target);

} // namespace pwlib
