// PMutex, PTimedMutex, PSemaphore, PSyncPoint and PWaitAndSignal.
#include <pwlib/passert.h>
#include <pwlib/pmutex.h>
#include <pwlib/psyncpoint.h>
#include <pwlib/ptimer.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <future>
#include <thread>

namespace
{

PInt64 ElapsedSince(const PTimeInterval &start)
{
    return (PTimer::Tick() - start).GetMilliSeconds();
}

TEST(SyncPoint, KeepsASignalWithNoWaiterAndResetsAfterOneWait)
{
    PSyncPoint sync;
    EXPECT_FALSE(sync.Wait(0));
    sync.Signal();
    sync.Signal(); // not counted twice
    EXPECT_TRUE(sync.Wait(0));
    EXPECT_FALSE(sync.Wait(20));
}

TEST(SyncPoint, SignalWakesABlockedWaiter)
{
    PSyncPoint sync;
    auto waiter = std::async(std::launch::async, [&] { return sync.Wait(10000); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    PTimeInterval start = PTimer::Tick();
    sync.Signal();
    ASSERT_EQ(waiter.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_TRUE(waiter.get());
    EXPECT_LT(ElapsedSince(start), 1000);
}

TEST(SyncPoint, IsASemaphoreOfOne)
{
    PSyncPoint sync;
    EXPECT_TRUE(sync.IsDescendant("PSemaphore"));
    EXPECT_TRUE(sync.IsDescendant("PSync"));
}

TEST(TimedWaits, ExpireAfterTheirTimeOut)
{
    struct Case {
        const char *name;
        std::function<BOOL(const PTimeInterval &)> wait;
    };
    PSyncPoint sync;
    PSemaphore empty(0, 4);
    PTimedMutex heldElsewhere;
    PSyncPoint releaseHolder, held;
    std::thread holder([&] {
        heldElsewhere.Wait();
        held.Signal();
        releaseHolder.Wait(20000);
        heldElsewhere.Signal();
    });
    ASSERT_TRUE(held.Wait(5000));

    const Case cases[] = {
        {"sync point", [&](const PTimeInterval &t) { return sync.Wait(t); }},
        {"semaphore", [&](const PTimeInterval &t) { return empty.Wait(t); }},
        {"mutex held by another thread",
         [&](const PTimeInterval &t) { return heldElsewhere.Wait(t); }},
    };
    for (const Case &c : cases) {
        PTimeInterval start = PTimer::Tick();
        EXPECT_FALSE(c.wait(80)) << c.name;
        PInt64 elapsed = ElapsedSince(start);
        EXPECT_GE(elapsed, 80) << c.name;
        EXPECT_LT(elapsed, 2000) << c.name;
        EXPECT_FALSE(c.wait(0)) << c.name;
        EXPECT_FALSE(c.wait(-5)) << c.name;
    }
    releaseHolder.Signal();
    holder.join();
    EXPECT_TRUE(heldElsewhere.Wait(0));
    heldElsewhere.Signal();
}

TEST(Mutex, IsRecursiveForItsOwner)
{
    PMutex mutex;
    mutex.Wait();
    EXPECT_TRUE(mutex.Wait(0));
    EXPECT_FALSE(mutex.WillBlock());

    auto otherTry = [&](PInt64 ms) {
        return std::async(std::launch::async,
                          [&, ms] {
                              BOOL got = mutex.Wait(ms);
                              if (got)
                                  mutex.Signal();
                              return got;
                          })
            .get();
    };
    EXPECT_FALSE(otherTry(0));
    mutex.Signal();
    EXPECT_FALSE(otherTry(0)) << "still held once";
    mutex.Signal();
    EXPECT_TRUE(otherTry(0));
}

TEST(Mutex, ReleaseWakesTheWaiter)
{
    PMutex mutex;
    mutex.Wait();
    std::atomic<bool> acquired{false};
    std::thread waiter([&] {
        mutex.Wait();
        acquired = true;
        mutex.Signal();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(acquired);
    mutex.Signal();
    waiter.join();
    EXPECT_TRUE(acquired);
}

TEST(Mutex, SignalByANonOwnerIsReportedAndIgnored)
{
    int reports = 0;
    auto previous = pwlib::SetAssertHandler([&](const char *, int, const char *) { ++reports; });
    PMutex mutex;
    mutex.Signal();
    mutex.Wait();
    std::thread([&] { mutex.Signal(); }).join();
    pwlib::SetAssertHandler(previous);
    EXPECT_EQ(reports, 2);
    EXPECT_FALSE(mutex.WillBlock());
    mutex.Signal();
}

TEST(Mutex, ExcludesConcurrentIncrements)
{
    PMutex mutex;
    long counter = 0;
    auto work = [&] {
        for (int i = 0; i < 20000; ++i) {
            PWaitAndSignal lock(mutex);
            ++counter;
        }
    };
    std::thread a(work), b(work), c(work);
    a.join();
    b.join();
    c.join();
    EXPECT_EQ(counter, 60000);
}

TEST(Semaphore, CountsUpToItsMaximum)
{
    PSemaphore semaphore(2, 3);
    EXPECT_TRUE(semaphore.Wait(0));
    EXPECT_TRUE(semaphore.Wait(0));
    EXPECT_TRUE(semaphore.WillBlock());
    EXPECT_FALSE(semaphore.Wait(0));
    for (int i = 0; i < 5; ++i)
        semaphore.Signal();
    int taken = 0;
    while (semaphore.Wait(0))
        ++taken;
    EXPECT_EQ(taken, 3);
    EXPECT_FALSE(PSemaphore(7, 2).Wait(0) == FALSE);
}

TEST(WaitAndSignal, HoldsForTheScope)
{
    PMutex mutex;
    {
        PWaitAndSignal lock(mutex);
        EXPECT_TRUE(std::async(std::launch::async, [&] { return mutex.WillBlock(); }).get());
    }
    EXPECT_FALSE(std::async(std::launch::async, [&] { return mutex.WillBlock(); }).get());

    PSemaphore semaphore(0, 1);
    {
        PWaitAndSignal signalOnly(semaphore, FALSE);
    }
    EXPECT_TRUE(semaphore.Wait(0));
}

} // namespace
