// Message boxes as QMessageBox dialogs on the interface thread, and the application object.
#include <win/application.h>
#include <win/codepage.h>
#include <win/msgbox.h>
#include <win/widget_bridge.h>

#include <QApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <QPointer>
#include <QThread>

#include <utility>

namespace win {
namespace {

QString FromAnsi(LPCSTR s) { return QString::fromStdString(AnsiToUtf8(s)); }

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

int Present(LPCSTR lpText, LPCSTR lpCaption, UINT uType)
{
    QString text = FromAnsi(lpText), caption = FromAnsi(lpCaption);
    EnsureApplication();
    QCoreApplication *app = QCoreApplication::instance();
    // A program that made a non-GUI application object has no widgets to show.
    if (!qobject_cast<QApplication *>(app))
        return 0;
    if (QThread::currentThread() == app->thread())
        return Show(text, caption, uType);
    int result = IDCANCEL;
    QMetaObject::invokeMethod(
        app, [&] { result = Show(text, caption, uType); }, Qt::BlockingQueuedConnection);
    return result;
}

// Before the program's global objects, which may already show a box.
[[gnu::constructor(101)]] void InstallPresenter() { SetMessageBoxPresenter(&Present); }

struct InputDelivery {
    bool active = false;
    QPointer<QObject> receiver;
};
constinit InputDelivery g_input;

// Keeps the object each mouse or key event is sent to while the toolkit delivers it, copies
// passed on to the parents of a widget that ignores it included.
class Application : public QApplication
{
  public:
    using QApplication::QApplication;

    bool notify(QObject *receiver, QEvent *e) override
    {
        switch (e->type()) {
        case QEvent::MouseMove:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyPress:
            break;
        default:
            return QApplication::notify(receiver, e);
        }
        // Deliveries nest when a handler sends an event of its own.
        struct Restore {
            InputDelivery outer;
            ~Restore() { g_input = outer; }
        } restore{std::exchange(g_input, InputDelivery{true, receiver})};
        return QApplication::notify(receiver, e);
    }
};

} // namespace

namespace detail {

bool InputEventInDelivery(QObject **receiver)
{
    *receiver = g_input.receiver.data();
    return g_input.active;
}

} // namespace detail

void EnsureApplication()
{
    if (QCoreApplication::instance())
        return;
    static int argc = 1;
    static char name[] = "kestrelin";
    static char *argv[] = {name, nullptr};
    // Lives until the process ends, as the toolkit of a Windows program does.
    new Application(argc, argv);
}

} // namespace win
