// CWnd over a widget: geometry, text, shape, focus, and events turned into messages.
#include <win/cwnd.h>

#include <win/codepage.h>
#include <win/wingdi.h>
#include <win/internal/widgets.h>
#include <win/widget_bridge.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QCursor>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPointer>
#include <QScreen>
#include <QWindow>

#include <map>
#include <mutex>
#include <tuple>
#include <vector>

const CWnd CWnd::wndTop;
const CWnd CWnd::wndBottom;
const CWnd CWnd::wndTopMost;
const CWnd CWnd::wndNoTopMost;

namespace win::detail {
namespace {

constexpr const char *kWindowProperty = "kestrelin.cwnd";

QString ToQ(LPCTSTR s) { return s ? QString::fromStdString(AnsiToUtf8(s)) : QString(); }

// One entry per dispatch in progress: whether DefWindowProc was reached, and whether the
// message stands for a live toolkit event (otherwise a default is carried out by the layer).
struct DispatchFrame {
    CWnd *wnd;
    UINT message;
    bool defaulted = false;
};
std::vector<DispatchFrame> g_frames;

struct PaintFrame {
    CWnd *wnd;
    QPainter *painter;
};
std::vector<PaintFrame> g_paints;

QPointer<QWidget> g_cursorTarget;

LPARAM PointParam(QPoint p) { return MAKELPARAM(WORD(short(p.x())), WORD(short(p.y()))); }

WPARAM MouseFlags(Qt::MouseButtons b)
{
    return (b & Qt::LeftButton ? MK_LBUTTON : 0) | (b & Qt::RightButton ? MK_RBUTTON : 0);
}

UINT VirtualKey(const QKeyEvent *e)
{
    int k = e->key();
    bool keypad = e->modifiers() & Qt::KeypadModifier;
    if (k >= Qt::Key_0 && k <= Qt::Key_9)
        return keypad ? VK_NUMPAD0 + (k - Qt::Key_0) : UINT('0' + (k - Qt::Key_0));
    if (k >= Qt::Key_A && k <= Qt::Key_Z)
        return UINT('A' + (k - Qt::Key_A));
    switch (k) {
    case Qt::Key_Escape: return VK_ESCAPE;
    case Qt::Key_Return:
    case Qt::Key_Enter: return VK_RETURN;
    case Qt::Key_Backspace: return VK_BACK;
    case Qt::Key_Tab: return VK_TAB;
    case Qt::Key_Asterisk: return keypad ? VK_MULTIPLY : 0x38;
    case Qt::Key_Period: return keypad ? VK_DECIMAL : 0xBE;
    default: return 0;
    }
}

// The window of the widget or of its nearest ancestor that has one.
CWnd *OwnerWindow(QObject *o)
{
    for (; o; o = o->parent())
        if (auto *w = CWnd::FromWidget(qobject_cast<QWidget *>(o)))
            return w;
    return nullptr;
}

// Whether the toolkit passes the event on from the widget it was sent to (a parent's copy of an
// event the widget ignored); Windows gives each input message to one window only.
bool PassedOn(QObject *o)
{
    QObject *receiver = nullptr;
    return InputEventInDelivery(&receiver) && receiver != o;
}

// Windows that let the mouse through to their parent: statics without SS_NOTIFY and group
// boxes (they hit-test as transparent) and disabled windows.
bool MouseTransparent(CWnd *w)
{
    QWidget *widget = w->GetWidget();
    if (!w->IsWindowEnabled() || qobject_cast<QGroupBox *>(widget))
        return true;
    return qobject_cast<QLabel *>(widget) && !(w->GetStyle() & SS_NOTIFY);
}

// The window a mouse event sent to the widget is for: the widget's window, or the nearest
// ancestor of it that does not let the mouse through.
CWnd *MouseTarget(QWidget *widget)
{
    CWnd *w = OwnerWindow(widget);
    while (w && MouseTransparent(w) && !w->GetWidget()->isWindow()) {
        CWnd *parent = OwnerWindow(w->GetWidget()->parentWidget());
        if (!parent)
            break;
        w = parent;
    }
    return w;
}

// Whether the mouse event the window's widget gets is the window's own: the event itself or
// the copy passed on from a child that lets the mouse through.
bool MouseEventFor(CWnd *wnd, QWidget *widget)
{
    QObject *receiver = nullptr;
    if (!InputEventInDelivery(&receiver))
        return MouseTarget(widget) == wnd;
    auto *sentTo = qobject_cast<QWidget *>(receiver);
    return sentTo && MouseTarget(sentTo) == wnd;
}

// Calls PreTranslateMessage on the target window and its parents up to its top-level window;
// true when one consumed it. The top-level window's dialog manager ends the chain, so the owner
// of a top-level window never sees the input of the windows it owns.
bool PreTranslate(CWnd *target, MSG &msg)
{
    for (CWnd *w = target; w;) {
        if (w->PreTranslateMessage(&msg))
            return true;
        QWidget *widget = w->GetWidget();
        w = widget && !widget->isWindow() ? w->GetParent() : nullptr;
    }
    return false;
}

class ApplicationFilter : public QObject
{
  public:
    bool eventFilter(QObject *o, QEvent *e) override
    {
        UINT message = 0;
        WPARAM wParam = 0;
        LPARAM lParam = 0;
        QWidget *widget = qobject_cast<QWidget *>(o);
        if (!widget || PassedOn(o))
            return false;
        CWnd *target = nullptr;
        switch (e->type()) {
        case QEvent::KeyPress: {
            auto *k = static_cast<QKeyEvent *>(e);
            message = WM_KEYDOWN;
            wParam = VirtualKey(k);
            target = OwnerWindow(widget);
            if (!wParam || !target)
                return false;
            break;
        }
        case QEvent::MouseMove:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease: {
            auto *m = static_cast<QMouseEvent *>(e);
            if (e->type() == QEvent::MouseButtonPress)
                ActivateOnClick(widget);
            message = e->type() == QEvent::MouseMove ? WM_MOUSEMOVE
                      : m->button() == Qt::RightButton
                          ? (e->type() == QEvent::MouseButtonPress ? WM_RBUTTONDOWN : WM_RBUTTONUP)
                          : (e->type() == QEvent::MouseButtonPress ? WM_LBUTTONDOWN : WM_LBUTTONUP);
            target = MouseTarget(widget);
            if (!target)
                return false;
            wParam = MouseFlags(m->buttons());
            lParam = PointParam(widget->mapTo(target->GetWidget(), m->position().toPoint()));
            break;
        }
        default:
            return false;
        }
        MSG msg{target->GetSafeHwnd(), message, wParam, lParam, 0, {0, 0}};
        QPoint global = QCursor::pos();
        msg.pt = {global.x(), global.y()};
        if (PreTranslate(target, msg))
            return true;
        // A list dropped down (a popup) takes Enter and Escape itself.
        if (e->type() == QEvent::KeyPress && !QApplication::activePopupWidget())
            return DialogKey(target, msg.wParam, widget);
        return false;
    }

