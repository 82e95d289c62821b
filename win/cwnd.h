// CWnd: a window object with a handle, per-window message dispatch and timers.
//
// A window gets its handle from CreateHandle() and loses it in DestroyWindow() (or its
// destructor). Handles are never reused, so a stale handle never reaches a newer window.
// Messages reach WindowProc, which looks the message up in the class's message map
// (win/msgmap.h) and otherwise calls DefWindowProc.
//
// Windows backed by a widget (dialogs, controls) derive from CWnd: they call CreateHandle()
// when their widget is made, turn the widget's events into messages with SendMessage() on the
// interface thread (a direct call through WindowProc), and call DestroyWindow() when the widget
// goes. The Qt object that carries the messages stays inside the layer.
#pragma once

#include <win/msgmap.h>
#include <win/windef.h>
#include <win/winmsg.h>

class CWnd
{
  public:
    CWnd() = default;
    CWnd(const CWnd &) = delete;
    CWnd &operator=(const CWnd &) = delete;
    /// Releases a handle still held (timers stop, queued messages are dropped); no WM_DESTROY.
    virtual ~CWnd();

    HWND GetSafeHwnd() const { return m_hWnd; }
    operator HWND() const { return m_hWnd; }
    /// The window of a live handle, or null.
    static CWnd *FromHandle(HWND hWnd);

    /// Handles one message: the message map, then DefWindowProc.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    /// Looks the message up in the message maps of the class and its bases; TRUE when a
    /// handler ran (its result in *pResult).
    virtual BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT *pResult);
    /// What a window does with a message nobody handles: WM_CLOSE destroys the window; every
    /// other message gives 0.
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    /// DefWindowProc for the message being handled on this thread.
    LRESULT Default();

    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    UINT_PTR SetTimer(UINT_PTR nIDEvent, UINT nElapse, std::nullptr_t = nullptr);
    BOOL KillTimer(UINT_PTR nIDEvent);

    /// Sends WM_DESTROY, then releases the handle and calls PostNcDestroy. FALSE without one.
    virtual BOOL DestroyWindow();

    HWND m_hWnd = nullptr;

  protected:
    /// Gives the window a new handle (interface thread); FALSE without a QCoreApplication or
    /// when it already has one.
    BOOL CreateHandle();
    /// Called last in DestroyWindow, after the handle is gone; a window that owns itself may
    /// delete itself here.
    virtual void PostNcDestroy() {}

    afx_msg void OnTimer(UINT_PTR nIDEvent);
    afx_msg void OnDestroy();
    afx_msg void OnClose();

    static const win::MessageMap *GetThisMessageMap();
    virtual const win::MessageMap *GetMessageMap() const;

  private:
    void ReleaseHandle();
};
