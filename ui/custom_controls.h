// The number field with its dialled-number history, and the bitmap button of the skin.
#pragma once

#include <win/cdialog.h>
#include <win/controls.h>
#include <win/wingdi.h>

class CNumberComboBox : public CComboBox
{
  public:
    CNumberComboBox();

    /// Keeps the digits and '.' of the typed text, files numbers of 4 to 24 characters at the
    /// top of the history (at most 10, no duplicates), clears the field; returns the number.
    CString AddToHistory();

    CFont m_font;

  protected:
    void PreSubclassWindow() override;
    afx_msg void OnPaint();
    afx_msg HBRUSH OnCtlColor(CDC *pDC, CWnd *pWnd, UINT nCtlColor);

    DECLARE_MESSAGE_MAP()
};

class CHoverButton : public CBitmapButton
{
  public:
    CHoverButton();
    ~CHoverButton() override;

    /// Keeps both ids and shows them as the normal and the pressed picture.
    void SetBitmaps(UINT nNormal, UINT nPressed);
    /// Places the button at (x, y) in its parent, keeping its size.
    void MoveTo(int x, int y);
    void SetTooltip(LPCTSTR lpszText, BOOL bActivate);

    BOOL PreTranslateMessage(MSG *pMsg) override;

  protected:
    afx_msg void OnMouseMove(UINT nFlags, CPoint point);
    afx_msg void OnLButtonDown(UINT nFlags, CPoint point);
    afx_msg void OnLButtonUp(UINT nFlags, CPoint point);
    afx_msg void OnLButtonDblClk(UINT nFlags, CPoint point);
    afx_msg BOOL OnSetCursor(CWnd *pWnd, UINT nHitTest, UINT message);
    afx_msg void OnTimer(UINT_PTR nIDEvent);

    CRect m_rect;
    HCURSOR m_hCursor;
    int m_bShiftOnPress = 0;
    CToolTipCtrl *m_pToolTip = nullptr;
    CString m_strTooltip;
    int m_bPressed = 0;
    UINT m_nHoverBitmap = 0; // 0: no hover look
    int m_bHovering = 0;
    UINT m_nNormalBitmap = 0;
    UINT m_nPressedBitmap = 0;
    CWnd *m_pParent = nullptr;
    int m_x = 0, m_y = 0;

    DECLARE_MESSAGE_MAP()
};