  private:
    // A click in a window of the layer makes it the active window, with the keyboard.
    static void ActivateOnClick(QWidget *widget)
    {
        QWidget *window = widget->window();
        if (CWnd::FromWidget(window) && !window->isActiveWindow())
            window->activateWindow();
    }

    // The dialog manager's keys: Escape is Cancel, Enter is OK unless the focus takes it.
    bool DialogKey(CWnd *target, WPARAM vk, QWidget *focus)
    {
        if (vk != VK_ESCAPE && vk != VK_RETURN)
            return false;
        if (vk == VK_RETURN && (qobject_cast<QPlainTextEdit *>(focus) ||
                                qobject_cast<QAbstractButton *>(focus)))
            return false;
        CWnd *top = target;
        while (top->GetParent() && !(top->GetStyle() & 0x80000000u))
            top = top->GetParent();
        ::SendMessage(top->GetSafeHwnd(), WM_COMMAND, vk == VK_ESCAPE ? 2 : 1, 0);
        return true;
    }
};

class EventBridge : public QObject
{
  public:
    explicit EventBridge(CWnd *wnd) : QObject(nullptr), wnd_(wnd) {}

    bool eventFilter(QObject *o, QEvent *e) override
    {
        auto *widget = static_cast<QWidget *>(o);
        switch (e->type()) {
        case QEvent::MouseMove:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseButtonRelease:
            // A child's event passed on reaches the window only when the child lets it through.
            if (!MouseEventFor(wnd_, widget))
                return false;
            break;
        default:
            break;
        }
        switch (e->type()) {
        case QEvent::MouseMove: {
            auto *m = static_cast<QMouseEvent *>(e);
            // A press on the caption moves the window once the mouse moves with the button
            // down; a click alone leaves the window where it is, with the keyboard.
            if (captionDrag_ && (m->buttons() & Qt::LeftButton)) {
                captionDrag_ = false;
                if (QWindow *window = widget->window()->windowHandle())
                    window->startSystemMove();
                return true;
            }
            SetCursorFor(widget, WM_MOUSEMOVE);
            return !Dispatch(wnd_, WM_MOUSEMOVE, MouseFlags(m->buttons()),
                             PointParam(m->position().toPoint()));
        }
        case QEvent::Enter:
            SetCursorFor(widget, WM_MOUSEMOVE);
            return false;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick: {
            auto *m = static_cast<QMouseEvent *>(e);
            LPARAM lp = PointParam(m->position().toPoint());
            WPARAM wp = MouseFlags(m->buttons());
            if (m->button() == Qt::RightButton)
                return !Dispatch(wnd_, WM_RBUTTONDOWN, wp, lp);
            if (m->button() != Qt::LeftButton)
                return false;
            if (widget->isWindow() && e->type() == QEvent::MouseButtonPress) {
                LPARAM screen = PointParam(m->globalPosition().toPoint());
                LRESULT hit = HTCLIENT;
                Dispatch(wnd_, WM_NCHITTEST, 0, screen, &hit);
                if (hit != HTCLIENT) {
                    nonClient_ = true;
                    captionDrag_ =
                        Dispatch(wnd_, WM_NCLBUTTONDOWN, WPARAM(hit), screen) && hit == HTCAPTION;
                    return true;
                }
            }
            return !Dispatch(wnd_, e->type() == QEvent::MouseButtonDblClick ? WM_LBUTTONDBLCLK
                                                                            : WM_LBUTTONDOWN,
                             wp, lp);
        }
        case QEvent::MouseButtonRelease: {
            auto *m = static_cast<QMouseEvent *>(e);
            LPARAM lp = PointParam(m->position().toPoint());
            if (m->button() == Qt::RightButton)
                return !Dispatch(wnd_, WM_RBUTTONUP, 0, lp);
            if (m->button() != Qt::LeftButton)
                return false;
            if (nonClient_) {
                nonClient_ = false;
                captionDrag_ = false;
                Dispatch(wnd_, WM_NCLBUTTONUP, HTCAPTION,
                         PointParam(m->globalPosition().toPoint()));
                return true;
            }
            return !Dispatch(wnd_, WM_LBUTTONUP, 0, lp);
        }
        case QEvent::Move:
            if (widget->isWindow())
                Dispatch(wnd_, WM_MOVE, 0, PointParam(widget->pos()));
            return false;
        case QEvent::Close:
            // The window decides: a dialog's default turns a close into Cancel.
            e->ignore();
            ::PostMessage(wnd_->GetSafeHwnd(), WM_CLOSE, 0, 0);
            return true;
        default:
            return false;
        }
    }

