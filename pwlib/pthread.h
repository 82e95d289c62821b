// PThread: a thread of the library, created suspended and started by Resume().
#pragma once

#include <pwlib/pstring.h>
#include <pwlib/ptimeint.h>

#include <memory>

namespace pwlib
{
struct ThreadControl;
} // namespace pwlib

/// A thread whose body is Main().
///
/// The thread is created suspended: nothing runs until Resume(). With AutoDeleteThread the
/// object deletes itself when Main returns (nobody else may delete it or wait on it then);
/// with NoAutoDeleteThread its owner deletes it, normally after WaitForTermination().
/// Deleting a thread that never ran is fine. Deleting a running thread from another thread
/// is a fault: it is reported and the destructor waits for Main to return.
class PThread : public PObject
{
    PCLASSINFO(PThread, PObject)
  public:
    enum AutoDeleteFlag { AutoDeleteThread, NoAutoDeleteThread };
    /// Kept for callers; every thread runs at the system's normal priority.
    enum Priority { LowestPriority, LowPriority, NormalPriority, HighPriority, HighestPriority };

    /// stackSize is a hint only (the system's default stack is used). A "%x" or "%0x" in
    /// threadName is replaced by a hexadecimal number identifying the thread.
    PThread(PINDEX stackSize, AutoDeleteFlag deletion = AutoDeleteThread,
            Priority priority = NormalPriority, const PString &threadName = PString());
    ~PThread() override;
    PThread(const PThread &) = delete;
    PThread &operator=(const PThread &) = delete;

    /// The body of the thread.
    virtual void Main() = 0;

    /// Starts Main() on a new thread; later calls do nothing. If the system cannot create
    /// a thread it reports an assertion and the thread counts as terminated.
    virtual void Resume();
    /// TRUE until Resume() has been called.
    BOOL IsSuspended() const;
    /// TRUE once Main() has returned.
    BOOL IsTerminated() const;
    /// Blocks until Main() has returned; returns at once for a thread that was never
    /// resumed (there is nothing to wait for). A thread waiting for itself is reported
    /// and returns at once.
    void WaitForTermination() const;
    /// As WaitForTermination, at most maxWait; TRUE when no Main() is running any more.
    BOOL WaitForTermination(const PTimeInterval &maxWait) const;

    void SetPriority(Priority priority);
    Priority GetPriority() const;
    void SetThreadName(const PString &name);
    PString GetThreadName() const;
    BOOL IsAutoDelete() const { return autoDelete_ == AutoDeleteThread; }

    /// The calling thread's object. Threads not started by this library (the main thread
    /// before the process object exists, threads of other libraries) get an object of
    /// their own that lives as long as the thread.
    static PThread *Current();
    /// Blocks the calling thread for delay.
    static void Sleep(const PTimeInterval &delay);

  protected:
    struct AdoptTag {
    };
    /// Stands for a thread that already runs (the process object's, or a foreign thread's).
    explicit PThread(AdoptTag);
    /// Makes this object the one Current() gives the calling thread.
    void BindToCallingThread();

  private:
    static void Run(PThread *thread, std::shared_ptr<pwlib::ThreadControl> control);

    std::shared_ptr<pwlib::ThreadControl> control_;
    AutoDeleteFlag autoDelete_;
};
