// Menu panel frame: construction, pages and navigation, the in-place editors, keys and mouse.
#include <ui/menu_panel_dlg.h>

#include <core/settings.h>
#include <core/window_messages.h>

#include <win/msgbox.h>
#include <win/resources.h>

#include <QWidget>

BEGIN_MESSAGE_MAP(CMenuPanelDlg, CSkinDialog)
ON_WM_CTLCOLOR()
ON_WM_NCHITTEST()
ON_WM_DESTROY()
ON_BN_CLICKED(1047, OnUp)
ON_BN_CLICKED(1048, OnDown)
ON_BN_CLICKED(1049, OnBack)
ON_STN_CLICKED(1077, OnLine1)
ON_STN_CLICKED(1078, OnLine2)
ON_STN_CLICKED(1079, OnLine3)
ON_STN_CLICKED(1080, OnLine4)
ON_STN_CLICKED(1081, OnLine5)
ON_COMMAND(32781, OnCallItem)
ON_COMMAND(32782, OnDeleteItem)
ON_CBN_SELCHANGE(1044, OnChoiceSelected)
ON_MESSAGE(WM_PANEL_LINE_MENU, OnLineMenu)
END_MESSAGE_MAP()

namespace
{

COLORREF ColourOf(const SkinLayoutEntry &e)
{
    return RGB(e.a, e.b, e.c);
}

} // namespace

CMenuPanelDlg::CMenuPanelDlg(CMenuPanelHost *pHost)
    : CSkinDialog(244, nullptr, "PHONEBOOK"), m_pHost(pHost), m_pMainWnd(pHost->GetMainWindow()),
      m_pSettings(pHost->GetSettings())
{
    m_nPageMark = -1;
    m_bmpHeader.LoadBitmap(245);
    m_brushBackground.CreatePatternBrush(&m_bmpHeader);
    m_font.CreateFont(14, 0, 0, 0, 100, 0, 0, 0, DEFAULT_CHARSET, OUT_CHARACTER_PRECIS,
                      CLIP_CHARACTER_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, "");
    const SkinLayoutEntry *face = m_pHost->GetSkinLayout();
    m_crNormal = ColourOf(face[69]);
    m_crHover = ColourOf(face[70]);
    m_bEditing = 0;
    m_nDepth = 0;
    m_nHoverRow = 0;
}

CMenuPanelDlg::~CMenuPanelDlg()
{
    DestroyWindow();
}

void CMenuPanelDlg::DoDataExchange(CDataExchange *pDX)
{
    DDX_Control(pDX, 1083, m_btnHeader);
    for (int i = 0; i < kRows; ++i)
        DDX_Control(pDX, 1077 + i, m_rows[i]);
    DDX_Control(pDX, 1044, m_choice);
    DDX_Control(pDX, 1047, m_btnUp);
    DDX_Control(pDX, 1048, m_btnDown);
    DDX_Control(pDX, 1049, m_btnBack);
    DDX_CBIndex(pDX, 1044, m_nChoiceIndex);
}

BOOL CMenuPanelDlg::OnInitDialog()
{
    CSkinDialog::OnInitDialog();
    const SkinLayoutEntry *face = m_pHost->GetSkinLayout();

    CRect main, own;
    m_pMainWnd->GetWindowRect(&main);
    GetWindowRect(&own);
    MoveWindow(main.left - face[60].a, main.top + face[60].b, own.Width(), own.Height());

    struct {
        CHoverButton &button;
        UINT normal, pressed, tooltip;
        int entry;
    } buttons[] = {{m_btnBack, 247, 248, 176, 68},
                   {m_btnUp, 201, 202, 150, 66},
                   {m_btnDown, 203, 204, 151, 67}};
    for (auto &b : buttons) {
        b.button.SetBitmaps(b.normal, b.pressed);
        b.button.SizeToContent();
        b.button.MoveTo(face[b.entry].a, face[b.entry].b);
        CString tip;
        tip.LoadString(b.tooltip);
        b.button.SetTooltip(tip, TRUE);
    }
    m_btnBack.ShowWindow(SW_HIDE);

    for (int i = 0; i < kRows; ++i) {
        const SkinLayoutEntry &r = face[61 + i];
        m_rows[i].m_crText = m_crNormal;
        m_rows[i].MoveWindow(r.a, r.b, r.c, r.d);
        m_rows[i].Invalidate();
    }

    m_btnHeader.SetBitmaps(256, 256);
    m_btnHeader.SizeToContent();
    m_btnHeader.MoveTo(face[71].a, face[71].b);
    m_btnHeader.ShowWindow(SW_HIDE);

    ReadOptions();
    m_nBookCount = ReadPhoneBook(m_pSettings->m_strPhoneBookFile, m_book);

    m_nFirstLine = 0;
    BuildPage(1);
    RedrawLines();
    return TRUE;
}