  private:
    void SetCursorFor(QWidget *widget, UINT mouseMessage)
    {
        // The arrow unless the handler sets another cursor.
        widget->unsetCursor();
        g_cursorTarget = widget;
        Dispatch(wnd_, WM_SETCURSOR, reinterpret_cast<WPARAM>(wnd_->GetSafeHwnd()),
                 MAKELPARAM(HTCLIENT, mouseMessage));
        g_cursorTarget = nullptr;
    }

    CWnd *wnd_;
    bool nonClient_ = false;
    bool captionDrag_ = false; // the default of a press on the caption: a move, when dragged
};

using BridgeTable = std::map<CWnd *, EventBridge *>;

// The event bridge of each bound window, on the interface thread; built on first use.
BridgeTable &Bridges()
{
    static BridgeTable *bridges = new BridgeTable;
    return *bridges;
}

void InstallApplicationFilter()
{
    static ApplicationFilter *filter = nullptr;
    if (!filter && qApp) {
        filter = new ApplicationFilter;
        qApp->installEventFilter(filter);
    }
}

} // namespace

void Bridge(CWnd *pWnd, QWidget *widget)
{
    InstallApplicationFilter();
    widget->setProperty(kWindowProperty, QVariant::fromValue(static_cast<void *>(pWnd)));
    widget->setMouseTracking(true);
    auto *bridge = new EventBridge(pWnd);
    widget->installEventFilter(bridge);
    Bridges()[pWnd] = bridge;
}

void Unbridge(CWnd *pWnd, QWidget *widget)
{
    ForgetPictures(pWnd->GetSafeHwnd());
    BridgeTable &bridges = Bridges();
    auto it = bridges.find(pWnd);
    if (it != bridges.end()) {
        if (widget)
            widget->removeEventFilter(it->second);
        delete it->second;
        bridges.erase(it);
    }
    if (widget)
        widget->setProperty(kWindowProperty, QVariant());
}

bool Dispatch(CWnd *pWnd, UINT message, WPARAM wParam, LPARAM lParam, LRESULT *result)
{
    g_frames.push_back({pWnd, message});
    LRESULT r = ::SendMessage(pWnd->GetSafeHwnd(), message, wParam, lParam);
    bool defaulted = g_frames.back().defaulted;
    g_frames.pop_back();
    if (result)
        *result = r;
    return defaulted;
}

LRESULT WidgetDefault(CWnd *pWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    bool live = !g_frames.empty() && g_frames.back().wnd == pWnd &&
                g_frames.back().message == message;
    if (live)
        g_frames.back().defaulted = true;
    QWidget *w = pWnd->GetWidget();
    switch (message) {
    case WM_NCHITTEST:
        return HTCLIENT;
    case WM_NCLBUTTONDOWN:
        // For the mouse's own press the move starts when the mouse moves (the bridge).
        if (!live && wParam == HTCAPTION && w && w->windowHandle())
            w->windowHandle()->startSystemMove();
        return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
        // A press or release posted by the program acts on a button like the real one.
        if (!live)
            if (auto *b = qobject_cast<QAbstractButton *>(w)) {
                if (message == WM_LBUTTONDOWN)
                    b->setDown(true);
                else if (b->isDown()) {
                    b->setDown(false);
                    b->click();
                }
            }
        return 0;
    case WM_CTLCOLOR:
    case WM_REFLECT_CTLCOLOR:
        return 0;
    case WM_REPAINT_PICTURES:
        if (w)
            w->update();
        return 0;
    default:
        return 0;
    }
}

namespace {

struct PictureTable {
    std::mutex mutex;
    std::map<HWND, std::map<std::tuple<int, int, int, int>, QImage>> pictures;
};

// The pictures other threads keep for windows; built on first use and kept until the process
// ends, as those threads may still draw while it exits.
PictureTable &Pictures()
{
    static PictureTable *table = new PictureTable;
    return *table;
}

} // namespace

void KeepPicture(HWND hWnd, const QRect &dest, QImage picture)
{
    {
        PictureTable &t = Pictures();
        std::lock_guard<std::mutex> lock(t.mutex);
        t.pictures[hWnd][{dest.x(), dest.y(), dest.width(), dest.height()}] = std::move(picture);
    }
    ::PostMessage(hWnd, WM_REPAINT_PICTURES, 0, 0);
}

void PaintPictures(CWnd *pWnd, QPainter &painter)
{
    PictureTable &t = Pictures();
    std::lock_guard<std::mutex> lock(t.mutex);
    auto it = t.pictures.find(pWnd->GetSafeHwnd());
    if (it == t.pictures.end())
        return;
    for (const auto &[r, image] : it->second)
        painter.drawImage(QRect(std::get<0>(r), std::get<1>(r), std::get<2>(r), std::get<3>(r)),
                          image);
}

void ForgetPictures(HWND hWnd)
{
    PictureTable &t = Pictures();
    std::lock_guard<std::mutex> lock(t.mutex);
    t.pictures.erase(hWnd);
}

QPainter *CurrentPainter(CWnd *pWnd)
{
    for (auto it = g_paints.rbegin(); it != g_paints.rend(); ++it)
        if (it->wnd == pWnd)
            return it->painter;
    return nullptr;
}

void PaintWindow(CWnd *pWnd, QPainter &painter, UINT ctlColor)
{
    CDC dc;
    CtlColorInfo info{pWnd, ctlColor};
    LRESULT brush = 0;
    // The control's own reflected handler first, then the parent (the dialog for itself).
    if (ctlColor != CTLCOLOR_DLG)
        brush = ::SendMessage(pWnd->GetSafeHwnd(), WM_REFLECT_CTLCOLOR,
                              reinterpret_cast<WPARAM>(&dc), reinterpret_cast<LPARAM>(&info));
    CWnd *asked = ctlColor == CTLCOLOR_DLG ? pWnd : pWnd->GetParent();
    if (!brush && asked)
        brush = ::SendMessage(asked->GetSafeHwnd(), WM_CTLCOLOR, reinterpret_cast<WPARAM>(&dc),
                              reinterpret_cast<LPARAM>(&info));
    HBRUSH h = reinterpret_cast<HBRUSH>(brush);
    if (const QBrush *b = gdi::BrushOf(h)) {
        // Pattern brushes tile from the top-level window's origin, as a dialog brush does.
        QPoint origin = pWnd->GetWidget()->mapTo(pWnd->GetWidget()->window(), QPoint(0, 0));
        painter.setBrushOrigin(-origin);
        painter.fillRect(pWnd->GetWidget()->rect(), *b);
    } else if (!gdi::IsNullBrush(h) && ctlColor == CTLCOLOR_DLG) {
        painter.fillRect(pWnd->GetWidget()->rect(), pWnd->GetWidget()->palette().window());
    }
    g_paints.push_back({pWnd, &painter});
    if (const QFont *f = dc.GetCurrentFont() ? gdi::FontOf(*dc.GetCurrentFont()) : nullptr)
        painter.setFont(*f);
    painter.setPen(QColor(GetRValue(dc.GetTextColor()), GetGValue(dc.GetTextColor()),
                          GetBValue(dc.GetTextColor())));
    ::SendMessage(pWnd->GetSafeHwnd(), WM_PAINT, 0, 0);
    g_paints.pop_back();
}

} // namespace win::detail

