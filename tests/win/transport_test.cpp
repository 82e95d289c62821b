// Window messages on the Qt event loop: order, blocking sends, nested loops, timers, lifetime.
#include <win/cwnd.h>

#include <pwlib/pmutex.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <thread>
#include <vector>

namespace
{

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const UINT WM_RECORD = WM_USER + 1;
const UINT WM_ECHO = WM_USER + 2;
const UINT WM_RUN = WM_USER + 3; // calls the window's hook

class AppEnvironment : public ::testing::Environment
{
  public:
    void SetUp() override { m_app = new QCoreApplication(m_argc, m_argv); }
    void TearDown() override { delete m_app; }

  private:
    int m_argc = 1;
    char m_name[16] = "transport_test";
    char *m_argv[2] = {m_name, nullptr};
    QCoreApplication *m_app = nullptr;
};
const auto *const g_env = ::testing::AddGlobalTestEnvironment(new AppEnvironment);

// Runs the interface thread's event loop until done() or the time-out.
bool RunUntil(const std::function<bool()> &done, std::chrono::milliseconds timeout = 5000ms)
{
    auto end = Clock::now() + timeout;
    while (!done()) {
        if (Clock::now() > end)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

void Pump(std::chrono::milliseconds duration)
{
    RunUntil([] { return false; }, duration);
}

class TestWnd : public CWnd
{
  public:
    TestWnd() { EXPECT_TRUE(CreateHandle()); }

    std::vector<WPARAM> records;
    std::vector<std::pair<UINT_PTR, Clock::time_point>> ticks;
    std::function<void()> hook;
    std::function<void(UINT_PTR)> onTick;
    bool destroyed = false;

    size_t TicksOf(UINT_PTR id) const
    {
        size_t n = 0;
        for (auto &t : ticks)
            n += t.first == id;
        return n;
    }

  protected:
    LRESULT OnRecord(WPARAM w, LPARAM)
    {
        records.push_back(w);
        return 0;
    }
    LRESULT OnEcho(WPARAM w, LPARAM l) { return static_cast<LRESULT>(w) + l; }
    LRESULT OnRun(WPARAM, LPARAM)
    {
        hook();
        return 1;
    }
    afx_msg void OnTimer(UINT_PTR id)
    {
        ticks.emplace_back(id, Clock::now());
        if (onTick)
            onTick(id);
    }
    afx_msg void OnDestroy() { destroyed = true; }

    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(TestWnd, CWnd)
ON_MESSAGE(WM_RECORD, OnRecord)
ON_MESSAGE(WM_ECHO, OnEcho)
ON_MESSAGE(WM_RUN, OnRun)
ON_WM_TIMER()
ON_WM_DESTROY()
END_MESSAGE_MAP()

TEST(TransportTest, PostedMessagesKeepTheirOrderFromEveryThread)
{
    TestWnd wnd;
    const int kThreads = 4, kEach = 500;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i)
                EXPECT_TRUE(::PostMessage(wnd, WM_RECORD, (t << 16) | i, 0));
        });
    for (auto &th : threads)
        th.join();
    EXPECT_TRUE(wnd.PostMessage(WM_RECORD, 0xFFFF0000));
    ASSERT_TRUE(RunUntil([&] { return wnd.records.size() == kThreads * kEach + 1; }));

    std::map<int, int> next;
    for (size_t k = 0; k + 1 < wnd.records.size(); ++k) {
        int t = static_cast<int>(wnd.records[k] >> 16), i = wnd.records[k] & 0xFFFF;
        EXPECT_EQ(i, next[t]++) << "thread " << t;
    }
    EXPECT_EQ(wnd.records.back(), 0xFFFF0000u) << "posted after the others, handled after them";
}

TEST(TransportTest, SendFromAnotherThreadWaitsForTheHandler)
{
    TestWnd wnd;
    std::atomic<bool> handled{false};
    wnd.hook = [&] {
        std::this_thread::sleep_for(50ms);
        handled = true;
    };
    std::atomic<LRESULT> echo{0}, run{0};
    std::atomic<bool> handledAtReturn{false};
    std::thread sender([&] {
        echo = ::SendMessage(wnd, WM_ECHO, 40, 2);
        run = ::SendMessage(wnd, WM_RUN, 0, 0);
        handledAtReturn = handled.load();
    });
    ASSERT_TRUE(RunUntil([&] { return run != 0; }));
    sender.join();
    EXPECT_EQ(echo, 42);
    EXPECT_TRUE(handledAtReturn);
}

TEST(TransportTest, SendOnTheInterfaceThreadIsADirectCall)
{
    TestWnd wnd;
    wnd.PostMessage(WM_RECORD, 1);
    EXPECT_EQ(wnd.SendMessage(WM_ECHO, 5, 6), 11);
    wnd.hook = [&] { wnd.records.push_back(2); };
    EXPECT_EQ(::SendMessage(wnd, WM_RUN, 0, 0), 1);
    EXPECT_EQ(wnd.records, std::vector<WPARAM>{2}) << "the posted message is still queued";
    ASSERT_TRUE(RunUntil([&] { return wnd.records.size() == 2; }));
    EXPECT_EQ(wnd.records, (std::vector<WPARAM>{2, 1}));
}

// A handler that runs a nested event loop (as a modal dialog does) still receives messages
// sent from other threads, and posted ones.
TEST(TransportTest, NestedEventLoopServesSentAndPostedMessages)
{
    TestWnd wnd;
    std::atomic<LRESULT> sent{0};
    bool nestedDone = false, timedOut = false;
    wnd.hook = [&] {
        QEventLoop loop;
        QTimer::singleShot(5000, &loop, [&] {
            timedOut = true;
            loop.quit();
        });
        std::thread sender([&] {
            ::PostMessage(wnd, WM_RECORD, 7, 0);
            sent = ::SendMessage(wnd, WM_ECHO, 1, 1);
            QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
        });
        loop.exec();
        sender.join();
        nestedDone = true;
    };
    wnd.PostMessage(WM_RUN);
    ASSERT_TRUE(RunUntil([&] { return nestedDone; }, 10000ms));
    EXPECT_FALSE(timedOut);
    EXPECT_EQ(sent, 2);
    EXPECT_EQ(wnd.records, std::vector<WPARAM>{7});
}

TEST(TransportTest, ServeSentMessagesRunsQueuedSends)
{
    TestWnd wnd;
    std::atomic<LRESULT> result{0};
    std::thread sender([&] { result = ::SendMessage(wnd, WM_ECHO, 3, 4); });
    // Serve without returning to the event loop.
    auto end = Clock::now() + 5s;
    while (result == 0 && Clock::now() < end) {
        win::ServeSentMessages();
        std::this_thread::sleep_for(1ms);
    }
    sender.join();
    EXPECT_EQ(result, 7);
    EXPECT_TRUE(win::InvokeOnUiThread([] {}));
}

// A library thread that holds a mutex sends to the interface thread, which is waiting for that
// mutex: the send is served inside the wait, so both go on (the wait's time-out would report a
// deadlock).
TEST(TransportTest, SendWhileTheInterfaceThreadWaitsInTheLibraryDoesNotDeadlock)
{
    TestWnd wnd;
    PMutex mutex;
    std::atomic<bool> locked{false};
    std::atomic<LRESULT> result{0};
    std::thread library([&] {
        mutex.Wait();
        locked = true;
        result = ::SendMessage(wnd, WM_ECHO, 20, 22);
        mutex.Signal();
    });
    while (!locked)
        std::this_thread::sleep_for(1ms);
    auto start = Clock::now();
    BOOL acquired = mutex.Wait(PTimeInterval(5000));
    auto waited = Clock::now() - start;
    if (acquired)
        mutex.Signal();
    library.join();
    EXPECT_TRUE(acquired);
    EXPECT_EQ(result, 42);
    EXPECT_LT(waited, 4s);
}

TEST(TransportTest, TimersTickPeriodicallyUntilKilled)
{
    TestWnd a, b;
    EXPECT_EQ(a.SetTimer(1, 20), 1u);
    EXPECT_EQ(b.SetTimer(1, 20), 1u);
    ASSERT_TRUE(RunUntil([&] { return a.TicksOf(1) >= 3 && b.TicksOf(1) >= 3; }));
    EXPECT_TRUE(a.KillTimer(1));
    EXPECT_FALSE(a.KillTimer(1));
    EXPECT_FALSE(a.KillTimer(2));
    size_t before = a.ticks.size();
    size_t bBefore = b.ticks.size();
    Pump(150ms);
    EXPECT_EQ(a.ticks.size(), before) << "no tick after KillTimer";
    EXPECT_GT(b.ticks.size(), bBefore) << "the same id of another window still runs";
}

TEST(TransportTest, ReArmingATimerRestartsIt)
{
    TestWnd wnd;
    auto start = Clock::now();
    wnd.SetTimer(5, 300);
    Pump(150ms);
    auto rearmed = Clock::now();
    wnd.SetTimer(5, 300);
    ASSERT_TRUE(RunUntil([&] { return wnd.TicksOf(5) >= 1; }));
    ASSERT_GE(rearmed - start, 150ms);
    if (rearmed - start < 290ms) {
        EXPECT_GE(wnd.ticks[0].second - rearmed, 295ms) << "the first period restarted";
    }
}

TEST(TransportTest, SlowTimerHandlerDoesNotQueueTicks)
{
    TestWnd wnd;
    wnd.onTick = [](UINT_PTR) { std::this_thread::sleep_for(60ms); };
    wnd.SetTimer(3, 10);
    auto start = Clock::now();
    ASSERT_TRUE(RunUntil([&] { return Clock::now() - start > 300ms; }));
    wnd.KillTimer(3);
    EXPECT_LE(wnd.TicksOf(3), 7u) << "missed periods are not delivered later";
    EXPECT_GE(wnd.TicksOf(3), 2u);
}

TEST(TransportTest, TimerOffTheInterfaceThreadIsMarshalled)
{
    TestWnd wnd;
    std::atomic<UINT_PTR> id{0};
    std::thread th([&] { id = ::SetTimer(wnd, 9, 10); });
    ASSERT_TRUE(RunUntil([&] { return id != 0; }));
    th.join();
    EXPECT_EQ(id, 9u);
    ASSERT_TRUE(RunUntil([&] { return wnd.TicksOf(9) >= 1; }));
    std::atomic<int> killed{-1};
    std::thread th2([&] { killed = ::KillTimer(wnd, 9); });
    ASSERT_TRUE(RunUntil([&] { return killed != -1; }));
    th2.join();
    EXPECT_EQ(killed, TRUE);
}

TEST(TransportTest, MessagesForADestroyedWindowAreDropped)
{
    auto *wnd = new TestWnd;
    HWND h = *wnd;
    wnd->PostMessage(WM_RECORD, 1);
    wnd->SetTimer(1, 10);
    std::atomic<int> sendDone{0};
    std::atomic<LRESULT> sendResult{-1};
    std::thread sender([&] {
        sendResult = ::SendMessage(h, WM_ECHO, 1, 1);
        sendDone = 1;
    });
    std::this_thread::sleep_for(50ms); // the send is now queued, not yet served
    delete wnd;
    EXPECT_FALSE(IsWindow(h));
    EXPECT_FALSE(::PostMessage(h, WM_RECORD, 2, 0));
    EXPECT_EQ(::SendMessage(h, WM_ECHO, 1, 1), 0);
    EXPECT_EQ(CWnd::FromHandle(h), nullptr);
    ASSERT_TRUE(RunUntil([&] { return sendDone == 1; }));
    sender.join();
    EXPECT_EQ(sendResult, 0);
    Pump(50ms); // the queued post and timer tick find no window

    TestWnd next;
    EXPECT_NE(static_cast<HWND>(next), h) << "handles are never reused";
}

TEST(TransportTest, DestroyWindowSendsWmDestroyAndStopsTimers)
{
    TestWnd wnd;
    HWND h = wnd;
    wnd.SetTimer(1, 10);
    EXPECT_EQ(CWnd::FromHandle(h), &wnd);
    EXPECT_TRUE(wnd.DestroyWindow());
    EXPECT_TRUE(wnd.destroyed);
    EXPECT_EQ(wnd.GetSafeHwnd(), nullptr);
    EXPECT_FALSE(wnd.DestroyWindow());
    Pump(50ms);
    EXPECT_TRUE(wnd.ticks.empty());

    TestWnd closed;
    closed.SendMessage(WM_CLOSE);
    EXPECT_TRUE(closed.destroyed) << "the default for WM_CLOSE destroys the window";
}

// The same message number means different things to different windows.
class BaseWnd : public CWnd
{
  public:
    BaseWnd() { CreateHandle(); }
    std::vector<std::string> calls;

