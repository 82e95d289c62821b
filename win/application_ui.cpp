// The toolkit's application object, which notes the receiver of each input event it delivers.
#include <win/application.h>
#include <win/widget_bridge.h>

#include <QApplication>
#include <QPointer>

#include <utility>

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