using namespace win::detail;

CWnd *CWnd::FromWidget(QWidget *widget)
{
    if (!widget)
        return nullptr;
    QVariant v = widget->property(kWindowProperty);
    return v.isValid() ? static_cast<CWnd *>(v.value<void *>()) : nullptr;
}

namespace {

const WidgetHooks kWidgetHooks = {&WidgetAccess::Detach, &WidgetDefault};

} // namespace

void WidgetAccess::Detach(CWnd *pWnd)
{
    if (!pWnd->m_pWidget)
        return;
    QWidget *w = pWnd->m_pWidget;
    pWnd->m_pWidget = nullptr;
    Unbridge(pWnd, w);
}

void WidgetAccess::Attach(CWnd *pWnd, QWidget *widget, int nID, DWORD dwStyle)
{
    pWnd->AttachWidget(widget, nID, dwStyle);
}

void WidgetAccess::SetOwner(CWnd *pWnd, CWnd *pOwner)
{
    QWidget *w = pWnd->m_pWidget;
    if (!w)
        return;
    w->setProperty("kestrelin.owner", QVariant::fromValue(static_cast<void *>(pOwner)));
    // An owned top-level window belongs to its owner's top-level window: it stays above it, and
    // a modal one blocks the owner and every other window of the owner.
    QWidget *owner = pOwner && pOwner->m_pWidget ? pOwner->m_pWidget->window() : nullptr;
    if (w->isWindow() && owner && owner != w) {
        w->winId();
        owner->winId();
        w->windowHandle()->setTransientParent(owner->windowHandle());
        FollowOwner(owner);
    }
}

