// PTimer call-backs, and the time types PTimeInterval and PTime.
#include <pwlib/psyncpoint.h>
#include <pwlib/ptime.h>
#include <pwlib/ptimer.h>

#include <gtest/gtest.h>

#include <atomic>
#include <regex>
#include <sstream>
#include <thread>

namespace
{

TEST(Timer, OneShotFiresOnceAfterItsInterval)
{
    PSyncPoint fired;
    std::atomic<int> calls{0};
    PTimeInterval start = PTimer::Tick();
    PTimeInterval firedAt;
    PTimer timer(0, [&](PTimer &) {
        firedAt = PTimer::Tick();
        ++calls;
        fired.Signal();
    });
    EXPECT_FALSE(timer.IsRunning());
    timer = 60;
    EXPECT_TRUE(timer.IsRunning());
    EXPECT_EQ(timer.GetResetTime(), 60);
    ASSERT_TRUE(fired.Wait(5000));
    EXPECT_GE((firedAt - start).GetMilliSeconds(), 60);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(timer.IsRunning());
    EXPECT_EQ(timer.GetRemaining(), 0);
}

TEST(Timer, ContinuousFiresRepeatedlyUntilStopped)
{
    std::atomic<int> calls{0};
    PSyncPoint third;
    PTimer timer;
    timer.SetNotifier([&](PTimer &) {
        if (++calls == 3)
            third.Signal();
    });
    timer.RunContinuous(20);
    ASSERT_TRUE(third.Wait(5000));
    timer.Stop();
    int atStop = calls;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(calls, atStop);
    EXPECT_FALSE(timer.IsRunning());
}

TEST(Timer, StopWaitsForARunningCallBack)
{
    PSyncPoint entered;
    std::atomic<bool> finished{false};
    auto timer = std::make_unique<PTimer>(1, [&](PTimer &) {
        entered.Signal();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        finished = true;
    });
    ASSERT_TRUE(entered.Wait(5000));
    timer.reset(); // destructor stops and waits
    EXPECT_TRUE(finished);
}

TEST(Timer, CallBackMayStopOrRestartItsOwnTimer)
{
    std::atomic<int> calls{0};
    PSyncPoint done;
    PTimer timer;
    timer.SetNotifier([&](PTimer &t) {
        if (++calls < 3) {
            t.RunOnce(5);
        } else {
            t.Stop();
            done.Signal();
        }
    });
    timer.RunOnce(5);
    ASSERT_TRUE(done.Wait(5000));
    EXPECT_EQ(calls, 3);
}

TEST(Timer, ZeroIntervalStopsAndEarlierTimersFireFirst)
{
    PTimer stopped(0, [](PTimer &) { FAIL(); });
    stopped.RunOnce(1000);
    stopped.RunOnce(0);
    EXPECT_FALSE(stopped.IsRunning());

    std::vector<int> order;
    std::mutex orderMutex;
    PSyncPoint bothFired;
    auto record = [&](int id) {
        std::lock_guard<std::mutex> lock(orderMutex);
        order.push_back(id);
        if (order.size() == 2)
            bothFired.Signal();
    };
    PTimer late(120, [&](PTimer &) { record(2); });
    PTimer early(30, [&](PTimer &) { record(1); });
    ASSERT_TRUE(bothFired.Wait(5000));
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
}

TEST(TimeInterval, ArithmeticAndComparisons)
{
    struct Case {
        PTimeInterval value;
        PInt64 ms;
    };
    const Case cases[] = {
        {PTimeInterval(1500), 1500},       {PTimeInterval(0, 2), 2000},
        {PTimeInterval(5, 1, 1), 61005},   {PTimeInterval(0, 0, 0, 1, 1), 90000000},
        {PTimeInterval(1000) + 500, 1500}, {PTimeInterval(1000) - 1500, -500},
        {PTimeInterval(300) * 3, 900},     {PTimeInterval(1000) / 3, 333},
        {-PTimeInterval(20), -20},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.value.GetMilliSeconds(), c.ms);

    PTimeInterval t(61500);
    EXPECT_EQ(t.GetSeconds(), 61);
    EXPECT_EQ(t.GetMinutes(), 1);
    EXPECT_EQ(t.GetInterval(), 61500u);
    EXPECT_EQ(PTimeInterval(-5).GetInterval(), 0u);
    t += 500;
    t -= 1000;
    t *= 2;
    t /= 4;
    EXPECT_EQ(t.GetMilliSeconds(), 30500);
    EXPECT_TRUE(PTimeInterval(5) < 6);
    EXPECT_TRUE(6 > PTimeInterval(5));
    EXPECT_TRUE(PTimeInterval(5) == 5);
    EXPECT_TRUE(PTimeInterval(5) != PTimeInterval(6));
    EXPECT_TRUE(PTimeInterval(5) <= 5 && PTimeInterval(5) >= 5);
    EXPECT_TRUE(PMaxTimeInterval > PTimeInterval(0, 0, 0, 0, 24));

    std::ostringstream out;
    out << PTimeInterval(1500) << ' ' << PTimeInterval(-42);
    EXPECT_EQ(out.str(), "1.500 -0.042");
}

TEST(Time, DifferencesAndPrintedForm)
{
    PTime a(1000000000, 250000);
    PTime b = a + PTimeInterval(1750);
    EXPECT_EQ((b - a).GetMilliSeconds(), 1750);
    EXPECT_EQ(b.GetTimeInSeconds(), 1000000002);
    EXPECT_EQ(b.GetMicrosecond(), 0);
    EXPECT_TRUE(a < b);
    b -= PTimeInterval(1750);
    EXPECT_TRUE(a == b);

    PTime now;
    EXPECT_GT(now.GetTimeInSeconds(), 1600000000);
    EXPECT_TRUE(std::regex_match(
        static_cast<const char *>(now.AsString()),
        std::regex("[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\\.[0-9]{3}")));
}

} // namespace
