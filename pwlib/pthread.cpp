// PThread: start, self-deletion, termination waits, the current thread and sleeping.
#include <pwlib/internal/threadname.h>
#include <pwlib/internal/wait.h>
#include <pwlib/passert.h>
#include <pwlib/pthread.h>

#include <cinttypes>
#include <cstdio>
#include <exception>
#include <system_error>
#include <thread>

#include <pthread.h>

namespace pwlib
{

struct ThreadControl {
    enum State { Suspended, Running, Terminated, Adopted };

    Waitable waitable;
    State state = Suspended;
    std::thread thread;
    std::thread::id runner; // the thread running Main, once it has started
    std::string name;
    PThread::Priority priority = PThread::NormalPriority;
};

namespace
{

thread_local PThread *currentThread = nullptr;

/// The object PThread::Current() gives a thread that this library did not start.
class ForeignThread : public PThread
{
    PCLASSINFO(ForeignThread, PThread)
  public:
    ForeignThread() : PThread(AdoptTag()) {}
    void Main() override {}
};

/// Replaces the first "%x"-style conversion (flags and width allowed) with id in hex.
std::string FormatName(const std::string &name, const void *id)
{
    size_t percent = name.find('%');
    if (percent == std::string::npos)
        return name;
    size_t end = percent + 1;
    while (end < name.size() && (name[end] == '0' || (name[end] >= '1' && name[end] <= '9')))
        ++end;
    if (end >= name.size() || (name[end] != 'x' && name[end] != 'X'))
        return name;
    char hex[32];
    std::snprintf(hex, sizeof(hex), "%" PRIxPTR, reinterpret_cast<uintptr_t>(id));
    return name.substr(0, percent) + hex + name.substr(end + 1);
}

void SetSystemName(const std::string &name)
{
    // The kernel keeps at most 15 bytes of a thread's name.
    pthread_setname_np(pthread_self(), name.substr(0, 15).c_str());
    SetCurrentThreadName(name);
}

} // namespace
} // namespace pwlib

using pwlib::ThreadControl;

PThread::PThread(PINDEX, AutoDeleteFlag deletion, Priority priority, const PString &threadName)
    : control_(std::make_shared<ThreadControl>()), autoDelete_(deletion)
{
    control_->priority = priority;
    control_->name = pwlib::FormatName(threadName.GetText(), this);
}

PThread::PThread(AdoptTag)
    : control_(std::make_shared<ThreadControl>()), autoDelete_(NoAutoDeleteThread)
{
    control_->state = ThreadControl::Adopted;
}

void PThread::BindToCallingThread()
{
    pwlib::currentThread = this;
}

PThread::~PThread()
{
    std::shared_ptr<ThreadControl> control = control_;
    if (pwlib::currentThread == this)
        pwlib::currentThread = nullptr;
    std::thread finished;
    {
        std::unique_lock<std::mutex> lock(control->waitable.mutex);
        bool own = control->runner == std::this_thread::get_id();
        if (control->state == ThreadControl::Running && !own) {
            PAssertAlways("PThread deleted while its Main is running; waiting for it to end");
            control->waitable.cond.wait(lock,
                                        [&] { return control->state != ThreadControl::Running; });
        }
        if (control->thread.joinable()) {
            if (own)
                control->thread.detach();
            else
                finished = std::move(control->thread);
        }
    }
    if (finished.joinable())
        finished.join();
}

void PThread::Run(PThread *thread, std::shared_ptr<ThreadControl> control)
{
    pwlib::currentThread = thread;
    std::string name;
    {
        std::lock_guard<std::mutex> lock(control->waitable.mutex);
        control->runner = std::this_thread::get_id();
        name = control->name;
    }
    pwlib::SetSystemName(name);
    bool autoDelete = thread->autoDelete_ == AutoDeleteThread;
    try {
        thread->Main();
    } catch (const std::exception &e) {
        PAssertAlways(e.what());
    } catch (...) {
        PAssertAlways("Unknown exception left PThread::Main");
    }
    // From here on the object may already be gone (deleted by its owner or by itself).
    pwlib::currentThread = nullptr;
    if (autoDelete)
        delete thread;
    std::lock_guard<std::mutex> lock(control->waitable.mutex);
    control->state = ThreadControl::Terminated;
    control->waitable.cond.notify_all();
}

void PThread::Resume()
{
    std::shared_ptr<ThreadControl> control = control_;
    std::lock_guard<std::mutex> lock(control->waitable.mutex);
    if (control->state != ThreadControl::Suspended)
        return;
    try {
        control->thread = std::thread(&PThread::Run, this, control);
    } catch (const std::system_error &) {
        control->state = ThreadControl::Terminated;
        control->waitable.cond.notify_all();
        PAssertAlways("Could not create a thread");
        return;
    }
    control->state = ThreadControl::Running;
    if (autoDelete_ == AutoDeleteThread)
        control->thread.detach();
}

BOOL PThread::IsSuspended() const
{
    std::lock_guard<std::mutex> lock(control_->waitable.mutex);
    return control_->state == ThreadControl::Suspended;
}

BOOL PThread::IsTerminated() const
{
    std::lock_guard<std::mutex> lock(control_->waitable.mutex);
    return control_->state == ThreadControl::Terminated;
}

void PThread::WaitForTermination() const
{
    WaitForTermination(PMaxTimeInterval);
}

BOOL PThread::WaitForTermination(const PTimeInterval &maxWait) const
{
    std::shared_ptr<ThreadControl> control = control_;
    {
        std::lock_guard<std::mutex> lock(control->waitable.mutex);
        if (control->state == ThreadControl::Running &&
            control->runner == std::this_thread::get_id())
            return PAssertAlways("A thread cannot wait for its own termination");
    }
    pwlib::Deadline deadline = pwlib::Deadline::After(maxWait);
    pwlib::WaitScope scope(control->waitable);
    std::unique_lock<std::mutex> lock(control->waitable.mutex);
    return scope.Wait(lock, deadline, [&] { return control->state != ThreadControl::Running; });
}

void PThread::SetPriority(Priority priority)
{
    std::lock_guard<std::mutex> lock(control_->waitable.mutex);
    control_->priority = priority;
}

PThread::Priority PThread::GetPriority() const
{
    std::lock_guard<std::mutex> lock(control_->waitable.mutex);
    return control_->priority;
}

void PThread::SetThreadName(const PString &name)
{
    std::string formatted = pwlib::FormatName(name.GetText(), this);
    {
        std::lock_guard<std::mutex> lock(control_->waitable.mutex);
        control_->name = formatted;
    }
    if (pwlib::currentThread == this)
        pwlib::SetSystemName(formatted);
}

PString PThread::GetThreadName() const
{
    std::lock_guard<std::mutex> lock(control_->waitable.mutex);
    return PString(control_->name);
}

PThread *PThread::Current()
{
    if (pwlib::currentThread != nullptr)
        return pwlib::currentThread;
    thread_local std::unique_ptr<pwlib::ForeignThread> foreign;
    if (!foreign)
        foreign = std::make_unique<pwlib::ForeignThread>();
    pwlib::currentThread = foreign.get();
    return pwlib::currentThread;
}

void PThread::Sleep(const PTimeInterval &delay)
{
    pwlib::SleepUntil(pwlib::Deadline::After(delay));
}
