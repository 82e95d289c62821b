// The message transport: a private QObject on the interface thread receives posted messages,
// wake-ups for sent messages and timer events, and routes them to the windows by handle.
#include <win/internal/transport.h>

#include <win/cwnd.h>
#include <win/winmsg.h>

#include <pwlib/waitpump.h>

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QThread>
#include <QTimerEvent>

#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <unordered_map>

namespace win::detail
{
namespace
{

// The toolkit's event types of a posted message and of the call to serve sent messages,
// registered on first use.
QEvent::Type PostedMessageType()
{
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}
QEvent::Type ServeSentType()
{
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

class PostedMessageEvent : public QEvent
{
  public:
    PostedMessageEvent(HWND h, UINT m, WPARAM w, LPARAM l)
        : QEvent(PostedMessageType()), hWnd(h), message(m), wParam(w), lParam(l)
    {
    }
    HWND hWnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

// A message (or call) sent from another thread, waiting for the interface thread.
struct SentCall {
    std::function<LRESULT()> call;
    std::mutex mutex;
    std::condition_variable cv;
    bool done = false;
    LRESULT result = 0;

    void Complete(LRESULT r)
    {
        std::lock_guard<std::mutex> lock(mutex);
        result = r;
        done = true;
        cv.notify_all();
    }
    LRESULT Wait()
    {
        std::unique_lock<std::mutex> lock(mutex);
        cv.wait(lock, [this] { return done; });
        return result;
    }
};

class Dispatcher;

struct State {
    std::mutex mutex;
    std::unordered_map<HWND, CWnd *> windows;
    uintptr_t nextHandle = 1;
    Dispatcher *dispatcher = nullptr; // lives on the interface thread, child of the application
    std::deque<std::shared_ptr<SentCall>> sent;
    pwlib::WaitPumpTarget uiThread; // woken when a send is queued
};

// Never destroyed: other threads may still post or send while the process ends.
State &TheState()
{
    static State *state = new State;
    return *state;
}

// While the dispatcher lives, the interface thread serves sent messages inside every blocking
// wait of the portable library (its wait pump), so a thread that sends while holding a lock the
// interface thread waits for does not deadlock it.
class Dispatcher : public QObject
{
  public:
    Dispatcher() { TheState().uiThread = pwlib::SetWaitPump(ServeSentMessages); }
    ~Dispatcher() override
    {
        pwlib::SetWaitPump({});
        State &s = TheState();
        std::deque<std::shared_ptr<SentCall>> pending;
        {
            std::lock_guard<std::mutex> lock(s.mutex);
            s.dispatcher = nullptr;
            s.uiThread = {};
            pending.swap(s.sent);
        }
        for (auto &call : pending)
            call->Complete(0);
    }

    UINT_PTR Start(HWND hWnd, UINT_PTR id, UINT elapse)
    {
        Stop(hWnd, id);
        int qtId = startTimer(std::chrono::milliseconds(elapse), Qt::PreciseTimer);
        if (qtId == 0)
            return 0;
        m_timers[{hWnd, id}] = qtId;
        m_byQtId[qtId] = {hWnd, id};
        m_periods[{hWnd, id}] = elapse;
        return id;
    }

    UINT Period(HWND hWnd, UINT_PTR id) const
    {
        auto it = m_periods.find({hWnd, id});
        return it == m_periods.end() ? 0 : it->second;
    }

    bool Stop(HWND hWnd, UINT_PTR id)
    {
        auto it = m_timers.find({hWnd, id});
        if (it == m_timers.end())
            return false;
        killTimer(it->second);
        m_byQtId.erase(it->second);
        m_periods.erase(it->first);
        m_timers.erase(it);
        return true;
    }

    void StopAll(HWND hWnd)
    {
        auto it = m_timers.lower_bound({hWnd, 0});
        while (it != m_timers.end() && it->first.first == hWnd) {
            killTimer(it->second);
            m_byQtId.erase(it->second);
            m_periods.erase(it->first);
            it = m_timers.erase(it);
        }
    }

  protected:
    bool event(QEvent *e) override
    {
        if (e->type() == PostedMessageType()) {
            auto *m = static_cast<PostedMessageEvent *>(e);
            if (CWnd *wnd = LookupWindow(m->hWnd))
                CallWindowProc(wnd, m->message, m->wParam, m->lParam);
            return true;
        }
        if (e->type() == ServeSentType()) {
            ServeSentMessages();
            return true;
        }
        return QObject::event(e);
    }

    // Ticks are delivered straight from the timer event, so a timer never has more than one
    // tick pending, and a killed timer delivers none.
    void timerEvent(QTimerEvent *e) override
    {
        auto it = m_byQtId.find(e->timerId());
        if (it == m_byQtId.end())
            return;
        auto [hWnd, id] = it->second;
        if (CWnd *wnd = LookupWindow(hWnd))
            CallWindowProc(wnd, WM_TIMER, static_cast<WPARAM>(id), 0);
        else
            Stop(hWnd, id);
    }

  private:
    std::map<std::pair<HWND, UINT_PTR>, int> m_timers;
    std::unordered_map<int, std::pair<HWND, UINT_PTR>> m_byQtId;
    std::map<std::pair<HWND, UINT_PTR>, UINT> m_periods;
};

// The dispatcher, made on first use on the interface thread; null elsewhere before that.
Dispatcher *TheDispatcher()
{
    State &s = TheState();
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        if (s.dispatcher || !IsUiThread())
            return s.dispatcher;
    }
    auto *dispatcher = new Dispatcher;
    dispatcher->setParent(QCoreApplication::instance());
    std::lock_guard<std::mutex> lock(s.mutex);
    s.dispatcher = dispatcher;
    return dispatcher;
}

// Queues a call for the interface thread; FALSE when the transport is not running.
bool QueueSent(const std::shared_ptr<SentCall> &call)
{
    State &s = TheState();
    pwlib::WaitPumpTarget uiThread;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        if (!s.dispatcher)
            return false;
        s.sent.push_back(call);
        QCoreApplication::postEvent(s.dispatcher, new QEvent(ServeSentType()));
        uiThread = s.uiThread;
    }
    pwlib::WakeWaitPump(uiThread);
    return true;
}

struct CurrentMsg {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    CurrentMsg *previous;
};
thread_local CurrentMsg *t_current = nullptr;

} // namespace

HWND RegisterWindow(CWnd *pWnd)
{
    if (!IsUiThread()) {
        HWND h = nullptr;
        InvokeOnUiThread([&] { h = RegisterWindow(pWnd); });
        return h;
    }
    if (!TheDispatcher())
        return nullptr;
    State &s = TheState();
    std::lock_guard<std::mutex> lock(s.mutex);
    HWND h = reinterpret_cast<HWND>(s.nextHandle++);
    s.windows[h] = pWnd;
    return h;
}

void UnregisterWindow(HWND hWnd)
{
    State &s = TheState();
    Dispatcher *dispatcher;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        s.windows.erase(hWnd);
        dispatcher = s.dispatcher;
    }
    if (!dispatcher)
        return;
    if (IsUiThread())
        dispatcher->StopAll(hWnd);
    else
        InvokeOnUiThread([hWnd] {
            if (Dispatcher *d = TheDispatcher())
                d->StopAll(hWnd);
        });
}

