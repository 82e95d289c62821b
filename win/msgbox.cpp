// Message boxes: the test hook, the installed presenter, or standard error.
#include <win/msgbox.h>

#include <win/codepage.h>

#include <QCoreApplication>
#include <QThread>

#include <atomic>
#include <cstdio>
#include <mutex>

namespace win {
namespace {

std::mutex g_hookMutex;
std::function<int(const testing::MessageBoxCall &)> g_hook;
// Constant-initialised, so that a presenter installed before dynamic initialisation stays.
std::atomic<MessageBoxPresenter> g_presenter{nullptr};

/// The answer of a box that nobody can see: the one that dismissing it gives.
int DismissedAnswer(UINT type)
{
    switch (type & 0x0F) {
    case MB_OKCANCEL:
    case MB_YESNOCANCEL: return IDCANCEL;
    case MB_YESNO: return IDNO;
    default: return IDOK;
    }
}

} // namespace

void SetMessageBoxPresenter(MessageBoxPresenter presenter) { g_presenter = presenter; }

} // namespace win

void win::testing::SetMessageBoxHandler(std::function<int(const MessageBoxCall &)> handler)
{
    std::lock_guard<std::mutex> lock(g_hookMutex);
    g_hook = std::move(handler);
}

int MessageBoxA(HWND, LPCSTR lpText, LPCSTR lpCaption, UINT uType)
{
    {
        std::function<int(const win::testing::MessageBoxCall &)> hook;
        {
            std::lock_guard<std::mutex> lock(win::g_hookMutex);
            hook = win::g_hook;
        }
        if (hook)
            return hook({lpText ? lpText : "", lpCaption ? lpCaption : "", uType});
    }
    LPCSTR caption = lpCaption ? lpCaption : "Error";
    LPCSTR text = lpText ? lpText : "";
    if (win::MessageBoxPresenter presenter = win::g_presenter)
        if (int answer = presenter(text, caption, uType))
            return answer;
    std::fprintf(stderr, "%s: %s\n", win::AnsiToUtf8(caption).c_str(),
                 win::AnsiToUtf8(text).c_str());
    return win::DismissedAnswer(uType);
}

int AfxMessageBox(LPCTSTR lpszText, UINT nType, UINT)
{
    return MessageBoxA(nullptr, lpszText, win::kAppName, nType);
}

void win::WaitServingMessages(const std::function<bool()> &done)
{
    QCoreApplication *app = QCoreApplication::instance();
    bool serve = app && QThread::currentThread() == app->thread();
    while (!done()) {
        if (serve)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(2);
    }
}
