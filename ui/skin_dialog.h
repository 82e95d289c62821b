// CSkinDialog, the base of the skinned windows, and CLinkStatic, a line of the menu panel.
#pragma once

#include <win/cdialog.h>
#include <win/wingdi.h>

#include <string>

/// A dialog whose window takes the shape of an "RGN" resource.
class CSkinDialog : public CDialog
{
  public:
    CSkinDialog(UINT nIDTemplate, CWnd *pParent, LPCTSTR lpszRegionName);
    BOOL OnInitDialog() override;

  protected:
    /// Shapes the window from the region resource; a missing one keeps it rectangular.
    void ApplyWindowRegion();
    afx_msg LRESULT OnNcHitTest(CPoint point);

    CString m_strRegionName;

    DECLARE_MESSAGE_MAP()
};

/// The menu panel posts this to itself when a line is clicked with the right button.
inline constexpr UINT WM_PANEL_LINE_MENU_MSG = 0x469;

class CLinkStatic : public CStatic
{
  public:
    CLinkStatic();
    ~CLinkStatic() override;

    COLORREF m_crText;

    BOOL PreTranslateMessage(MSG *pMsg) override;

  protected:
    void PreSubclassWindow() override;
    afx_msg HBRUSH CtlColor(CDC *pDC, UINT nCtlColor);
    afx_msg BOOL OnSetCursor(CWnd *pWnd, UINT nHitTest, UINT message);
    afx_msg void OnRButtonUp(UINT nFlags, CPoint point);

    HCURSOR m_hCursor;
    CFont m_font;

    DECLARE_MESSAGE_MAP()
};
