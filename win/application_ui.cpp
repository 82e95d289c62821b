// The toolkit's application object, which notes the receiver of each input event it delivers
// and keeps the keyboard with a modal window.
#include <win/application.h>
#include <win/widget_bridge.h>

#include <QApplication>
#include <QPointer>
#include <QWindow>

#include <algorithm>
#include <utility>
#include <vector>

namespace win {
namespace {

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

// The window and the windows it was opened from, nearest first.
std::vector<QWindow *> Lineage(QWindow *w)
{
    std::vector<QWindow *> line;
    for (; w; w = w->parent() ? w->parent() : w->transientParent())
        line.push_back(w);
    return line;
}

// Whether the modal window takes the input of w, as the toolkit decides it: an application-modal
// one every window not opened from it, a window-modal one the windows that share an ancestor
// with it.
bool Blocks(QWindow *modal, QWindow *w)
{
    std::vector<QWindow *> line = Lineage(w);
    if (std::find(line.begin(), line.end(), modal) != line.end())
        return false;
    if (modal->modality() == Qt::ApplicationModal)
        return true;
    for (QWindow *a : Lineage(modal))
        if (std::find(line.begin(), line.end(), a) != line.end())
            return true;
    return false;
}

// A window that a modal window blocks does not keep the keyboard (a click on it gives it the
// focus on some platforms): the modal window takes it back, as a disabled window gives it on.
void KeepKeyboardWithModal(QWindow *focus)
{
    QWindow *modal = QGuiApplication::modalWindow();
    if (focus && modal && modal->isVisible() && Blocks(modal, focus))
        modal->requestActivate();
}

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
    auto *app = new Application(argc, argv);
    QObject::connect(app, &QGuiApplication::focusWindowChanged, app, &KeepKeyboardWithModal);
}

} // namespace win
