// Between widgets and windows: events become messages, messages fall back to the toolkit.
// Private to the layer.
#pragma once

#include <win/windef.h>

class CWnd;
class QImage;
class QObject;
class QPainter;
class QRect;
class QWidget;

namespace win::detail {

/// What the widget part does for the windows backed by a widget. CWnd's own part reaches it
/// through these, so that programs without widgets link no toolkit widgets; the widget part
/// installs them before it binds the first widget.
struct WidgetHooks {
    void (*detach)(CWnd *pWnd);
    LRESULT (*defaultProc)(CWnd *pWnd, UINT message, WPARAM wParam, LPARAM lParam);
};
void SetWidgetHooks(const WidgetHooks *hooks);

/// True while the layer's application object delivers a mouse or key event; receiver is then
/// the object it was sent to, before the toolkit passes it on to the parents of a widget that
/// ignores it (null once that object is gone).
bool InputEventInDelivery(QObject **receiver);

/// Binds the widget to the window: its events reach the window as messages.
void Bridge(CWnd *pWnd, QWidget *widget);
void Unbridge(CWnd *pWnd, QWidget *widget);

/// Sends a message for a widget event; true when the handler let the toolkit's default run.
bool Dispatch(CWnd *pWnd, UINT message, WPARAM wParam, LPARAM lParam, LRESULT *result = nullptr);

/// What DefWindowProc does for a window backed by a widget.
LRESULT WidgetDefault(CWnd *pWnd, UINT message, WPARAM wParam, LPARAM lParam);

/// The painter of pWnd's paint event in progress, or null.
QPainter *CurrentPainter(CWnd *pWnd);

/// Paints a widget's background and then lets the window paint (WM_PAINT) with the painter.
/// For controls the brush comes from WM_CTLCOLOR (reflected to the control first, then its
/// parent); its text colour, background mode and font are returned in the out parameters.
void PaintWindow(CWnd *pWnd, QPainter &painter, UINT ctlColor);

/// Keeps a picture as part of the window's look (any thread) and asks it to repaint.
void KeepPicture(HWND hWnd, const QRect &dest, QImage picture);

/// Draws the pictures kept for the window; widgets call it last in their paint.
void PaintPictures(CWnd *pWnd, QPainter &painter);

/// Drops the pictures of a window that goes.
void ForgetPictures(HWND hWnd);

/// Keeps the windows that the top-level window owner owns (their transient parent) with it:
/// hidden while it is hidden minimised, shown again when it is back (the window manager
/// iconifies them with it).
void FollowOwner(QWidget *owner);

/// Raises a top-level window, then the shown windows it owns, which stay above it.
void RaiseWithOwned(QWidget *window);

/// A modal window has ended: its owner's top-level window, when shown, gets the keyboard back.
void ActivateOwner(CWnd *owner);

/// Asks the widget of a window to repaint (posted by KeepPicture).
inline constexpr UINT WM_REPAINT_PICTURES = 0xBC01;

struct CtlColorInfo {
    CWnd *pWnd;
    UINT nCtlColor;
};

/// Reflected WM_CTLCOLOR, sent to a control before its parent is asked.
inline constexpr UINT WM_REFLECT_CTLCOLOR = 0xBC00 + 0x0019;

} // namespace win::detail

/// Access of the layer to a window's widget binding.
struct WidgetAccess {
    /// Unbinds the widget (it stays to its owner); the window no longer refers to it.
    static void Detach(CWnd *pWnd);
    static void SetOwner(CWnd *pWnd, CWnd *pOwner);
    static void Attach(CWnd *pWnd, QWidget *widget, int nID, DWORD dwStyle);
};
