// PThread: suspended creation, Resume, auto-delete, termination waits, Current and Sleep.
#include <pwlib/passert.h>
#include <pwlib/psyncpoint.h>
#include <pwlib/pthread.h>
#include <pwlib/ptimer.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

namespace
{

/// Runs body as Main.
class FunctionThread : public PThread
{
  public:
    FunctionThread(std::function<void()> body, AutoDeleteFlag deletion = NoAutoDeleteThread,
                   const PString &name = PString())
        : PThread(5000, deletion, NormalPriority, name), body_(std::move(body))
    {
    }
    void Main() override { body_(); }

  private:
    std::function<void()> body_;
};

TEST(Thread, StaysSuspendedUntilResume)
{
    std::atomic<bool> ran{false};
    FunctionThread thread([&] { ran = true; });
    PThread::Sleep(50);
    EXPECT_FALSE(ran);
    EXPECT_TRUE(thread.IsSuspended());
    EXPECT_FALSE(thread.IsTerminated());
    thread.Resume();
    ASSERT_TRUE(thread.WaitForTermination(5000));
    EXPECT_TRUE(ran);
    EXPECT_FALSE(thread.IsSuspended());
    EXPECT_TRUE(thread.IsTerminated());
    thread.Resume(); // a second Resume does not run Main again
    EXPECT_TRUE(thread.IsTerminated());
}

TEST(Thread, AutoDeleteThreadDeletesItselfWhenMainReturns)
{
    static PSyncPoint deleted;
    class SelfDeleting : public PThread
    {
      public:
        SelfDeleting() : PThread(30000, AutoDeleteThread) {}
        ~SelfDeleting() override { deleted.Signal(); }
        void Main() override {}
    };
    SelfDeleting *thread = new SelfDeleting;
    EXPECT_TRUE(thread->IsAutoDelete());
    thread->Resume();
    EXPECT_TRUE(deleted.Wait(5000));
}

TEST(Thread, NeverResumedThreadIsSafeToWaitForAndDelete)
{
    auto thread = std::make_unique<FunctionThread>([] { FAIL() << "must not run"; });
    PTimeInterval start = PTimer::Tick();
    thread->WaitForTermination();
    EXPECT_TRUE(thread->WaitForTermination(5000));
    EXPECT_LT((PTimer::Tick() - start).GetMilliSeconds(), 1000);
    thread.reset();
}

TEST(Thread, TimedWaitForTerminationExpiresWhileMainRuns)
{
    PSyncPoint release;
    FunctionThread thread([&] { release.Wait(10000); });
    thread.Resume();
    PTimeInterval start = PTimer::Tick();
    EXPECT_FALSE(thread.WaitForTermination(100));
    EXPECT_GE((PTimer::Tick() - start).GetMilliSeconds(), 100);
    EXPECT_FALSE(thread.IsTerminated());
    release.Signal();
    EXPECT_TRUE(thread.WaitForTermination(5000));
}

TEST(Thread, DeletingRightAfterWaitForTerminationIsSafe)
{
    // The owner's pattern: stop, wait, delete; repeated to catch a race with thread exit.
    for (int i = 0; i < 200; ++i) {
        auto thread = std::make_unique<FunctionThread>([] {});
        thread->Resume();
        thread->WaitForTermination();
        thread.reset();
    }
}

TEST(Thread, CurrentGivesTheRunningThreadObject)
{
    PThread *seen = nullptr;
    FunctionThread thread([&] { seen = PThread::Current(); });
    thread.Resume();
    ASSERT_TRUE(thread.WaitForTermination(5000));
    EXPECT_EQ(seen, &thread);

    // A thread this library did not start gets a stable object of its own.
    bool stable = false, isThread = false;
    std::thread foreign([&] {
        PThread *first = PThread::Current();
        stable = first != nullptr && first == PThread::Current();
        isThread = first != nullptr && first->IsDescendant("PThread") && !first->IsTerminated();
    });
    foreign.join();
    EXPECT_TRUE(stable);
    EXPECT_TRUE(isThread);
}

TEST(Thread, NamesAndPriorities)
{
    FunctionThread thread([] {}, PThread::NoAutoDeleteThread, "H225 Answer:%0x");
    PString name = thread.GetThreadName();
    EXPECT_EQ(name.Find("H225 Answer:"), 0);
    EXPECT_EQ(name.Find('%'), P_MAX_INDEX);
    EXPECT_GT(name.GetLength(), 12);

    FunctionThread plain([] {}, PThread::NoAutoDeleteThread, "100% sure");
    EXPECT_EQ(plain.GetThreadName(), "100% sure");

    thread.SetPriority(PThread::HighestPriority);
    EXPECT_EQ(thread.GetPriority(), PThread::HighestPriority);
}

TEST(Thread, SleepWaitsAtLeastTheDelay)
{
    PTimeInterval start = PTimer::Tick();
    PThread::Sleep(50);
    PInt64 elapsed = (PTimer::Tick() - start).GetMilliSeconds();
    EXPECT_GE(elapsed, 50);
    EXPECT_LT(elapsed, 2000);
}

TEST(Thread, WaitingForItselfIsReportedNotHung)
{
    int reports = 0;
    auto previous = pwlib::SetAssertHandler([&](const char *, int, const char *) { ++reports; });
    BOOL result = TRUE;
    FunctionThread *self = nullptr;
    FunctionThread thread([&] { result = self->WaitForTermination(100000); });
    self = &thread;
    thread.Resume();
    EXPECT_TRUE(thread.WaitForTermination(5000));
    pwlib::SetAssertHandler(previous);
    EXPECT_FALSE(result);
    EXPECT_EQ(reports, 1);
}

TEST(Thread, ExceptionLeavingMainIsReportedAndEndsTheThread)
{
    int reports = 0;
    auto previous = pwlib::SetAssertHandler([&](const char *, int, const char *) { ++reports; });
    FunctionThread thread([] { throw std::runtime_error("boom"); });
    thread.Resume();
    EXPECT_TRUE(thread.WaitForTermination(5000));
    pwlib::SetAssertHandler(previous);
    EXPECT_EQ(reports, 1);
}

} // namespace