void CWnd::AttachWidget(QWidget *widget, int nID, DWORD dwStyle)
{
    SetWidgetHooks(&kWidgetHooks);
    if (!m_hWnd)
        CreateHandle();
    m_pWidget = widget;
    m_nID = nID;
    m_dwStyle = dwStyle;
    Bridge(this, widget);
}

CWnd *CWnd::GetParent() const
{
    if (!m_pWidget)
        return nullptr;
    for (QObject *o = m_pWidget->parent(); o; o = o->parent())
        if (CWnd *w = FromWidget(qobject_cast<QWidget *>(o)))
            return w;
    // A top-level window's owner.
    QVariant owner = m_pWidget->property("kestrelin.owner");
    return owner.isValid() ? static_cast<CWnd *>(owner.value<void *>()) : nullptr;
}

CWnd *CWnd::GetDlgItem(int nID) const
{
    if (!m_pWidget)
        return nullptr;
    for (QWidget *child : m_pWidget->findChildren<QWidget *>()) {
        CWnd *w = FromWidget(child);
        if (w && w != this && w->m_nID == nID)
            return w;
    }
    return nullptr;
}

BOOL CWnd::ShowWindow(int nCmdShow)
{
    if (!m_pWidget)
        return FALSE;
    BOOL wasVisible = m_pWidget->isVisible();
    switch (nCmdShow) {
    case SW_HIDE: m_pWidget->hide(); return wasVisible;
    case SW_MINIMIZE:
    case SW_SHOWMINIMIZED: m_pWidget->showMinimized(); return wasVisible;
    case SW_SHOWNA:
    case SW_SHOWNOACTIVATE:
        // Where it stands among the windows, the keyboard left where it is.
        m_pWidget->setAttribute(Qt::WA_ShowWithoutActivating);
        if (nCmdShow == SW_SHOWNOACTIVATE)
            m_pWidget->showNormal();
        else
            m_pWidget->show();
        m_pWidget->setAttribute(Qt::WA_ShowWithoutActivating, false);
        return wasVisible;
    case SW_RESTORE:
    case SW_SHOWNORMAL: m_pWidget->showNormal(); break;
    default: m_pWidget->show(); break;
    }
    // A top-level window shown is activated: above the others, with the keyboard.
    if (m_pWidget->isWindow()) {
        RaiseWithOwned(m_pWidget);
        m_pWidget->activateWindow();
    }
    return wasVisible;
}

