// Number field and hover button.
#include <ui/custom_controls.h>

#include <win/resources.h>

#include <QComboBox>
#include <QLineEdit>

BEGIN_MESSAGE_MAP(CNumberComboBox, CComboBox)
    ON_WM_PAINT()
    ON_WM_CTLCOLOR()
END_MESSAGE_MAP()

CNumberComboBox::CNumberComboBox()
{
    m_font.CreateFont(27, 0, 0, 0, 100, 0, 0, 0, ANSI_CHARSET, OUT_CHARACTER_PRECIS,
                      CLIP_CHARACTER_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, "");
}

void CNumberComboBox::PreSubclassWindow()
{
    CComboBox::PreSubclassWindow();
    // Only the edit shows: no frame, no arrow, text in 0x333333 over the parent's colour.
    if (auto *c = qobject_cast<QComboBox *>(GetWidget())) {
        c->setFrame(false);
        c->setStyleSheet("QComboBox { border: none; background: transparent; color: #333333; }"
                         "QComboBox::drop-down { width: 0px; border: none; }"
                         "QComboBox::down-arrow { image: none; }"
                         "QComboBox QLineEdit { background: transparent; color: #333333; }");
    }
}

void CNumberComboBox::OnPaint()
{
    CPaintDC dc(this);
    CFont *old = dc.SelectObject(&m_font);
    dc.SelectObject(old);
}

HBRUSH CNumberComboBox::OnCtlColor(CDC *pDC, CWnd *, UINT)
{
    pDC->SetTextColor(RGB(51, 51, 51));
    pDC->SetBkMode(TRANSPARENT);
    return nullptr;
}

CString CNumberComboBox::AddToHistory()
{
    CString typed;
    GetWindowText(typed);
    CString number;
    for (int i = 0; i < typed.GetLength(); ++i) {
        char c = typed[i];
        if ((c >= '0' && c <= '9') || c == '.')
            number += c;
    }
    if (number.GetLength() >= 4 && number.GetLength() <= 24) {
        int found = FindStringExact(-1, number);
        if (found != CB_ERR) {
            DeleteString(UINT(found));
            InsertString(0, number);
        } else {
            InsertString(0, number);
            if (GetCount() >= 11)
                DeleteString(10);
        }
    }
    SetWindowText("");
    return number;
}

BEGIN_MESSAGE_MAP(CHoverButton, CBitmapButton)
    ON_WM_MOUSEMOVE()
    ON_WM_LBUTTONDOWN()
    ON_WM_LBUTTONUP()
    ON_WM_LBUTTONDBLCLK()
    ON_WM_SETCURSOR()
    ON_WM_TIMER()
END_MESSAGE_MAP()

CHoverButton::CHoverButton()
{
    m_hCursor = LoadCursor(AfxGetResourceHandle(), MAKEINTRESOURCE(135));
}

CHoverButton::~CHoverButton()
{
    if (m_pToolTip) {
        m_pToolTip->DestroyWindow();
        delete m_pToolTip;
    }
    if (m_hCursor)
        DestroyCursor(m_hCursor);
}

void CHoverButton::SetBitmaps(UINT nNormal, UINT nPressed)
{
    m_nNormalBitmap = nNormal;
    m_nPressedBitmap = nPressed;
    LoadBitmaps(nNormal, nPressed);
}

void CHoverButton::MoveTo(int x, int y)
{
    m_x = x;
    m_y = y;
    m_pParent = GetParent();
    CRect client;
    GetClientRect(&client);
    m_rect = CRect(x, y, x + client.Width(), y + client.Height());
    MoveWindow(&m_rect);
}

void CHoverButton::SetTooltip(LPCTSTR lpszText, BOOL bActivate)
{
    if (!lpszText || !*lpszText)
        return;
    if (!m_pToolTip) {
        m_pToolTip = new CToolTipCtrl;
        m_pToolTip->Create(this);
        m_pToolTip->Activate(TRUE);
    }
    m_strTooltip = lpszText;
    if (m_pToolTip->GetToolCount() == 0) {
        CRect client;
        GetClientRect(&client);
        m_pToolTip->AddTool(this, m_strTooltip, &client, 1);
    }
    m_pToolTip->UpdateTipText(m_strTooltip, this, 1);
    m_pToolTip->Activate(bActivate);
}

BOOL CHoverButton::PreTranslateMessage(MSG *pMsg)
{
    if (m_pToolTip)
        m_pToolTip->RelayEvent(pMsg);
    return CBitmapButton::PreTranslateMessage(pMsg);
}

void CHoverButton::OnMouseMove(UINT nFlags, CPoint point)
{
    if (!m_bHovering && m_nHoverBitmap) {
        m_bHovering = 1;
        SetTimer(1, 100);
        LoadBitmaps(m_nHoverBitmap, m_nPressedBitmap);
        SizeToContent();
        Invalidate();
    }
    CBitmapButton::OnMouseMove(nFlags, point);
}

void CHoverButton::OnTimer(UINT_PTR)
{
    CRect client, parent;
    GetClientRect(&client);
    if (m_pParent)
        m_pParent->GetWindowRect(&parent);
    client.OffsetRect(parent.left + m_x, parent.top + m_y);
    POINT cursor;
    GetCursorPos(&cursor);
    // Edges included.
    if (cursor.x >= client.left && cursor.x <= client.right && cursor.y >= client.top &&
        cursor.y <= client.bottom)
        return;
    if (m_bHovering) {
        KillTimer(1);
        m_bHovering = 0;
        LoadBitmaps(m_nNormalBitmap, m_nPressedBitmap);
        SizeToContent();
        Invalidate();
    }
}

void CHoverButton::OnLButtonDown(UINT nFlags, CPoint point)
{
    if (m_bShiftOnPress)
        MoveWindow(m_rect.left + 1, m_rect.top + 1, m_rect.Width(), m_rect.Height());
    m_bPressed = 1;
    CBitmapButton::OnLButtonDown(nFlags, point);
}

void CHoverButton::OnLButtonUp(UINT nFlags, CPoint point)
{
    if (m_bShiftOnPress)
        MoveWindow(&m_rect);
    m_bPressed = 0;
    CBitmapButton::OnLButtonUp(nFlags, point);
}

void CHoverButton::OnLButtonDblClk(UINT nFlags, CPoint point)
{
    PostMessage(WM_LBUTTONDOWN, 0, 0);
    CBitmapButton::OnLButtonDblClk(nFlags, point);
}

BOOL CHoverButton::OnSetCursor(CWnd *pWnd, UINT nHitTest, UINT message)
{
    if (m_hCursor) {
        ::SetCursor(m_hCursor);
        return TRUE;
    }
    return CBitmapButton::OnSetCursor(pWnd, nHitTest, message);
}
