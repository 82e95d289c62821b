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

#include <win/cstring.h>
#include <win/msgmap.h>
#include <win/windef.h>
#include <win/winmsg.h>
#include <win/winuser.h>

class QWidget;
class CDC;
class CFont;

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

    // Windows backed by a widget (win/cwnd_widget.cpp); without one these do nothing.
    QWidget *GetWidget() const { return m_pWidget; }
    static CWnd *FromWidget(QWidget *widget);
    CWnd *GetParent() const;
    /// The child control with that id, searched among all descendants.
    CWnd *GetDlgItem(int nID) const;
    int GetDlgCtrlID() const { return m_nID; }
    BOOL ShowWindow(int nCmdShow);
    BOOL IsWindowVisible() const;
    BOOL EnableWindow(BOOL bEnable = TRUE);
    BOOL IsWindowEnabled() const;
    void MoveWindow(int x, int y, int nWidth, int nHeight, BOOL bRepaint = TRUE);
    void MoveWindow(LPCRECT lpRect, BOOL bRepaint = TRUE);
    /// &wndTopMost / &wndNoTopMost change the top-level's stay-on-top state (for a child:
    /// raise it above its siblings); position and size unless SWP_NOMOVE / SWP_NOSIZE.
    BOOL SetWindowPos(const CWnd *pWndInsertAfter, int x, int y, int cx, int cy, UINT nFlags);
    /// Screen coordinates for a top-level window, the parent's client coordinates for a child.
    void GetWindowRect(LPRECT lpRect) const;
    void GetClientRect(LPRECT lpRect) const;
    void ScreenToClient(LPPOINT lpPoint) const;
    void ScreenToClient(LPRECT lpRect) const;
    void ClientToScreen(LPPOINT lpPoint) const;
    void SetWindowText(LPCTSTR lpszString);
    void GetWindowText(CString &rString) const;
    int GetWindowTextLength() const;
    void Invalidate(BOOL bErase = TRUE);
    void InvalidateRect(LPCRECT lpRect, BOOL bErase = TRUE);
    void UpdateWindow();
    CWnd *SetFocus();
    static CWnd *GetFocus();
    /// The window takes the region as its shape (a mask) and owns it; NULL restores the
    /// rectangle.
    int SetWindowRgn(HRGN hRgn, BOOL bRedraw);
    DWORD GetStyle() const { return m_dwStyle; }
    BOOL ModifyStyle(DWORD dwRemove, DWORD dwAdd, UINT nFlags = 0);
    void SetFont(CFont *pFont, BOOL bRedraw = TRUE);
    CFont *GetFont() const { return m_pFont; }
    HICON SetIcon(HICON hIcon, BOOL bBigIcon);
    BOOL SetForegroundWindow();
    CWnd *SetActiveWindow();
    BOOL IsIconic() const;

    /// Called for keyboard and mouse messages before they are dispatched, on the target window
    /// and then on each parent; TRUE consumes the message.
    virtual BOOL PreTranslateMessage(MSG *pMsg);
    /// Called when a control of a dialog template is bound to this object, before it is used.
    virtual void PreSubclassWindow() {}

    static const CWnd wndTop;
    static const CWnd wndBottom;
    static const CWnd wndTopMost;
    static const CWnd wndNoTopMost;

  protected:
    afx_msg void OnMouseMove(UINT nFlags, CPoint point);
    afx_msg void OnLButtonDown(UINT nFlags, CPoint point);
    afx_msg void OnLButtonUp(UINT nFlags, CPoint point);
    afx_msg void OnLButtonDblClk(UINT nFlags, CPoint point);
    afx_msg void OnRButtonDown(UINT nFlags, CPoint point);
    afx_msg void OnRButtonUp(UINT nFlags, CPoint point);
    afx_msg BOOL OnSetCursor(CWnd *pWnd, UINT nHitTest, UINT message);
    afx_msg LRESULT OnNcHitTest(CPoint point);
    afx_msg void OnNcLButtonDown(UINT nHitTest, CPoint point);
    afx_msg void OnNcLButtonUp(UINT nHitTest, CPoint point);
    afx_msg void OnNcMouseMove(UINT nHitTest, CPoint point);
    afx_msg void OnPaint();
    afx_msg void OnMove(int x, int y);
    afx_msg HBRUSH OnCtlColor(CDC *pDC, CWnd *pWnd, UINT nCtlColor);

    /// Binds a widget made by the layer to this window (handle, events to messages).
    void AttachWidget(QWidget *widget, int nID, DWORD dwStyle);

    QWidget *m_pWidget = nullptr;
    int m_nID = 0;
    DWORD m_dwStyle = 0;
    CFont *m_pFont = nullptr;

  private:
    friend struct WidgetAccess;

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