BOOL CWnd::IsWindowVisible() const { return m_pWidget && m_pWidget->isVisible(); }

BOOL CWnd::EnableWindow(BOOL bEnable)
{
    if (!m_pWidget)
        return FALSE;
    BOOL wasDisabled = !m_pWidget->isEnabled();
    m_pWidget->setEnabled(bEnable);
    return wasDisabled;
}

BOOL CWnd::IsWindowEnabled() const { return m_pWidget && m_pWidget->isEnabled(); }

void CWnd::MoveWindow(int x, int y, int nWidth, int nHeight, BOOL bRepaint)
{
    if (!m_pWidget)
        return;
    m_pWidget->setGeometry(win::detail::ControlGeometry(
        m_pWidget, QRect(x, y, std::max(0, nWidth), std::max(0, nHeight))));
    if (bRepaint)
        m_pWidget->update();
}

void CWnd::MoveWindow(LPCRECT r, BOOL bRepaint)
{
    if (r)
        MoveWindow(r->left, r->top, r->right - r->left, r->bottom - r->top, bRepaint);
}

BOOL CWnd::SetWindowPos(const CWnd *pWndInsertAfter, int x, int y, int cx, int cy, UINT nFlags)
{
    if (!m_pWidget)
        return FALSE;
    if (pWndInsertAfter == &wndTopMost || pWndInsertAfter == &wndNoTopMost) {
        if (m_pWidget->isWindow()) {
            bool visible = m_pWidget->isVisible();
            m_pWidget->setWindowFlag(Qt::WindowStaysOnTopHint, pWndInsertAfter == &wndTopMost);
            if (visible) {
                m_pWidget->show();
                RaiseWithOwned(m_pWidget);
            }
        } else {
            m_pWidget->raise();
        }
    } else if (pWndInsertAfter == &wndTop) {
        RaiseWithOwned(m_pWidget);
    }
    QRect g = m_pWidget->geometry();
    if (!(nFlags & SWP_NOMOVE))
        g.moveTo(x, y);
    if (!(nFlags & SWP_NOSIZE))
        g = win::detail::ControlGeometry(m_pWidget, QRect(g.topLeft(), QSize(cx, cy)));
    m_pWidget->setGeometry(g);
    if (nFlags & SWP_SHOWWINDOW)
        m_pWidget->show();
    if (nFlags & SWP_HIDEWINDOW)
        m_pWidget->hide();
    return TRUE;
}

