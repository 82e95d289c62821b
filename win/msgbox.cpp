// Message boxes: QMessageBox on the interface thread.
#include <win/msgbox.h>

#include <win/codepage.h>

#include <QApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <QThread>

#include <mutex>

namespace win {
namespace {

std::mutex g_hookMutex;
std::function<int(const testing::MessageBoxCall &)> g_hook;

QString FromAnsi(LPCSTR s) { return s ? QString::fromStdString(AnsiToUtf8(s)) : QString(); }

int Show(const QString &text, const QString &caption, UINT type)
{
    QMessageBox box;
    box.setText(text);
    box.setWindowTitle(caption);
    switch (type & 0xF0) {
    case MB_ICONHAND: box.setIcon(QMessageBox::Critical); break;
    case MB_ICONQUESTION: box.setIcon(QMessageBox::Question); break;
    case MB_ICONEXCLAMATION: box.setIcon(QMessageBox::Warning); break;
    case MB_ICONINFORMATION: box.setIcon(QMessageBox::Information); break;
    default: break;
    }
    switch (type & 0x0F) {
    case MB_OKCANCEL: box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel); break;
    case MB_YESNOCANCEL:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        break;
    case MB_YESNO: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
    default: box.setStandardButtons(QMessageBox::Ok); break;
    }
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    switch (box.exec()) {
    case QMessageBox::Yes: return IDYES;
    case QMessageBox::No: return IDNO;
    case QMessageBox::Cancel: return IDCANCEL;
    default: return (type & 0x0F) == MB_YESNO ? IDNO : IDOK;
    }
}

} // namespace

void EnsureApplication()
{
    if (QCoreApplication::instance())
        return;
    static int argc = 1;
    static char name[] = "kestrelin";
    static char *argv[] = {name, nullptr};
    // Lives until the process ends, as the toolkit of a Windows program does.
    new QApplication(argc, argv);
}

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
    QString text = win::FromAnsi(lpText), caption = win::FromAnsi(lpCaption ? lpCaption : "Error");
    if (!QCoreApplication::instance())
        win::EnsureApplication();
    QCoreApplication *app = QCoreApplication::instance();
    if (QThread::currentThread() == app->thread())
        return win::Show(text, caption, uType);
    int result = IDCANCEL;
    QMetaObject::invokeMethod(
        app, [&] { result = win::Show(text, caption, uType); }, Qt::BlockingQueuedConnection);
    return result;
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
