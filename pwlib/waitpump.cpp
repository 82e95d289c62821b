// Wait pump: installing a thread's pump and waking it from other threads.
#include <pwlib/internal/wait.h>
#include <pwlib/waitpump.h>

namespace pwlib
{

WaitPumpTarget SetWaitPump(std::function<void()> pump)
{
    PumpContext::ForCurrentThread()->SetPump(std::move(pump));
    return CurrentWaitPumpTarget();
}

WaitPumpTarget CurrentWaitPumpTarget()
{
    WaitPumpTarget target;
    target.context_ = PumpContext::ForCurrentThread();
    return target;
}

void WakeWaitPump(const WaitPumpTarget &target)
{
    if (target.context_)
        target.context_->Wake();
}

} // namespace pwlib
