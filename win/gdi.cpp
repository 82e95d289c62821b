// GDI objects over QPixmap, QBrush, QFont and QRegion.
#include <win/wingdi.h>

#include <win/codepage.h>
#include <win/cwnd.h>
#include <win/resources.h>
#include <win/widget_bridge.h>

#include <QBrush>
#include <QCursor>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QRegion>

#include <mutex>
#include <set>

namespace win::gdi {

struct BitmapData {
    QPixmap pixmap;
};
struct BrushData {
    QBrush brush;
};
struct FontData {
    QFont font;
};
struct RegionData {
    QRegion region;
};
struct IconData {
    QPixmap pixmap;
    QCursor cursor;
};

namespace {

// The GDI objects alive now, and the stock NULL_BRUSH (never among them); built on first use
// and kept until the process ends.
struct GdiTable {
    std::mutex mutex;
    std::set<const void *> live;
    BrushData nullBrush;
};

GdiTable &Gdi()
{
    static GdiTable *table = new GdiTable;
    return *table;
}

BrushData *NullBrush() { return &Gdi().nullBrush; }

void Track(const void *p)
{
    GdiTable &t = Gdi();
    std::lock_guard<std::mutex> lock(t.mutex);
    t.live.insert(p);
}
void Untrack(const void *p)
{
    GdiTable &t = Gdi();
    std::lock_guard<std::mutex> lock(t.mutex);
    t.live.erase(p);
}
bool Live(const void *p)
{
    GdiTable &t = Gdi();
    std::lock_guard<std::mutex> lock(t.mutex);
    return t.live.count(p) != 0;
}

QColor Color(COLORREF c) { return QColor(GetRValue(c), GetGValue(c), GetBValue(c)); }

const std::string *IconResource(HINSTANCE module, LPCSTR type, LPCSTR name)
{
    HRSRC r = FindResourceA(module ? module : AfxGetResourceHandle(), name, type);
    return r ? static_cast<const std::string *>(static_cast<const void *>(r)) : nullptr;
}

} // namespace

const QBrush *BrushOf(HBRUSH h)
{
    auto *d = reinterpret_cast<BrushData *>(h);
    return d && d != NullBrush() && Live(d) ? &d->brush : nullptr;
}
bool IsNullBrush(HBRUSH h) { return reinterpret_cast<BrushData *>(h) == NullBrush(); }
const QFont *FontOf(HFONT h)
{
    auto *d = reinterpret_cast<FontData *>(h);
    return d && Live(d) ? &d->font : nullptr;
}
const QPixmap *PixmapOf(HBITMAP h)
{
    auto *d = reinterpret_cast<BitmapData *>(h);
    return d && Live(d) ? &d->pixmap : nullptr;
}
const QRegion *RegionOf(HRGN h)
{
    auto *d = reinterpret_cast<RegionData *>(h);
    return d && Live(d) ? &d->region : nullptr;
}
const QPixmap *IconOf(HICON h)
{
    auto *d = reinterpret_cast<IconData *>(h);
    return d && Live(d) ? &d->pixmap : nullptr;
}
const QCursor *CursorOf(HCURSOR h)
{
    auto *d = reinterpret_cast<IconData *>(h);
    return d && Live(d) ? &d->cursor : nullptr;
}

} // namespace win::gdi

using namespace win::gdi;

HGDIOBJ GetStockObject(int i) { return i == NULL_BRUSH ? NullBrush() : nullptr; }

CBitmap::CBitmap() = default;
CBitmap::~CBitmap() { DeleteObject(); }

BOOL CBitmap::LoadBitmap(UINT nIDResource)
{
    DeleteObject();
    const std::string *data = win::res::Find("BITMAP", nIDResource);
    if (!data)
        return FALSE;
    auto d = std::make_unique<BitmapData>();
    if (!d->pixmap.loadFromData(reinterpret_cast<const uchar *>(data->data()), uint(data->size())))
        return FALSE;
    Track(d.get());
    m_data = std::move(d);
    return TRUE;
}

BOOL CBitmap::DeleteObject()
{
    if (!m_data)
        return FALSE;
    Untrack(m_data.get());
    m_data.reset();
    return TRUE;
}

CBitmap::operator HBITMAP() const { return reinterpret_cast<HBITMAP>(m_data.get()); }

SIZE CBitmap::GetSize() const
{
    return m_data ? SIZE{m_data->pixmap.width(), m_data->pixmap.height()} : SIZE{0, 0};
}

CBrush::CBrush() = default;
CBrush::~CBrush() { DeleteObject(); }

BOOL CBrush::CreateSolidBrush(COLORREF color)
{
    DeleteObject();
    m_data = std::make_unique<BrushData>();
    m_data->brush = QBrush(Color(color));
    Track(m_data.get());
    return TRUE;
}

BOOL CBrush::CreatePatternBrush(CBitmap *pBitmap)
{
    const QPixmap *pixmap = pBitmap ? PixmapOf(*pBitmap) : nullptr;
    if (!pixmap)
        return FALSE;
    DeleteObject();
    m_data = std::make_unique<BrushData>();
    m_data->brush = QBrush(*pixmap);
    Track(m_data.get());
    return TRUE;
}