  protected:
    LRESULT OnA(WPARAM, LPARAM)
    {
        calls.push_back("base A");
        return 1;
    }
    LRESULT OnB(WPARAM, LPARAM)
    {
        calls.push_back("base B");
        return 2;
    }
    afx_msg void OnOk() { calls.push_back("ok"); }
    afx_msg void OnKey(UINT id) { calls.push_back("key " + std::to_string(id)); }
    afx_msg void OnChange() { calls.push_back("change"); }
    afx_msg void OnRelease(NMHDR *, LRESULT *r)
    {
        calls.push_back("released");
        *r = 9;
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(BaseWnd, CWnd)
ON_MESSAGE(WM_USER + 112, OnA)
ON_MESSAGE(WM_USER + 113, OnB)
ON_COMMAND(1, OnOk)
ON_COMMAND_RANGE(1000, 1011, OnKey)
ON_CONTROL(1, 1044, OnChange)
ON_NOTIFY(16, 1051, OnRelease)
END_MESSAGE_MAP()

class DerivedWnd : public BaseWnd
{
  protected:
    LRESULT OnA(WPARAM, LPARAM)
    {
        calls.push_back("derived A");
        return 3;
    }
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == 0x1400) {
            calls.push_back("proc");
            return 5;
        }
        return BaseWnd::WindowProc(message, wParam, lParam);
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(DerivedWnd, BaseWnd)
ON_MESSAGE(WM_USER + 112, OnA)
END_MESSAGE_MAP()

TEST(MessageMapTest, DispatchIsPerWindowClassWithBases)
{
    BaseWnd base;
    DerivedWnd derived;
    EXPECT_EQ(base.SendMessage(WM_USER + 112), 1);
    EXPECT_EQ(derived.SendMessage(WM_USER + 112), 3);
    EXPECT_EQ(derived.SendMessage(WM_USER + 113), 2);
    EXPECT_EQ(derived.SendMessage(0x1400), 5);
    EXPECT_EQ(derived.SendMessage(WM_USER + 999), 0);
    EXPECT_EQ(base.calls, std::vector<std::string>{"base A"});
    EXPECT_EQ(derived.calls, (std::vector<std::string>{"derived A", "base B", "proc"}));
}

TEST(MessageMapTest, CommandsAndNotificationsRouteByCodeAndId)
{
    BaseWnd wnd;
    wnd.SendMessage(WM_COMMAND, MAKEWPARAM(1, 0));
    wnd.SendMessage(WM_COMMAND, MAKEWPARAM(1003, 0));
    wnd.SendMessage(WM_COMMAND, MAKEWPARAM(1012, 0)); // outside the range
    wnd.SendMessage(WM_COMMAND, MAKEWPARAM(1044, 1));
    wnd.SendMessage(WM_COMMAND, MAKEWPARAM(1044, 0)); // another code
    NMHDR hdr{wnd, 1051, 16};
    EXPECT_EQ(wnd.SendMessage(WM_NOTIFY, 1051, reinterpret_cast<LPARAM>(&hdr)), 9);
    hdr.code = 17;
    EXPECT_EQ(wnd.SendMessage(WM_NOTIFY, 1051, reinterpret_cast<LPARAM>(&hdr)), 0);
    EXPECT_EQ(wnd.calls, (std::vector<std::string>{"ok", "key 1003", "change", "released"}));
}

} // namespace