HBRUSH CMenuPanelDlg::OnCtlColor(CDC *pDC, CWnd *pWnd, UINT nCtlColor)
{
    if (nCtlColor == CTLCOLOR_DLG)
        return m_brushBackground;
    return CSkinDialog::OnCtlColor(pDC, pWnd, nCtlColor);
}

void CMenuPanelDlg::OnDestroy()
{
    CloseEditor();
    WritePhoneBook(m_pSettings->m_strPhoneBookFile, m_book, m_nBookCount);
}

void CMenuPanelDlg::SavePhoneBook()
{
    OnBack();
    WritePhoneBook(m_pSettings->m_strPhoneBookFile, m_book, m_nBookCount);
}

void CMenuPanelDlg::SetHeader(UINT nBitmap)
{
    m_btnHeader.SetBitmaps(nBitmap, nBitmap);
    m_btnHeader.SizeToContent();
}

void CMenuPanelDlg::SetLine(int nLine, UINT nLabel, const CString &strValue, int nCode)
{
    CString label;
    label.LoadString(nLabel);
    SetLine(nLine, label, strValue, nCode);
}

void CMenuPanelDlg::SetLine(int nLine, const CString &strLabel, const CString &strValue, int nCode)
{
    if (nLine < 0 || nLine >= kMaxLines)
        return;
    m_strLabel[nLine] = strLabel;
    m_strValue[nLine] = strValue;
    m_nCode[nLine] = nCode;
}

void CMenuPanelDlg::RemoveLine(int nLine)
{
    if (nLine < 0 || nLine >= m_nLineCount)
        return;
    for (int j = nLine; j + 1 < m_nLineCount; ++j) {
        m_strLabel[j] = m_strLabel[j + 1];
        m_strValue[j] = m_strValue[j + 1];
        m_nCode[j] = m_nCode[j + 1];
    }
    --m_nLineCount;
    m_strLabel[m_nLineCount].Empty();
    m_strValue[m_nLineCount].Empty();
    m_nCode[m_nLineCount] = 0;
}

void CMenuPanelDlg::BuildPage(int nPage)
{
    for (int i = 0; i < kMaxLines; ++i) {
        m_strLabel[i].Empty();
        m_strValue[i].Empty();
        m_nCode[i] = 0;
    }
    m_nPage = nPage;
    m_nLineCount = 0;
    if (nPage == 1) {
        const UINT labels[] = {177, 116, 109, 194, 193, 178, 107};
        for (int i = 0; i < 7; ++i)
            SetLine(i, labels[i], "", i + 1);
        m_nLineCount = 7;
        m_nPageMark = 1;
        SetHeader(257);
    } else if (nPage == 21 || nPage == 211 || nPage == 221) {
        BuildBookPage(nPage);
    } else if (nPage == 11 || nPage == 111 || nPage == 121 || nPage == 131 || nPage == 141 ||
               nPage == 91 || nPage == 1311 || nPage == 1411 || nPage == 1111 || nPage == 1121) {
        BuildCallsPage(nPage);
    } else {
        BuildSettingsPage(nPage);
    }
    m_nFirstLine = 0;
    m_btnBack.ShowWindow(nPage == 1 ? SW_HIDE : SW_SHOW);
    m_btnUp.ShowWindow(SW_HIDE);
    m_btnDown.ShowWindow(m_nLineCount >= 6 ? SW_SHOW : SW_HIDE);
}

void CMenuPanelDlg::RedrawLines()
{
    for (int r = 0; r < kRows; ++r) {
        int line = m_nFirstLine + r;
        m_rows[r].ShowWindow(SW_SHOW);
        m_rows[r].SetWindowText(line < kMaxLines ? m_strLabel[line] + m_strValue[line] : "");
    }
    if (m_nFirstLine + 6 > m_nLineCount)
        m_btnDown.ShowWindow(SW_HIDE);
    Invalidate();
}

void CMenuPanelDlg::OnUp()
{
    if (m_bEditing || m_nFirstLine <= 0)
        return;
    if (m_nFirstLine == 1)
        m_btnUp.ShowWindow(SW_HIDE);
    if (m_nFirstLine + 6 > m_nLineCount)
        m_btnDown.ShowWindow(SW_SHOW);
    --m_nFirstLine;
    RedrawLines();
}

