// Message-map entries for the messages of widget-backed windows (mouse, cursor, hit test,
// paint, move, colours) and control notifications.
#pragma once

#include <win/msgmap.h>
#include <win/widget_bridge.h>
#include <win/winuser.h>

class CDC;

#define KESTRELIN_POINT_OF(lp) CPoint(short(LOWORD(lp)), short(HIWORD(lp)))

#define KESTRELIN_ON_MOUSE(msg, fn)                                                            \
    {msg, 0, 0, 0,                                                                             \
     [](::CWnd *w, WPARAM wp, LPARAM lp) -> LRESULT {                                          \
         static_cast<ThisClass *>(w)->fn(UINT(wp), KESTRELIN_POINT_OF(lp));                    \
         return 0;                                                                             \
     }},

#define ON_WM_MOUSEMOVE() KESTRELIN_ON_MOUSE(WM_MOUSEMOVE, OnMouseMove)
#define ON_WM_LBUTTONDOWN() KESTRELIN_ON_MOUSE(WM_LBUTTONDOWN, OnLButtonDown)
#define ON_WM_LBUTTONUP() KESTRELIN_ON_MOUSE(WM_LBUTTONUP, OnLButtonUp)
#define ON_WM_LBUTTONDBLCLK() KESTRELIN_ON_MOUSE(WM_LBUTTONDBLCLK, OnLButtonDblClk)
#define ON_WM_RBUTTONDOWN() KESTRELIN_ON_MOUSE(WM_RBUTTONDOWN, OnRButtonDown)
#define ON_WM_RBUTTONUP() KESTRELIN_ON_MOUSE(WM_RBUTTONUP, OnRButtonUp)
#define ON_WM_NCLBUTTONDOWN() KESTRELIN_ON_MOUSE(WM_NCLBUTTONDOWN, OnNcLButtonDown)
#define ON_WM_NCLBUTTONUP() KESTRELIN_ON_MOUSE(WM_NCLBUTTONUP, OnNcLButtonUp)
#define ON_WM_NCMOUSEMOVE() KESTRELIN_ON_MOUSE(WM_NCMOUSEMOVE, OnNcMouseMove)

/// BOOL OnSetCursor(CWnd *pWnd, UINT nHitTest, UINT message)
#define ON_WM_SETCURSOR()                                                                      \
    {WM_SETCURSOR, 0, 0, 0,                                                                    \
     [](::CWnd *w, WPARAM wp, LPARAM lp) -> LRESULT {                                          \
         return static_cast<ThisClass *>(w)->OnSetCursor(                                      \
             ::CWnd::FromHandle(reinterpret_cast<HWND>(wp)), LOWORD(lp), HIWORD(lp));          \
     }},

/// LRESULT OnNcHitTest(CPoint point), point in screen coordinates
#define ON_WM_NCHITTEST()                                                                      \
    {WM_NCHITTEST, 0, 0, 0,                                                                    \
     [](::CWnd *w, WPARAM, LPARAM lp) -> LRESULT {                                             \
         return static_cast<ThisClass *>(w)->OnNcHitTest(KESTRELIN_POINT_OF(lp));              \
     }},

/// void OnPaint()
#define ON_WM_PAINT()                                                                          \
    {WM_PAINT, 0, 0, 0,                                                                        \
     [](::CWnd *w, WPARAM, LPARAM) -> LRESULT {                                                \
         static_cast<ThisClass *>(w)->OnPaint();                                               \
         return 0;                                                                             \
     }},

/// void OnMove(int x, int y)
#define ON_WM_MOVE()                                                                           \
    {WM_MOVE, 0, 0, 0,                                                                         \
     [](::CWnd *w, WPARAM, LPARAM lp) -> LRESULT {                                             \
         static_cast<ThisClass *>(w)->OnMove(short(LOWORD(lp)), short(HIWORD(lp)));            \
         return 0;                                                                             \
     }},

/// HBRUSH OnCtlColor(CDC *pDC, CWnd *pWnd, UINT nCtlColor)
#define ON_WM_CTLCOLOR()                                                                       \
    {WM_CTLCOLOR, 0, 0, 0,                                                                     \
     [](::CWnd *w, WPARAM wp, LPARAM lp) -> LRESULT {                                          \
         auto *info = reinterpret_cast<::win::detail::CtlColorInfo *>(lp);                     \
         return reinterpret_cast<LRESULT>(static_cast<ThisClass *>(w)->OnCtlColor(             \
             reinterpret_cast<CDC *>(wp), info->pWnd, info->nCtlColor));                       \
     }},

/// HBRUSH CtlColor(CDC *pDC, UINT nCtlColor), on the control itself
#define ON_WM_CTLCOLOR_REFLECT()                                                               \
    {::win::detail::WM_REFLECT_CTLCOLOR, 0, 0, 0,                                              \
     [](::CWnd *w, WPARAM wp, LPARAM lp) -> LRESULT {                                          \
         auto *info = reinterpret_cast<::win::detail::CtlColorInfo *>(lp);                     \
         return reinterpret_cast<LRESULT>(static_cast<ThisClass *>(w)->CtlColor(               \
             reinterpret_cast<CDC *>(wp), info->nCtlColor));                                   \
     }},

#define ON_BN_CLICKED(id, memberFxn) ON_CONTROL(BN_CLICKED, id, memberFxn)
#define ON_STN_CLICKED(id, memberFxn) ON_CONTROL(STN_CLICKED, id, memberFxn)
#define ON_CBN_SELCHANGE(id, memberFxn) ON_CONTROL(CBN_SELCHANGE, id, memberFxn)

/// void OnSysCommand(UINT nID, LPARAM lParam)
#define ON_WM_SYSCOMMAND()                                                                     \
    {WM_SYSCOMMAND, 0, 0, 0,                                                                   \
     [](::CWnd *w, WPARAM wp, LPARAM lp) -> LRESULT {                                          \
         static_cast<ThisClass *>(w)->OnSysCommand(UINT(wp), lp);                              \
         return 0;                                                                             \
     }},
