// Test harness: the main window's skin and the menu panel built from the resources, with every
// skin button placed from the layout table, and the commands they send recorded.
#pragma once

#include <ui/custom_controls.h>
#include <ui/skin_buttons.h>
#include <ui/skin_dialog.h>
#include <ui/skin_layout.h>

#include <array>
#include <iterator>
#include <memory>
#include <vector>

/// Every skin button of the main window, as the main dialog places them: its table, then the
/// send-message and video buttons.
inline constexpr int kMainButtonCount = int(std::size(kSkinButtons)) + 2;
inline constexpr std::array<SkinButtonSpec, kMainButtonCount> kMainButtons = [] {
    std::array<SkinButtonSpec, kMainButtonCount> all{};
    int n = 0;
    for (const SkinButtonSpec &b : kSkinButtons)
        all[size_t(n++)] = b;
    all[size_t(n++)] = kSendMessageButton;
    all[size_t(n)] = kVideoButton;
    return all;
}();

class MainSkin : public CSkinDialog
{
  public:
    MainSkin();
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange *pDX) override;

    SkinLayoutEntry m_face[kSkinLayoutEntries];
    CHoverButton m_buttons[kMainButtonCount];
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