CWnd *LookupWindow(HWND hWnd)
{
    State &s = TheState();
    std::lock_guard<std::mutex> lock(s.mutex);
    auto it = s.windows.find(hWnd);
    return it == s.windows.end() ? nullptr : it->second;
}

LRESULT CallWindowProc(CWnd *pWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    CurrentMsg current{message, wParam, lParam, t_current};
    t_current = &current;
    struct Restore {
        CurrentMsg *previous;
        ~Restore() { t_current = previous; }
    } restore{current.previous};
    return pWnd->WindowProc(message, wParam, lParam);
}

bool CurrentMessage(UINT &message, WPARAM &wParam, LPARAM &lParam)
{
    if (!t_current)
        return false;
    message = t_current->message;
    wParam = t_current->wParam;
    lParam = t_current->lParam;
    return true;
}

bool Post(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    State &s = TheState();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.dispatcher || !s.windows.count(hWnd))
        return false;
    QCoreApplication::postEvent(s.dispatcher,
                                new PostedMessageEvent(hWnd, message, wParam, lParam));
    return true;
}

LRESULT Send(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!LookupWindow(hWnd))
        return 0;
    if (IsUiThread()) {
        CWnd *wnd = LookupWindow(hWnd);
        return wnd ? CallWindowProc(wnd, message, wParam, lParam) : 0;
    }
    auto call = std::make_shared<SentCall>();
    call->call = [=]() -> LRESULT {
        CWnd *wnd = LookupWindow(hWnd);
        return wnd ? CallWindowProc(wnd, message, wParam, lParam) : 0;
    };
    if (!QueueSent(call))
        return 0;
    return call->Wait();
}

UINT_PTR StartTimer(HWND hWnd, UINT_PTR id, UINT elapse)
{
    if (id == 0 || !LookupWindow(hWnd))
        return 0;
    if (!IsUiThread()) {
        UINT_PTR result = 0;
        InvokeOnUiThread([&] { result = StartTimer(hWnd, id, elapse); });
        return result;
    }
    Dispatcher *dispatcher = TheDispatcher();
    return dispatcher ? dispatcher->Start(hWnd, id, std::max<UINT>(elapse, 10)) : 0;
}

bool StopTimer(HWND hWnd, UINT_PTR id)
{
    if (!IsUiThread()) {
        bool result = false;
        InvokeOnUiThread([&] { result = StopTimer(hWnd, id); });
        return result;
    }
    Dispatcher *dispatcher = TheDispatcher();
    return dispatcher && dispatcher->Stop(hWnd, id);
}
} // namespace win::detail

namespace win
{

bool IsUiThread()
{
    QCoreApplication *app = QCoreApplication::instance();
    return app && app->thread() == QThread::currentThread();
}

bool InvokeOnUiThread(const std::function<void()> &fn)
{
    if (IsUiThread()) {
        fn();
        return true;
    }
    auto call = std::make_shared<detail::SentCall>();
    call->call = [&fn]() -> LRESULT {
        fn();
        return 0;
    };
    if (!detail::QueueSent(call))
        return false;
    call->Wait();
    return true;
}

void ServeSentMessages()
{
    if (!IsUiThread())
        return;
    detail::State &s = detail::TheState();
    for (;;) {
        std::shared_ptr<detail::SentCall> call;
        {
            std::lock_guard<std::mutex> lock(s.mutex);
            if (s.sent.empty())
                return;
            call = std::move(s.sent.front());
            s.sent.pop_front();
        }
        LRESULT result = 0;
        try {
            result = call->call();
        } catch (...) {
            call->Complete(0);
            throw;
        }
        call->Complete(result);
    }
}
} // namespace win

UINT win::testing::TimerPeriod(HWND hWnd, UINT_PTR id)
{
    if (!IsUiThread())
        return 0;
    win::detail::Dispatcher *dispatcher = win::detail::TheDispatcher();
    return dispatcher ? dispatcher->Period(hWnd, id) : 0;
}
