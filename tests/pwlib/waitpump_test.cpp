// Wait pump: a thread blocked in a library wait keeps serving work that others send it.
#include <pwlib/pmutex.h>
#include <pwlib/psyncpoint.h>
#include <pwlib/pthread.h>
#include <pwlib/ptimer.h>
#include <pwlib/waitpump.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <future>
#include <memory>
#include <thread>

namespace
{

/// Stands in for a sent window message: the sender queues a request, wakes the interface
/// thread and waits for the answer its pump gives.
class SentRequest
{
  public:
    /// On the interface thread: installs the pump that serves this request.
    void Bind()
    {
        target_ = pwlib::SetWaitPump([this] { Serve(); });
    }
    /// On the sending thread.
    BOOL Send(const PTimeInterval &timeout)
    {
        pending_ = true;
        pwlib::WakeWaitPump(target_);
        return answered_.Wait(timeout);
    }
    /// Waits (with a time-out) until the pump has run at least calls times.
    bool AwaitPumpCalls(int calls)
    {
        for (int i = 0; i < 500 && pumpCalls < calls; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return pumpCalls >= calls;
    }

    std::atomic<int> pumpCalls{0};

  private:
    void Serve()
    {
        ++pumpCalls;
        if (pending_.exchange(false))
            answered_.Signal();
    }

    pwlib::WaitPumpTarget target_;
    std::atomic<bool> pending_{false};
    PSyncPoint answered_;
};

/// Runs body on a thread that plays the interface thread; the pump is removed at the end.
template <typename Body> auto OnInterfaceThread(SentRequest &request, Body body)
{
    return std::async(std::launch::async, [&request, body] {
        request.Bind();
        auto result = body();
        pwlib::SetWaitPump(nullptr);
        return result;
    });
}

TEST(WaitPump, InterfaceThreadWaitingOnAMutexServesTheHolder)
{
    // T holds the mutex and needs an answer from the interface thread before it lets go,
    // while the interface thread waits for that mutex: without the pump this deadlocks.
    PMutex connectionLock;
    PSyncPoint lockHeld;
    SentRequest request;
    std::promise<void> bound;

    auto ui = OnInterfaceThread(request, [&] {
        bound.set_value();
        if (!lockHeld.Wait(5000))
            return FALSE;
        BOOL got = connectionLock.Wait(10000);
        if (got)
            connectionLock.Signal();
        return got;
    });
    bound.get_future().wait();

    BOOL answered = FALSE;
    std::thread holder([&] {
        PWaitAndSignal hold(connectionLock);
        lockHeld.Signal();
        PThread::Sleep(30); // let the interface thread block on the mutex first
        answered = request.Send(10000);
    });
    ASSERT_EQ(ui.wait_for(std::chrono::seconds(20)), std::future_status::ready) << "deadlock";
    holder.join();
    EXPECT_TRUE(answered);
    EXPECT_TRUE(ui.get());
}

/// A blocking wait of the interface thread: it publishes how to end the wait, then blocks.
struct BlockingWait {
    const char *name;
    std::function<BOOL(const std::function<void(std::function<void()>)> &publish)> wait;
};

TEST(WaitPump, EveryBlockingWaitServesWakes)
{
    const BlockingWait cases[] = {
        {"PMutex::Wait",
         [](const auto &publish) {
             PMutex mutex;
             PSyncPoint held, unlock;
             std::thread owner([&] {
                 PWaitAndSignal hold(mutex);
                 held.Signal();
                 unlock.Wait(20000);
             });
             held.Wait(5000);
             publish([&] { unlock.Signal(); });
             BOOL got = mutex.Wait(10000);
             if (got)
                 mutex.Signal();
             owner.join();
             return got;
         }},
        {"PTimedMutex::Wait",
         [](const auto &publish) {
             PTimedMutex mutex;
             PSyncPoint held, unlock;
             std::thread owner([&] {
                 PWaitAndSignal hold(mutex);
                 held.Signal();
                 unlock.Wait(20000);
             });
             held.Wait(5000);
             publish([&] { unlock.Signal(); });
             BOOL got = mutex.Wait(10000);
             if (got)
                 mutex.Signal();
             owner.join();
             return got;
         }},
        {"PSemaphore::Wait",
         [](const auto &publish) {
             PSemaphore semaphore(0, 1);
             publish([&] { semaphore.Signal(); });
             return semaphore.Wait(10000);
         }},
        {"PSyncPoint::Wait without time-out",
         [](const auto &publish) {
             PSyncPoint sync;
             publish([&] { sync.Signal(); });
             sync.Wait();
             return TRUE;
         }},
        {"PThread::WaitForTermination",
         [](const auto &publish) {
             class Waiter : public PThread
             {
               public:
                 Waiter() : PThread(0, NoAutoDeleteThread) {}
                 void Main() override { stop.Wait(20000); }
                 PSyncPoint stop;
             } thread;
             thread.Resume();
             publish([&] { thread.stop.Signal(); });
             return thread.WaitForTermination(10000);
         }},
    };

    for (const BlockingWait &c : cases) {
        SentRequest request;
        std::promise<std::function<void()>> released;
        auto ui = OnInterfaceThread(request, [&] {
            return c.wait(
                [&](std::function<void()> release) { released.set_value(std::move(release)); });
        });
        auto releaseFuture = released.get_future();
        ASSERT_EQ(releaseFuture.wait_for(std::chrono::seconds(5)), std::future_status::ready)
            << c.name;
        std::function<void()> release = releaseFuture.get();
        // The pump runs once as the wait starts blocking, then once for each wake.
        EXPECT_TRUE(request.AwaitPumpCalls(1)) << c.name;
        EXPECT_TRUE(request.Send(5000)) << c.name;
        EXPECT_TRUE(request.Send(5000)) << c.name << " (second wake)";
        release();
        ASSERT_EQ(ui.wait_for(std::chrono::seconds(10)), std::future_status::ready) << c.name;
        EXPECT_TRUE(ui.get()) << c.name;
        EXPECT_GE(request.pumpCalls, 3) << c.name;
    }
}

TEST(WaitPump, SleepServesWakesAndLastsItsDelay)
{
    SentRequest request;
    std::promise<void> bound;
    auto ui = OnInterfaceThread(request, [&] {
        bound.set_value();
        PTimeInterval start = PTimer::Tick();
        PThread::Sleep(400);
        return (PTimer::Tick() - start).GetMilliSeconds();
    });
    bound.get_future().wait();
    ASSERT_TRUE(request.AwaitPumpCalls(1));
    EXPECT_TRUE(request.Send(5000));
    ASSERT_EQ(ui.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    PInt64 slept = ui.get();
    EXPECT_GE(slept, 400);
    EXPECT_LT(slept, 3000);
}

TEST(WaitPump, RepeatedWakesDoNotStretchOrShortenATimedWait)
{
    SentRequest request;
    std::atomic<bool> done{false};
    std::promise<void> bound;
    auto ui = OnInterfaceThread(request, [&] {
        bound.set_value();
        PSyncPoint never;
        PTimeInterval start = PTimer::Tick();
        BOOL result = never.Wait(250);
        PInt64 elapsed = (PTimer::Tick() - start).GetMilliSeconds();
        done = true;
        return std::make_pair(result, elapsed);
    });
    bound.get_future().wait();
    int wakes = 0;
    while (!done && wakes < 2000) {
        // Wakes without a request: the pump runs and finds nothing to do.
        request.Send(0);
        ++wakes;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_EQ(ui.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    auto [result, elapsed] = ui.get();
    EXPECT_FALSE(result);
    EXPECT_GE(elapsed, 250);
    EXPECT_LT(elapsed, 2000);
    EXPECT_GT(request.pumpCalls, 5);
}

TEST(WaitPump, WakeOfAnEndedThreadOrAnEmptyTargetIsHarmless)
{
    pwlib::WaitPumpTarget empty;
    EXPECT_FALSE(empty.IsValid());
    pwlib::WakeWaitPump(empty);

    pwlib::WaitPumpTarget ended;
    std::thread([&] { ended = pwlib::SetWaitPump([] {}); }).join();
    EXPECT_TRUE(ended.IsValid());
    pwlib::WakeWaitPump(ended);
}

TEST(WaitPump, ThreadWithoutPumpIsNotCalled)
{
    SentRequest request;
    std::promise<void> bound;
    auto ui = OnInterfaceThread(request, [&] {
        pwlib::SetWaitPump(nullptr);
        bound.set_value();
        PSyncPoint never;
        return never.Wait(100);
    });
    bound.get_future().wait();
    ASSERT_EQ(ui.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_FALSE(ui.get());
    EXPECT_EQ(request.pumpCalls, 0);
}

} // namespace
