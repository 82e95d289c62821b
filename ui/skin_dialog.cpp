// Skinned dialog base and the link static.
#include <ui/skin_dialog.h>

#include <win/resources.h>

#include <cstring>
#include <vector>

BEGIN_MESSAGE_MAP(CSkinDialog, CDialog)
    ON_WM_NCHITTEST()
END_MESSAGE_MAP()

CSkinDialog::CSkinDialog(UINT nIDTemplate, CWnd *pParent, LPCTSTR lpszRegionName)
    : CDialog(nIDTemplate, pParent), m_strRegionName(lpszRegionName)
{
}

BOOL CSkinDialog::OnInitDialog()
{
    ApplyWindowRegion();
    CDialog::OnInitDialog();
    return TRUE;
}

void CSkinDialog::ApplyWindowRegion()
{
    HINSTANCE module = AfxGetResourceHandle();
    HRSRC res = FindResourceA(module, m_strRegionName, "RGN");
    HGLOBAL loaded = res ? LoadResource(module, res) : nullptr;
    const void *data = loaded ? LockResource(loaded) : nullptr;
    DWORD size = res ? SizeofResource(module, res) : 0;
    if (!data || size < sizeof(RGNDATAHEADER))
        return;
    // The block's size is (n + 2) x 16 bytes by its own count; never read past the resource.
    DWORD n = static_cast<const RGNDATA *>(data)->rdh.nCount;
    DWORD declared = (n + 2) * 16;
    if (n > size / 16 || declared > size)
        return;
    // A copy with the alignment the header needs.
    std::vector<RGNDATA> aligned(declared / sizeof(RGNDATA) + 1);
    std::memcpy(aligned.data(), data, declared);
    XFORM identity{1.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f};
    HRGN rgn = ExtCreateRegion(&identity, declared, aligned.data());
    if (rgn)
        SetWindowRgn(rgn, TRUE);
}

LRESULT CSkinDialog::OnNcHitTest(CPoint point) { return CDialog::OnNcHitTest(point); }

BEGIN_MESSAGE_MAP(CLinkStatic, CStatic)
    ON_WM_CTLCOLOR_REFLECT()
    ON_WM_SETCURSOR()
    ON_WM_RBUTTONUP()
END_MESSAGE_MAP()

CLinkStatic::CLinkStatic() : m_crText(0xB47B42)
{
    m_hCursor = LoadCursor(AfxGetResourceHandle(), MAKEINTRESOURCE(135));
    m_font.CreateFont(14, 0, 0, 0, 100, 0, 0, 0, DEFAULT_CHARSET, OUT_CHARACTER_PRECIS,
                      CLIP_CHARACTER_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, "");
}

CLinkStatic::~CLinkStatic()
{
    if (m_hCursor)
        DestroyCursor(m_hCursor);
}

void CLinkStatic::PreSubclassWindow()
{
    ModifyStyle(0, SS_NOTIFY);
    CStatic::PreSubclassWindow();
}

HBRUSH CLinkStatic::CtlColor(CDC *pDC, UINT)
{
    pDC->SetTextColor(m_crText);
    pDC->SetBkMode(TRANSPARENT);
    pDC->SelectObject(&m_font);
    return static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
}

BOOL CLinkStatic::OnSetCursor(CWnd *, UINT, UINT)
{
    CString text;
    GetWindowText(text);
    if (!text.IsEmpty() && m_hCursor)
        ::SetCursor(m_hCursor);
    return TRUE;
}

BOOL CLinkStatic::PreTranslateMessage(MSG *pMsg)
{
    if (pMsg->message == WM_MOUSEMOVE && pMsg->hwnd == m_hWnd)
        Invalidate(TRUE);
    return CStatic::PreTranslateMessage(pMsg);
}

void CLinkStatic::OnRButtonUp(UINT, CPoint)
{
    if (CWnd *parent = GetParent())
        parent->PostMessage(WM_PANEL_LINE_MENU_MSG, 0, 0);
}