void CWnd::GetWindowRect(LPRECT r) const
{
    if (!r)
        return;
    *r = {0, 0, 0, 0};
    if (!m_pWidget)
        return;
    QRect g = m_pWidget->isWindow() ? m_pWidget->frameGeometry() : m_pWidget->geometry();
    *r = {g.left(), g.top(), g.left() + g.width(), g.top() + g.height()};
}

void CWnd::GetClientRect(LPRECT r) const
{
    if (r)
        *r = {0, 0, m_pWidget ? m_pWidget->width() : 0, m_pWidget ? m_pWidget->height() : 0};
}

void CWnd::ScreenToClient(LPPOINT p) const
{
    if (p && m_pWidget) {
        QPoint q = m_pWidget->mapFromGlobal(QPoint(p->x, p->y));
        *p = {q.x(), q.y()};
    }
}

void CWnd::ScreenToClient(LPRECT r) const
{
    if (!r)
        return;
    POINT a{r->left, r->top}, b{r->right, r->bottom};
    ScreenToClient(&a);
    ScreenToClient(&b);
    *r = {a.x, a.y, b.x, b.y};
}

void CWnd::ClientToScreen(LPPOINT p) const
{
    if (p && m_pWidget) {
        QPoint q = m_pWidget->mapToGlobal(QPoint(p->x, p->y));
        *p = {q.x(), q.y()};
    }
}

void CWnd::SetWindowText(LPCTSTR s)
{
    if (!m_pWidget)
        return;
    QString text = ToQ(s);
    if (auto *b = qobject_cast<QAbstractButton *>(m_pWidget))
        b->setText(text);
    else if (auto *l = qobject_cast<QLabel *>(m_pWidget))
        l->setText(text);
    else if (auto *e = qobject_cast<QLineEdit *>(m_pWidget))
        e->setText(text);
    else if (auto *t = qobject_cast<QPlainTextEdit *>(m_pWidget))
        t->setPlainText(text.replace("\r\n", "\n")); // line ends as GetWindowText gives them
    else if (auto *c = qobject_cast<QComboBox *>(m_pWidget)) {
        if (c->isEditable())
            c->setEditText(text);
    } else if (auto *g = qobject_cast<QGroupBox *>(m_pWidget))
        g->setTitle(text);
    else
        m_pWidget->setWindowTitle(text);
    m_pWidget->update();
}

void CWnd::GetWindowText(CString &out) const
{
    QString text;
    if (!m_pWidget)
        text.clear();
    else if (auto *b = qobject_cast<QAbstractButton *>(m_pWidget))
        text = b->text();
    else if (auto *l = qobject_cast<QLabel *>(m_pWidget))
        text = l->text();
    else if (auto *e = qobject_cast<QLineEdit *>(m_pWidget))
        text = e->text();
    else if (auto *t = qobject_cast<QPlainTextEdit *>(m_pWidget))
        text = t->toPlainText().replace("\n", "\r\n");
    else if (auto *c = qobject_cast<QComboBox *>(m_pWidget))
        text = c->currentText();
    else if (auto *g = qobject_cast<QGroupBox *>(m_pWidget))
        text = g->title();
    else
        text = m_pWidget->windowTitle();
    QByteArray utf8 = text.toUtf8();
    out = CString::FromUtf8(std::string_view(utf8.constData(), size_t(utf8.size())));
}

int CWnd::GetWindowTextLength() const
{
    CString s;
    GetWindowText(s);
    return s.GetLength();
}

void CWnd::Invalidate(BOOL) { if (m_pWidget) m_pWidget->update(); }

void CWnd::InvalidateRect(LPCRECT r, BOOL)
{
    if (!m_pWidget)
        return;
    if (r)
        m_pWidget->update(QRect(r->left, r->top, r->right - r->left, r->bottom - r->top));
    else
        m_pWidget->update();
}