BOOL CBrush::DeleteObject()
{
    if (!m_data)
        return FALSE;
    Untrack(m_data.get());
    m_data.reset();
    return TRUE;
}

CBrush::operator HBRUSH() const { return reinterpret_cast<HBRUSH>(m_data.get()); }

CFont::CFont() = default;
CFont::~CFont() { DeleteObject(); }

BOOL CFont::CreateFont(int nHeight, int, int, int, int nWeight, BYTE bItalic, BYTE bUnderline,
                       BYTE cStrikeOut, BYTE, BYTE, BYTE, BYTE, BYTE, LPCTSTR lpszFacename)
{
    DeleteObject();
    m_data = std::make_unique<FontData>();
    QFont &f = m_data->font;
    if (lpszFacename && *lpszFacename)
        f.setFamily(QString::fromStdString(win::AnsiToUtf8(lpszFacename)));
    // A positive height is the cell height, internal leading included; the toolkit's pixel
    // size is the em height, about four fifths of it.
    int px = nHeight > 0 ? std::max(1, nHeight * 4 / 5) : std::max(1, -nHeight);
    if (nHeight == 0)
        px = 12;
    f.setPixelSize(px);
    // Thin (100) as the program asks reads as the toolkit's normal weight on screen.
    f.setWeight(nWeight >= 600 ? QFont::Bold : QFont::Normal);
    f.setItalic(bItalic != 0);
    f.setUnderline(bUnderline != 0);
    f.setStrikeOut(cStrikeOut != 0);
    Track(m_data.get());
    return TRUE;
}

BOOL CFont::DeleteObject()
{
    if (!m_data)
        return FALSE;
    Untrack(m_data.get());
    m_data.reset();
    return TRUE;
}

CFont::operator HFONT() const { return reinterpret_cast<HFONT>(m_data.get()); }

CDC::CDC() : m_hDC(reinterpret_cast<HDC>(this)) {}
CDC::~CDC() = default;

COLORREF CDC::SetTextColor(COLORREF color)
{
    COLORREF old = m_textColor;
    m_textColor = color;
    return old;
}

int CDC::SetBkMode(int nBkMode)
{
    int old = m_bkMode;
    m_bkMode = nBkMode;
    return old;
}

COLORREF CDC::SetBkColor(COLORREF color)
{
    COLORREF old = m_bkColor;
    m_bkColor = color;
    return old;
}

CFont *CDC::SelectObject(CFont *pFont)
{
    CFont *old = m_font;
    m_font = pFont;
    return old;
}

QFont CDC::CurrentQFont() const
{
    if (const QFont *f = m_font ? FontOf(*m_font) : nullptr)
        return *f;
    return m_painter ? m_painter->font() : QFont();
}

CSize CDC::GetTextExtent(const CString &text) const
{
    QFontMetrics fm(CurrentQFont());
    return CSize(fm.horizontalAdvance(QString::fromStdString(text.ToUtf8())), fm.height());
}

BOOL CDC::TextOut(int x, int y, const CString &text)
{
    if (!m_painter)
        return FALSE;
    m_painter->setFont(CurrentQFont());
    QString s = QString::fromStdString(text.ToUtf8());
    QFontMetrics fm(m_painter->font());
    QRect box(x, y, fm.horizontalAdvance(s), fm.height());
    if (m_bkMode == OPAQUE)
        m_painter->fillRect(box, Color(m_bkColor));
    m_painter->setPen(Color(m_textColor));
    m_painter->drawText(QPoint(x, y + fm.ascent()), s);
    return TRUE;
}

void CDC::FillSolidRect(int x, int y, int cx, int cy, COLORREF color)
{
    if (m_painter)
        m_painter->fillRect(QRect(x, y, cx, cy), Color(color));
}

void CDC::FillSolidRect(LPCRECT r, COLORREF color)
{
    if (r)
        FillSolidRect(r->left, r->top, r->right - r->left, r->bottom - r->top, color);
}

void CDC::FillRect(LPCRECT r, CBrush *pBrush)
{
    const QBrush *b = pBrush ? BrushOf(*pBrush) : nullptr;
    if (m_painter && r && b)
        m_painter->fillRect(QRect(r->left, r->top, r->right - r->left, r->bottom - r->top), *b);
}

CPaintDC::CPaintDC(CWnd *pWnd) { m_painter = win::detail::CurrentPainter(pWnd); }
CPaintDC::~CPaintDC() = default;

CClientDC::CClientDC(CWnd *pWnd) : m_hWnd(pWnd ? pWnd->GetSafeHwnd() : nullptr) {}
CClientDC::~CClientDC()
{
    if (CWnd *w = Window())
        w->Invalidate(FALSE);
}

CWnd *CClientDC::Window() const { return m_hWnd ? CWnd::FromHandle(m_hWnd) : nullptr; }

