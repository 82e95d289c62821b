// Owned top-level windows stay with their owner: above it, out of sight while it is minimised
// and shown again when it comes back, as the windows a Windows window owns.
#include <win/widget_bridge.h>

#include <win/cwnd.h>

#include <QApplication>
#include <QEvent>
#include <QPointer>
#include <QWidget>
#include <QWindow>

#include <vector>

namespace win::detail {
namespace {

// The shown top-level windows whose owner is the window.
std::vector<QWidget *> ShownOwned(QWidget *owner)
{
    std::vector<QWidget *> owned;
    QWindow *handle = owner->windowHandle();
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w != owner && w->isVisible() && w->windowHandle() &&
            w->windowHandle()->transientParent() == handle)
            owned.push_back(w);
    return owned;
}

// Watches one owner. Window managers iconify the windows an iconified window owns along with
// it; an owner hidden while minimised (its tray icon brings it back) takes the windows it owns
// out of sight too, and they come back when it is shown again.
class OwnerWatch : public QObject
{
  public:
    explicit OwnerWatch(QWidget *owner) : QObject(owner), m_owner(owner)
    {
        owner->installEventFilter(this);
    }

    bool eventFilter(QObject *, QEvent *e) override
    {
        switch (e->type()) {
        case QEvent::WindowStateChange:
        case QEvent::Show:
        case QEvent::Hide:
            Update();
            break;
        default:
            break;
        }
        return false;
    }

  private:
    void Update()
    {
        bool minimised = m_owner->isMinimized();
        if (minimised && !m_owner->isVisible() && m_hidden.empty()) {
            for (QWidget *w : ShownOwned(m_owner)) {
                m_hidden.emplace_back(w);
                w->hide();
            }
        } else if (!minimised && m_owner->isVisible() && !m_hidden.empty()) {
            std::vector<QPointer<QWidget>> back;
            back.swap(m_hidden);
            for (const QPointer<QWidget> &w : back)
                if (w)
                    w->show();
        }
    }

    QWidget *m_owner;
    std::vector<QPointer<QWidget>> m_hidden;
};

} // namespace

void FollowOwner(QWidget *owner)
{
    constexpr const char *kWatched = "kestrelin.ownerWatch";
    if (!owner->property(kWatched).toBool()) {
        owner->setProperty(kWatched, true);
        new OwnerWatch(owner);
    }
}

void RaiseWithOwned(QWidget *window)
{
    window->raise();
    for (QWidget *w : ShownOwned(window))
        RaiseWithOwned(w);
}

void ActivateOwner(CWnd *owner)
{
    QWidget *w = owner && owner->GetWidget() ? owner->GetWidget()->window() : nullptr;
    if (w && w->isVisible())
        w->activateWindow();
}

} // namespace win::detail