void CWnd::UpdateWindow() { if (m_pWidget) m_pWidget->repaint(); }

CWnd *CWnd::SetFocus()
{
    CWnd *old = GetFocus();
    if (m_pWidget) {
        m_pWidget->activateWindow();
        m_pWidget->setFocus(Qt::OtherFocusReason);
    }
    return old;
}

CWnd *CWnd::GetFocus()
{
    QWidget *f = QApplication::focusWidget();
    // The edit inside an editable combo box belongs to the combo box's window.
    for (QWidget *w = f; w; w = w->parentWidget())
        if (CWnd *wnd = FromWidget(w))
            return wnd;
    return nullptr;
}

int CWnd::SetWindowRgn(HRGN hRgn, BOOL bRedraw)
{
    if (!m_pWidget)
        return 0;
    if (const QRegion *r = win::gdi::RegionOf(hRgn)) {
        m_pWidget->setMask(*r);
        DeleteObject(hRgn); // the window owns the region
    } else {
        m_pWidget->clearMask();
    }
    if (bRedraw)
        m_pWidget->update();
    return 1;
}

BOOL CWnd::ModifyStyle(DWORD dwRemove, DWORD dwAdd, UINT)
{
    DWORD old = m_dwStyle;
    m_dwStyle = (m_dwStyle & ~dwRemove) | dwAdd;
    if (m_pWidget && ((old ^ m_dwStyle) & WS_VISIBLE))
        m_pWidget->setVisible(m_dwStyle & WS_VISIBLE);
    return old != m_dwStyle;
}

void CWnd::SetFont(CFont *pFont, BOOL bRedraw)
{
    m_pFont = pFont;
    const QFont *f = pFont ? win::gdi::FontOf(*pFont) : nullptr;
    if (m_pWidget && f) {
        m_pWidget->setFont(*f);
        // A combo box's closed height follows its font.
        m_pWidget->setGeometry(win::detail::ControlGeometry(m_pWidget, m_pWidget->geometry()));
        if (bRedraw)
            m_pWidget->update();
    }
}

HICON CWnd::SetIcon(HICON hIcon, BOOL)
{
    if (const QPixmap *p = win::gdi::IconOf(hIcon); p && m_pWidget)
        m_pWidget->setWindowIcon(QIcon(*p));
    return nullptr;
}

BOOL CWnd::SetForegroundWindow()
{
    if (!m_pWidget)
        return FALSE;
    RaiseWithOwned(m_pWidget->window());
    m_pWidget->activateWindow();
    return TRUE;
}

CWnd *CWnd::SetActiveWindow()
{
    CWnd *old = FromWidget(QApplication::activeWindow());
    if (m_pWidget)
        m_pWidget->activateWindow();
    return old;
}

BOOL CWnd::IsIconic() const { return m_pWidget && m_pWidget->isMinimized(); }

int GetSystemMetrics(int nIndex)
{
    QScreen *s = QGuiApplication::primaryScreen();
    QRect g = s ? s->geometry() : QRect(0, 0, 1024, 768);
    switch (nIndex) {
    case SM_CXSCREEN: return g.width();
    case SM_CYSCREEN: return g.height();
    case SM_CXICON:
    case SM_CYICON: return 32;
    default: return 0;
    }
}

short GetKeyState(int nVirtKey)
{
    Qt::KeyboardModifiers m = QGuiApplication::queryKeyboardModifiers();
    bool down = (nVirtKey == VK_CONTROL && (m & Qt::ControlModifier)) ||
                (nVirtKey == 0x10 && (m & Qt::ShiftModifier));
    return down ? short(0x8000) : 0;
}

BOOL GetCursorPos(LPPOINT p)
{
    if (!p)
        return FALSE;
    QPoint q = QCursor::pos();
    *p = {q.x(), q.y()};
    return TRUE;
}

HCURSOR SetCursor(HCURSOR hCursor)
{
    if (const QCursor *c = win::gdi::CursorOf(hCursor); c && win::detail::g_cursorTarget)
        win::detail::g_cursorTarget->setCursor(*c);
    return nullptr;
}