void CMenuPanelDlg::OnDown()
{
    if (m_bEditing || m_nFirstLine + 5 >= m_nLineCount)
        return;
    if (m_nFirstLine == 0)
        m_btnUp.ShowWindow(SW_SHOW);
    if (m_nFirstLine + 6 == m_nLineCount)
        m_btnDown.ShowWindow(SW_HIDE);
    ++m_nFirstLine;
    RedrawLines();
}

void CMenuPanelDlg::OnLine(int nRow)
{
    CString text;
    m_rows[nRow - 1].GetWindowText(text);
    if (!text.IsEmpty())
        ShowMenuItem(nRow);
}

void CMenuPanelDlg::CloseEditor()
{
    m_bEditing = 0;
    m_choice.ShowWindow(SW_HIDE);
    if (m_pEdit) {
        // The widget may be handling the key that closes it: it goes once the event is done.
        QWidget *w = m_pEdit->GetWidget();
        m_pEdit->DestroyWindow();
        m_pEdit.reset();
        if (w) {
            w->hide();
            w->deleteLater();
        }
    }
}

void CMenuPanelDlg::OpenPage(int nCode, int nReturnPage, int nChosenIndex)
{
    if (m_nDepth >= kMaxDepth)
        return;
    m_nSavedFirst[m_nDepth] = m_nFirstLine;
    m_nReturnPage[m_nDepth] = nReturnPage;
    m_nChosenIndex[m_nDepth] = nChosenIndex;
    ++m_nDepth;
    BuildPage(nCode * 10 + 1);
}

void CMenuPanelDlg::ShowMenuItem(int nRow)
{
    if (nRow < 1 || nRow > kRows)
        return;
    if (m_bEditing) {
        int edited = m_nFirstLine + m_nEditRow - 1;
        if (m_nCode[edited] < 0 && m_nCode[edited] != -2 && m_pEdit) {
            m_pEdit->GetWindowText(m_strValue[edited]);
            CommitEdit();
        }
        RedrawLines();
        CloseEditor();
        return;
    }
    m_nEditRow = nRow;
    int i = m_nFirstLine + nRow - 1;
    int c = m_nCode[i];

    if (c < 0) {
        m_bEditing = 1;
        // The row below the chosen one makes room for the editor; the rows under it shift.
        if (nRow < kRows) {
            m_rows[nRow].ShowWindow(SW_HIDE);
            for (int row = nRow + 2; row <= kRows; ++row) {
                int line = i + row - nRow - 1;
                m_rows[row - 1].SetWindowText(line < kMaxLines ? m_strLabel[line] + m_strValue[line]
                                                               : "");
            }
        }
        if (c == -1 || c == -23)
            OpenEditBox(nRow, i, FALSE);
        else if (c == -3)
            OpenEditBox(nRow, i, TRUE);
        else if (c == -2)
            OpenChoiceList(nRow, i);
        Invalidate();
        return;
    }

    switch (c) {
    case 1:
    case 2:
    case 3:
    case 4:
        OpenPage(c, 1, 0);
        break;
    case 5:
        return;
    case 6:
        m_pHost->ShowAboutBox();
        return;
    case 7:
        m_pHost->ExitProgram();
        return;
    case 11:
    case 12:
    case 13:
    case 14:
    case 15:
    case 16:
    case 17:
    case 18:
    case 19:
        OpenPage(c, 11, 0);
        break;
    case 21:
        if (m_nBookCount < kPhoneBookCapacity) // a full book takes no new entry
            OpenPage(c, 21, i);
        break;
    case 22:
        OpenPage(c, 21, i);
        break;
    case 31:
    case 32:
    case 33:
    case 34:
    case 35:
    case 36:
    case 37:
    case 38:
    case 39:
        OpenPage(c, c, 0);
        break;
    case 41:
    case 42:
        OpenPage(c, 41, 0);
        break;
    case 111:
        if (m_pSettings->m_QuickCalls.m_nCount < m_pSettings->m_QuickCalls.kCapacity)
            OpenPage(c, 111, i);
        break;
    case 112:
        OpenPage(c, 111, i);
        break;
    case 323:
        m_pHost->RunAudioWizard(this);
        break;
    case 422:
        if (m_pSettings->m_nFilterCount < CSettings::kFilterCapacity)
            OpenPage(c, 421, i);
        break;
    case 9:
        OpenPage(c, 121, i);
        break;
    case 131:
    case 141:
        OpenPage(c, c, i);
        break;
    default:
        break;
    }
    RedrawLines();
}