HRGN ExtCreateRegion(const XFORM *lpx, DWORD nCount, const RGNDATA *lpData)
{
    if (!lpData || nCount < sizeof(RGNDATAHEADER))
        return nullptr;
    const RGNDATAHEADER &h = lpData->rdh;
    if (h.dwSize != sizeof(RGNDATAHEADER) || h.nCount > (nCount - sizeof h) / sizeof(RECT))
        return nullptr;
    int dx = 0, dy = 0;
    if (lpx) {
        if (lpx->eM11 != 1.0f || lpx->eM22 != 1.0f || lpx->eM12 != 0.0f || lpx->eM21 != 0.0f)
            return nullptr;
        dx = int(lpx->eDx);
        dy = int(lpx->eDy);
    }
    auto d = std::make_unique<RegionData>();
    const auto *rects = reinterpret_cast<const RECT *>(lpData->Buffer);
    for (DWORD i = 0; i < h.nCount; ++i) {
        RECT r;
        std::memcpy(&r, reinterpret_cast<const char *>(rects) + i * sizeof(RECT), sizeof r);
        if (r.right > r.left && r.bottom > r.top)
            d->region += QRect(r.left + dx, r.top + dy, r.right - r.left, r.bottom - r.top);
    }
    Track(d.get());
    return reinterpret_cast<HRGN>(d.release());
}

BOOL DeleteObject(HGDIOBJ hObject)
{
    // Only free-standing regions are deleted here; the classes own their other objects.
    auto *d = static_cast<RegionData *>(hObject);
    if (!d || !Live(d))
        return FALSE;
    Untrack(d);
    delete d;
    return TRUE;
}

HICON LoadIconA(HINSTANCE hInstance, LPCSTR lpIconName)
{
    const std::string *data = IconResource(hInstance, RT_ICON, lpIconName);
    auto d = std::make_unique<IconData>();
    if (!data ||
        !d->pixmap.loadFromData(reinterpret_cast<const uchar *>(data->data()), uint(data->size())))
        return nullptr;
    Track(d.get());
    return reinterpret_cast<HICON>(d.release());
}

HCURSOR LoadCursorA(HINSTANCE hInstance, LPCSTR lpCursorName)
{
    const std::string *data = IconResource(hInstance, RT_CURSOR, lpCursorName);
    QImage image;
    if (!data || !image.loadFromData(reinterpret_cast<const uchar *>(data->data()), int(data->size())))
        return nullptr;
    QStringList hot = image.text("HotSpot").split(',');
    int hx = hot.size() == 2 ? hot[0].toInt() : 0, hy = hot.size() == 2 ? hot[1].toInt() : 0;
    auto d = std::make_unique<IconData>();
    d->pixmap = QPixmap::fromImage(image);
    d->cursor = QCursor(d->pixmap, hx, hy);
    Track(d.get());
    return reinterpret_cast<HCURSOR>(d.release());
}

BOOL DestroyIcon(HICON hIcon)
{
    auto *d = reinterpret_cast<IconData *>(hIcon);
    if (!d || !Live(d))
        return FALSE;
    Untrack(d);
    delete d;
    return TRUE;
}

BOOL DestroyCursor(HCURSOR hCursor) { return DestroyIcon(reinterpret_cast<HICON>(hCursor)); }

int StretchDIBits(HDC hdc, int xDest, int yDest, int DestWidth, int DestHeight, int xSrc,
                  int ySrc, int SrcWidth, int SrcHeight, const void *lpBits,
                  const BITMAPINFO *lpbmi, UINT iUsage, DWORD)
{
    CDC *dc = CDC::FromHandle(hdc);
    if (!dc || !lpBits || !lpbmi || iUsage != DIB_RGB_COLORS)
        return 0;
    const BITMAPINFOHEADER &h = lpbmi->bmiHeader;
    int width = h.biWidth, height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
    if (h.biBitCount != 32 || h.biCompression != BI_RGB || width <= 0 || height <= 0 ||
        width > 8192 || height > 8192)
        return 0;
    QImage frame(static_cast<const uchar *>(lpBits), width, height, width * 4,
                 QImage::Format_RGB32);
    // Row 0 of a bottom-up picture is its bottom row.
    QImage picture = h.biHeight > 0 ? frame.mirrored(false, true) : frame.copy();
    QRect source(xSrc, height - ySrc - SrcHeight, SrcWidth, SrcHeight);
    if (h.biHeight < 0)
        source.moveTop(ySrc);
    picture = picture.copy(source);
    QRect dest(xDest, yDest, DestWidth, DestHeight);
    if (QPainter *p = dc->Painter()) {
        p->drawImage(dest, picture);
        return SrcHeight;
    }
    // Only the handle is used off the interface thread: the window may go meanwhile.
    auto *client = dynamic_cast<CClientDC *>(dc);
    if (!client || !client->GetWindowHandle())
        return 0;
    win::detail::KeepPicture(client->GetWindowHandle(), dest, std::move(picture));
    return SrcHeight;
}
