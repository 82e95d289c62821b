// Test harness: the main window's skin and the menu panel built from the resources, with every
// skin button placed from the layout table, and the commands they send recorded.
#pragma once

#include <ui/custom_controls.h>
#include <ui/skin_dialog.h>
#include <ui/skin_layout.h>

#include <memory>
#include <vector>

struct SkinButton {
    int id;
    int entry;
    UINT normal, second;
    UINT tooltip;
};

/// The skin buttons of the main window: control id, layout entry, bitmaps, tooltip string.
extern const SkinButton kSkinButtons[29];

class MainSkin : public CSkinDialog
{
  public:
    MainSkin();
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange *pDX) override;

    SkinLayoutEntry m_face[kSkinLayoutEntries];
    CHoverButton m_buttons[29];
    CNumberComboBox m_number;
    CStatic m_thumbs[2];
    std::vector<int> m_commands;
    CBitmap m_background;
    CBrush m_brush;
    CBrush m_editBrush;

  protected:
    afx_msg HBRUSH OnCtlColor(CDC *pDC, CWnd *pWnd, UINT nCtlColor);
    afx_msg LRESULT OnNcHitTest(CPoint point);
    afx_msg void OnSkinCommand(UINT id);
    void OnOK() override {}
    void OnCancel() override {}
    DECLARE_MESSAGE_MAP()
};

class PanelSkin : public CSkinDialog
{
  public:
    explicit PanelSkin(MainSkin *main);
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange *pDX) override;

    MainSkin *m_main;
    CLinkStatic m_rows[5];
    CHoverButton m_up, m_down, m_back, m_header;
    CBitmap m_background;
    CBrush m_brush;
    int m_lineMenus = 0;

  protected:
    afx_msg HBRUSH OnCtlColor(CDC *pDC, CWnd *pWnd, UINT nCtlColor);
    afx_msg LRESULT OnLineMenu(WPARAM, LPARAM);
    void OnOK() override {}
    void OnCancel() override {}
    DECLARE_MESSAGE_MAP()
};
