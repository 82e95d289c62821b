// GDI as the skinned windows use it: bitmaps by resource id, solid and pattern brushes, fonts
// by height and weight, regions from RGNDATA, icons and cursors, and device contexts.
//
// Painting happens only in a widget's paint event. A CPaintDC draws there; a CClientDC (drawing
// outside paint) draws nothing itself and asks for a repaint of the window instead, so code
// that keeps its display as state and draws it in OnPaint shows the same picture.
#pragma once

#include <win/cstring.h>
#include <win/winuser.h>

#include <memory>

class QPainter;
class QPixmap;
class QFont;
class QBrush;
class QRegion;
class QCursor;
class CWnd;

typedef void *HGDIOBJ;
struct HDC__;
typedef HDC__ *HDC;
struct HBITMAP__;
typedef HBITMAP__ *HBITMAP;
struct HFONT__;
typedef HFONT__ *HFONT;

#define NULL_BRUSH 5
#define HOLLOW_BRUSH NULL_BRUSH
HGDIOBJ GetStockObject(int i);

#define FW_THIN 100
#define FW_NORMAL 400
#define FW_BOLD 700
#define ANSI_CHARSET 0
#define DEFAULT_CHARSET 1
#define OUT_CHARACTER_PRECIS 2
#define CLIP_CHARACTER_PRECIS 1
#define DEFAULT_QUALITY 0
#define DEFAULT_PITCH 0

namespace win::gdi {
struct BrushData;
struct FontData;
struct BitmapData;
const QBrush *BrushOf(HBRUSH h);     // null for NULL_BRUSH or an unknown handle
bool IsNullBrush(HBRUSH h);
const QFont *FontOf(HFONT h);
const QPixmap *PixmapOf(HBITMAP h);
const QRegion *RegionOf(HRGN h);
const QPixmap *IconOf(HICON h);
const QCursor *CursorOf(HCURSOR h);
} // namespace win::gdi

class CBitmap
{
  public:
    CBitmap();
    ~CBitmap();
    CBitmap(const CBitmap &) = delete;
    CBitmap &operator=(const CBitmap &) = delete;
    /// Loads bitmap nIDResource from the resource module in force.
    BOOL LoadBitmap(UINT nIDResource);
    BOOL DeleteObject();
    operator HBITMAP() const;
    HBITMAP GetSafeHandle() const { return *this; }
    SIZE GetSize() const;

  private:
    std::unique_ptr<win::gdi::BitmapData> m_data;
};

class CBrush
{
  public:
    CBrush();
    ~CBrush();
    CBrush(const CBrush &) = delete;
    CBrush &operator=(const CBrush &) = delete;
    BOOL CreateSolidBrush(COLORREF color);
    /// A brush that tiles the bitmap from the window's origin.
    BOOL CreatePatternBrush(CBitmap *pBitmap);
    BOOL DeleteObject();
    operator HBRUSH() const;
    HBRUSH GetSafeHandle() const { return *this; }

  private:
    std::unique_ptr<win::gdi::BrushData> m_data;
};

class CFont
{
  public:
    CFont();
    ~CFont();
    CFont(const CFont &) = delete;
    CFont &operator=(const CFont &) = delete;
    /// A positive height is the cell height in pixels; the weight maps onto the toolkit's.
    /// With no face name the toolkit's default face (with CJK fallback) is used.
    BOOL CreateFont(int nHeight, int nWidth, int nEscapement, int nOrientation, int nWeight,
                    BYTE bItalic, BYTE bUnderline, BYTE cStrikeOut, BYTE nCharSet,
                    BYTE nOutPrecision, BYTE nClipPrecision, BYTE nQuality,
                    BYTE nPitchAndFamily, LPCTSTR lpszFacename);
    BOOL DeleteObject();
    operator HFONT() const;
    HFONT GetSafeHandle() const { return *this; }

  private:
    std::unique_ptr<win::gdi::FontData> m_data;
};

/// A drawing context: text colour, background mode and colour, the selected font, and the
/// painter of a paint event when there is one.
class CDC
{
  public:
    CDC();
    virtual ~CDC();
    CDC(const CDC &) = delete;
    CDC &operator=(const CDC &) = delete;