void CMenuPanelDlg::OpenEditBox(int nRow, int nLine, BOOL bPassword)
{
    const SkinLayoutEntry *face = m_pHost->GetSkinLayout();
    const int left = face[61].a, width = face[61].c, height = face[61].d;
    const int top = face[61].b, pitch = face[62].b - face[61].b;
    CRect rect(left, top + nRow * pitch, left + width - 7, top + height + nRow * pitch);
    m_pEdit = std::make_unique<CEdit>();
    DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL;
    if (bPassword)
        style |= ES_PASSWORD;
    if (!m_pEdit->Create(style, rect, this, 1)) {
        m_pEdit.reset();
        return;
    }
    m_pEdit->SetFont(&m_font);
    if (bPassword) {
        m_pEdit->SetWindowText(m_pSettings->m_strPassword);
        m_pEdit->SetFocus();
        m_pEdit->SetSel(0, m_strValue[nLine].GetLength());
    } else {
        m_pEdit->SetWindowText(m_strValue[nLine]);
        m_pEdit->SetFocus();
        m_pEdit->SetSel(0, -1);
    }
}

void CMenuPanelDlg::OpenChoiceList(int nRow, int nLine)
{
    const SkinLayoutEntry *face = m_pHost->GetSkinLayout();
    const int left = face[61].a, width = face[61].c;
    const int top = face[61].b, pitch = face[62].b - face[61].b;
    m_choice.ResetContent();
    m_choice.ShowWindow(SW_SHOW);
    FillChoiceList(nLine);
    // The height is the box's with its list dropped down.
    m_choice.MoveWindow(left, top + nRow * pitch - 3, width, width, TRUE);
    m_choice.SetFocus();
}

void CMenuPanelDlg::OnChoiceSelected()
{
    if (!m_bEditing)
        return;
    int line = m_nFirstLine + m_nEditRow - 1;
    int index = m_choice.GetCurSel();
    if (index >= 0)
        m_choice.GetLBText(index, m_strValue[line]);
    m_choice.ShowWindow(SW_HIDE);
    m_bEditing = 0;
    UpdateData(TRUE);
    if (m_nChoiceIndex >= 0)
        StoreChoice(line, m_nChoiceIndex);
    RedrawLines();
}

void CMenuPanelDlg::CommitEdit()
{
    int line = m_nFirstLine + m_nEditRow - 1;
    const CString &text = m_strValue[line];
    switch (ReturnPage()) {
    case 21:
        CommitBookEdit(m_nEditRow, text);
        break;
    case 111:
        CommitQuickCallEdit(m_nEditRow, text);
        break;
    default:
        CommitSettingsEdit(line, text);
        break;
    }
}

void CMenuPanelDlg::OnBack()
{
    if (m_bEditing || m_nDepth == 0)
        return;
    --m_nDepth;
    int page = m_nReturnPage[m_nDepth];
    bool newEntry = m_nChosenIndex[m_nDepth] == 0;
    if (page == 111 && newEntry)
        FinishNewQuickCall();
    if (page == 21 && newEntry)
        FinishNewEntry();
    BuildPage(page);
    m_nFirstLine = m_nSavedFirst[m_nDepth];
    RedrawLines();
    if (m_nFirstLine > 0)
        m_btnUp.ShowWindow(SW_SHOW);
    if (m_nFirstLine + 6 > m_nLineCount)
        m_btnDown.ShowWindow(SW_HIDE);
    if (page < 10)
        m_btnBack.ShowWindow(SW_HIDE);
}

void CMenuPanelDlg::PostToMain(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (m_pMainWnd)
        ::PostMessage(m_pMainWnd->GetSafeHwnd(), message, wParam, lParam);
}

BOOL CMenuPanelDlg::PreTranslateMessage(MSG *pMsg)
{
    if (pMsg->message == WM_KEYDOWN &&
        (pMsg->wParam == VK_ESCAPE || (pMsg->wParam == VK_RETURN && m_bEditing))) {
        if (pMsg->wParam == VK_RETURN && m_pEdit) {
            int edited = m_nFirstLine + m_nEditRow - 1;
            if (m_nCode[edited] != -2) {
                m_pEdit->GetWindowText(m_strValue[edited]);
                CommitEdit();
            }
        }
        RedrawLines();
        CloseEditor();
        return TRUE;
    }
    if (pMsg->message == WM_KEYDOWN && pMsg->wParam == VK_RETURN)
        return TRUE;
    if (pMsg->message == WM_MOUSEMOVE && !m_bEditing) {
        int hover = 0;
        for (int r = 0; r < kRows; ++r)
            if (pMsg->hwnd == m_rows[r].GetSafeHwnd())
                hover = r + 1;
        for (int r = 0; r < kRows; ++r) {
            m_rows[r].m_crText = r + 1 == hover ? m_crHover : m_crNormal;
            m_rows[r].Invalidate();
        }
        if (hover)
            m_nHoverRow = hover;
    }
    return CSkinDialog::PreTranslateMessage(pMsg);
}
