// Window-manager types and numbers of the widget-backed windows: rectangles, points, MSG,
// show and position flags, hit-test codes, control notifications and styles.
#pragma once

#include <win/windef.h>

struct POINT {
    LONG x;
    LONG y;
};
typedef POINT *LPPOINT;
struct SIZE {
    LONG cx;
    LONG cy;
};
struct RECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
};
typedef RECT *LPRECT;
typedef const RECT *LPCRECT;

class CPoint : public POINT
{
  public:
    CPoint() : POINT{0, 0} {}
    CPoint(int x_, int y_) : POINT{x_, y_} {}
};

class CSize : public SIZE
{
  public:
    CSize() : SIZE{0, 0} {}
    CSize(int cx_, int cy_) : SIZE{cx_, cy_} {}
};

class CRect : public RECT
{
  public:
    CRect() : RECT{0, 0, 0, 0} {}
    CRect(int l, int t, int r, int b) : RECT{l, t, r, b} {}
    CRect(const RECT &r) : RECT(r) {}
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    BOOL PtInRect(POINT p) const { return p.x >= left && p.x < right && p.y >= top && p.y < bottom; }
    void OffsetRect(int dx, int dy)
    {
        left += dx;
        right += dx;
        top += dy;
        bottom += dy;
    }
    BOOL IsRectEmpty() const { return right <= left || bottom <= top; }
    /// The smallest rectangle holding both; an empty one adds nothing.
    BOOL UnionRect(LPCRECT a, LPCRECT b)
    {
        const CRect ra(*a), rb(*b);
        if (ra.IsRectEmpty())
            *this = rb;
        else if (rb.IsRectEmpty())
            *this = ra;
        else
            *this = CRect(ra.left < rb.left ? ra.left : rb.left, ra.top < rb.top ? ra.top : rb.top,
                          ra.right > rb.right ? ra.right : rb.right,
                          ra.bottom > rb.bottom ? ra.bottom : rb.bottom);
        return !IsRectEmpty();
    }
    operator LPRECT() { return this; }
    operator LPCRECT() const { return this; }
};

struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
};

struct HICON__;
typedef HICON__ *HICON;
struct HCURSOR__;
typedef HCURSOR__ *HCURSOR;
struct HBRUSH__;
typedef HBRUSH__ *HBRUSH;
struct HRGN__;
typedef HRGN__ *HRGN;
struct HMENU__;
typedef HMENU__ *HMENU;

#define RGB(r, g, b) ((COLORREF)(((BYTE)(r)) | ((WORD)((BYTE)(g)) << 8) | (((DWORD)(BYTE)(b)) << 16)))
#define GetRValue(c) ((BYTE)(c))
#define GetGValue(c) ((BYTE)(((WORD)(c)) >> 8))
#define GetBValue(c) ((BYTE)((c) >> 16))

// ShowWindow
#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_NORMAL 1
#define SW_SHOWMINIMIZED 2
#define SW_SHOWNOACTIVATE 4
#define SW_SHOW 5
#define SW_MINIMIZE 6
#define SW_SHOWNA 8
#define SW_RESTORE 9

// SetWindowPos
#define SWP_NOSIZE 0x0001
#define SWP_NOMOVE 0x0002
#define SWP_NOZORDER 0x0004
#define SWP_NOACTIVATE 0x0010
#define SWP_SHOWWINDOW 0x0040
#define SWP_HIDEWINDOW 0x0080

// WM_NCHITTEST results
#define HTERROR (-2)
#define HTTRANSPARENT (-1)
#define HTNOWHERE 0
#define HTCLIENT 1
#define HTCAPTION 2

// Styles
#define WS_CHILD 0x40000000u
#define WS_VISIBLE 0x10000000u
#define WS_DISABLED 0x08000000u
#define WS_TABSTOP 0x00010000u
#define SS_NOTIFY 0x00000100u
#define SS_BITMAP 0x0000000Eu
#define ES_PASSWORD 0x0020u
#define ES_AUTOHSCROLL 0x0080u
#define CBS_DROPDOWN 0x0002u
#define CBS_DROPDOWNLIST 0x0003u

// Dialog command ids
#ifndef IDOK
#define IDOK 1
#define IDCANCEL 2
#endif

// Control notifications in WM_COMMAND
#define BN_CLICKED 0
#define BN_DOUBLECLICKED 5
#define STN_CLICKED 0
#define STN_DBLCLK 1
#define CBN_SELCHANGE 1
#define CBN_EDITCHANGE 5
#define EN_CHANGE 0x0300
#define CB_ERR (-1)

// WM_CTLCOLOR kinds
#define CTLCOLOR_MSGBOX 0
#define CTLCOLOR_EDIT 1
#define CTLCOLOR_LISTBOX 2
#define CTLCOLOR_BTN 3
#define CTLCOLOR_DLG 4
#define CTLCOLOR_SCROLLBAR 5
#define CTLCOLOR_STATIC 6

#define TRANSPARENT 1
#define OPAQUE 2

// Keys
#define VK_BACK 0x08
#define VK_TAB 0x09
#define VK_RETURN 0x0D
#define VK_CONTROL 0x11
#define VK_ESCAPE 0x1B
#define VK_MULTIPLY 0x6A
#define VK_DECIMAL 0x6E
#define VK_NUMPAD0 0x60

#define MK_LBUTTON 0x0001
#define MK_RBUTTON 0x0002

// Tooltips
#define TTM_ACTIVATE 0x0401
#define TTM_GETTOOLCOUNT 0x040D
#define TTM_RELAYEVENT 0x0407

// System metrics
#define SM_CXSCREEN 0
#define SM_CYSCREEN 1
#define SM_CXICON 11
#define SM_CYICON 12
int GetSystemMetrics(int nIndex);

/// The key's state: the high bit is set while it is down (VK_CONTROL, VK_SHIFT).
short GetKeyState(int nVirtKey);
BOOL GetCursorPos(LPPOINT lpPoint);
/// Sets the cursor of the window whose WM_SETCURSOR is being handled; returns the previous.
HCURSOR SetCursor(HCURSOR hCursor);