    COLORREF SetTextColor(COLORREF color);
    COLORREF GetTextColor() const { return m_textColor; }
    int SetBkMode(int nBkMode);
    int GetBkMode() const { return m_bkMode; }
    COLORREF SetBkColor(COLORREF color);
    COLORREF GetBkColor() const { return m_bkColor; }
    /// Selects a font and returns the one selected before (null for the default).
    CFont *SelectObject(CFont *pFont);
    CFont *GetCurrentFont() const { return m_font; }
    BOOL TextOut(int x, int y, const CString &text);
    /// Width and height of the text in the selected font, as TextOut draws it; measures also
    /// outside paint.
    CSize GetTextExtent(const CString &text) const;
    void FillSolidRect(int x, int y, int cx, int cy, COLORREF color);
    void FillSolidRect(LPCRECT rect, COLORREF color);
    void FillRect(LPCRECT rect, CBrush *pBrush);

    QPainter *Painter() const { return m_painter; }
    static CDC *FromHandle(HDC hDC) { return reinterpret_cast<CDC *>(hDC); }
    /// The window drawn on outside paint (a CClientDC), or null.
    virtual CWnd *Window() const { return nullptr; }

    HDC m_hDC;

  protected:
    QPainter *m_painter = nullptr;

  private:
    /// The selected font, else the painter's, else the toolkit's default.
    QFont CurrentQFont() const;

    COLORREF m_textColor = 0;
    COLORREF m_bkColor = 0xFFFFFF;
    int m_bkMode = OPAQUE;
    CFont *m_font = nullptr;
};

/// The context of the paint event of pWnd; outside one it draws nothing.
class CPaintDC : public CDC
{
  public:
    explicit CPaintDC(CWnd *pWnd);
    ~CPaintDC() override;
};

/// Drawing outside paint: asks for a repaint of the window when it goes.
class CClientDC : public CDC
{
  public:
    explicit CClientDC(CWnd *pWnd);
    ~CClientDC() override;
    /// The window while it exists (the context may outlive it).
    CWnd *Window() const override;
    HWND GetWindowHandle() const { return m_hWnd; }

  private:
    HWND m_hWnd;
};

struct RGNDATAHEADER {
    DWORD dwSize;
    DWORD iType;
    DWORD nCount;
    DWORD nRgnSize;
    RECT rcBound;
};
struct RGNDATA {
    RGNDATAHEADER rdh;
    char Buffer[1];
};
struct XFORM {
    float eM11, eM12, eM21, eM22, eDx, eDy;
};

/// A region from a rectangle list; NULL when the data is malformed (the count must fit the
/// size) or the transform is not a translation.
HRGN ExtCreateRegion(const XFORM *lpx, DWORD nCount, const RGNDATA *lpData);
BOOL DeleteObject(HGDIOBJ hObject);

/// Icons and cursors by resource id, from the resource module given (NULL: the program's).
HICON LoadIconA(HINSTANCE hInstance, LPCSTR lpIconName);
HCURSOR LoadCursorA(HINSTANCE hInstance, LPCSTR lpCursorName);
BOOL DestroyIcon(HICON hIcon);
BOOL DestroyCursor(HCURSOR hCursor);
#define LoadIcon LoadIconA
#define LoadCursor LoadCursorA

struct BITMAPINFOHEADER {
    DWORD biSize;
    LONG biWidth;
    LONG biHeight; // positive: bottom-up rows
    WORD biPlanes;
    WORD biBitCount;
    DWORD biCompression;
    DWORD biSizeImage;
    LONG biXPelsPerMeter;
    LONG biYPelsPerMeter;
    DWORD biClrUsed;
    DWORD biClrImportant;
};
struct RGBQUAD {
    BYTE rgbBlue, rgbGreen, rgbRed, rgbReserved;
};
struct BITMAPINFO {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[1];
};
#define BI_RGB 0
#define DIB_RGB_COLORS 0
#define SRCCOPY 0x00CC0020u

/// Draws (part of) a 32-bit BI_RGB picture (0x00RRGGBB pixels) stretched into the
/// destination rectangle. In a paint event it draws at once. On a window's client context,
/// from any thread, the picture is kept as the window's state and the window repaints it on
/// the interface thread. Returns the number of rows drawn, 0 on failure.
int StretchDIBits(HDC hdc, int xDest, int yDest, int DestWidth, int DestHeight, int xSrc,
                  int ySrc, int SrcWidth, int SrcHeight, const void *lpBits,
                  const BITMAPINFO *lpbmi, UINT iUsage, DWORD rop);
