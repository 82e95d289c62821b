// The skin harness: layout of the main window and the menu panel from the layout table.
#include "skin_harness.h"

#include <win/resources.h>

BEGIN_MESSAGE_MAP(MainSkin, CSkinDialog)
    ON_WM_CTLCOLOR()
    ON_WM_NCHITTEST()
    ON_COMMAND_RANGE(1, 1087, OnSkinCommand)
END_MESSAGE_MAP()

MainSkin::MainSkin() : CSkinDialog(102, nullptr, "BACKGROUND") { LoadFaceTable(m_face); }

void MainSkin::DoDataExchange(CDataExchange *pDX)
{
    for (int i = 0; i < kMainButtonCount; ++i)
        DDX_Control(pDX, kMainButtons[size_t(i)].id, m_buttons[i]);
    DDX_Control(pDX, 1044, m_number);
    DDX_Control(pDX, 1078, m_thumbs[0]);
    DDX_Control(pDX, 1079, m_thumbs[1]);
}

BOOL MainSkin::OnInitDialog()
{
    CSkinDialog::OnInitDialog();
    m_background.LoadBitmap(137);
    m_brush.CreatePatternBrush(&m_background);
    m_editBrush.CreateSolidBrush(RGB(169, 198, 214));
    m_number.SendMessage(WM_SETFONT, 0, TRUE);
    m_number.SetFont(&m_number.m_font);
    const SkinLayoutEntry &box = m_face[24];
    if (box.e == 1)
        m_number.MoveWindow(box.a, box.b, box.c, box.d);
    for (int i = 0; i < kMainButtonCount; ++i) {
        const SkinButtonSpec &b = kMainButtons[size_t(i)];
        const SkinLayoutEntry &e = m_face[b.entry];
        CHoverButton &button = m_buttons[i];
        if (e.e != 1 && b.id != kVideoButton.id) {
            button.ShowWindow(SW_HIDE);
            continue;
        }
        button.SetBitmaps(b.normal, b.hover);
        button.SizeToContent();
        button.MoveTo(e.a, e.b);
        if (b.tooltip) {
            CString tip;
            tip.LoadString(b.tooltip);
            button.SetTooltip(tip, TRUE);
        }
    }
    for (int i = 0; i < 2; ++i) {
        const SkinLayoutEntry &s = m_face[20 + i];
        m_thumbs[i].SetWindowPos(&wndTopMost, s.a, 0, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
        m_thumbs[i].MoveWindow(s.a, (s.b + s.c) / 2, s.d, s.e);
    }
    return TRUE;
}

HBRUSH MainSkin::OnCtlColor(CDC *pDC, CWnd *pWnd, UINT nCtlColor)
{
    if (nCtlColor == CTLCOLOR_DLG)
        return m_brush;
    if (nCtlColor == CTLCOLOR_EDIT) {
        pDC->SetBkColor(RGB(169, 198, 214));
        return m_editBrush;
    }
    return CSkinDialog::OnCtlColor(pDC, pWnd, nCtlColor);
}

LRESULT MainSkin::OnNcHitTest(CPoint) { return HTCAPTION; }

void MainSkin::OnSkinCommand(UINT id) { m_commands.push_back(int(id)); }

BEGIN_MESSAGE_MAP(PanelSkin, CSkinDialog)
    ON_WM_CTLCOLOR()
    ON_MESSAGE(WM_PANEL_LINE_MENU_MSG, OnLineMenu)
END_MESSAGE_MAP()

PanelSkin::PanelSkin(MainSkin *main) : CSkinDialog(244, nullptr, "PHONEBOOK"), m_main(main) {}

void PanelSkin::DoDataExchange(CDataExchange *pDX)
{
    DDX_Control(pDX, 1083, m_header);
    for (int i = 0; i < 5; ++i)
        DDX_Control(pDX, 1077 + i, m_rows[i]);
    DDX_Control(pDX, 1047, m_up);
    DDX_Control(pDX, 1048, m_down);
    DDX_Control(pDX, 1049, m_back);
}

BOOL PanelSkin::OnInitDialog()
{
    CSkinDialog::OnInitDialog();
    m_background.LoadBitmap(245);
    m_brush.CreatePatternBrush(&m_background);
    CRect mainRect, own;
    m_main->GetWindowRect(&mainRect);
    GetWindowRect(&own);
    const SkinLayoutEntry *f = m_main->m_face;
    MoveWindow(mainRect.left - f[60].a, mainRect.top + f[60].b, own.Width(), own.Height());
    struct {
        CHoverButton &b;
        UINT normal, pressed, tip;
        int entry;
    } buttons[] = {{m_up, 201, 202, 150, 66}, {m_down, 203, 204, 151, 67},
                   {m_back, 247, 248, 176, 68}};
    for (auto &b : buttons) {
        b.b.SetBitmaps(b.normal, b.pressed);
        b.b.SizeToContent();
        b.b.MoveTo(f[b.entry].a, f[b.entry].b);
        CString tip;
        tip.LoadString(b.tip);
        b.b.SetTooltip(tip, TRUE);
    }
    m_header.SetBitmaps(257, 257);
    m_header.SizeToContent();
    m_header.MoveTo(f[71].a, f[71].b);
    m_header.ShowWindow(SW_HIDE);
    const UINT root[5] = {177, 116, 109, 194, 193};
    for (int i = 0; i < 5; ++i) {
        const SkinLayoutEntry &r = f[61 + i];
        m_rows[i].m_crText = RGB(f[69].a, f[69].b, f[69].c);
        m_rows[i].MoveWindow(r.a, r.b, r.c, r.d);
        CString text;
        text.LoadString(root[i]);
        m_rows[i].SetWindowText(text);
    }
    return TRUE;
}

HBRUSH PanelSkin::OnCtlColor(CDC *pDC, CWnd *pWnd, UINT nCtlColor)
{
    if (nCtlColor == CTLCOLOR_DLG)
        return m_brush;
    return CSkinDialog::OnCtlColor(pDC, pWnd, nCtlColor);
}

LRESULT PanelSkin::OnLineMenu(WPARAM, LPARAM)
{
    ++m_lineMenus;
    return 0;
}
