// Controls of the dialog templates: statics, buttons (with bitmaps), edits, combo boxes,
// sliders, progress bars and tooltips.
#pragma once

#include <win/cwnd.h>
#include <win/wingdi.h>

class CStatic : public CWnd
{
  public:
    /// Shows a bitmap (an SS_BITMAP static); returns the previous one.
    HBITMAP SetBitmap(HBITMAP hBitmap);
};

class CButton : public CWnd
{
  public:
    int GetCheck() const;
    void SetCheck(int nCheck);
};

/// A button drawn from bitmaps: the normal one, and the selected one while pressed.
class CBitmapButton : public CButton
{
  public:
    BOOL LoadBitmaps(UINT nIDBitmapResource, UINT nIDBitmapResourceSel = 0,
                     UINT nIDBitmapResourceFocus = 0, UINT nIDBitmapResourceDisabled = 0);
    /// Sizes the button to its normal bitmap.
    void SizeToContent();

  protected:
    CBitmap m_bitmap;
    CBitmap m_bitmapSel;
    CBitmap m_bitmapDisabled;

  private:
    void Refresh();
};

class CEdit : public CWnd
{
  public:
    /// A child edit made at run time (ES_PASSWORD for a password edit).
    BOOL Create(DWORD dwStyle, const RECT &rect, CWnd *pParentWnd, UINT nID);
    void SetSel(int nStartChar, int nEndChar, BOOL bNoScroll = FALSE);
    /// The user can type at most nChars bytes of ANSI text (0: no limit); text set by the
    /// program is not cut, and a longer text can still be shortened.
    void LimitText(int nChars = 0);
};

class CComboBox : public CWnd
{
  public:
    int AddString(LPCTSTR lpszString);
    int InsertString(int nIndex, LPCTSTR lpszString);
    int DeleteString(UINT nIndex);
    int GetCount() const;
    void GetLBText(int nIndex, CString &rString) const;
    int GetLBTextLen(int nIndex) const;
    /// Index of the first item equal to the text (ASCII case folded), searching after
    /// nIndexStart (-1: from the start); CB_ERR when none.
    int FindStringExact(int nIndexStart, LPCTSTR lpszFind) const;
    int GetCurSel() const;
    int SetCurSel(int nSelect);
    void ResetContent();
};

class CSliderCtrl : public CWnd
{
  public:
    int GetPos() const;
    void SetPos(int nPos);
    void SetRange(int nMin, int nMax, BOOL bRedraw = FALSE);
};

class CProgressCtrl : public CWnd
{
  public:
    int SetPos(int nPos);
    int GetPos() const;
};

/// Tooltips of one window: the tool's text shows while the tooltip is active.
class CToolTipCtrl
{
  public:
    BOOL Create(CWnd *pParentWnd);
    void Activate(BOOL bActivate);
    BOOL AddTool(CWnd *pWnd, LPCTSTR lpszText, LPCRECT lpRectTool = nullptr, UINT nIDTool = 0);
    void UpdateTipText(LPCTSTR lpszText, CWnd *pWnd, UINT nIDTool = 0);
    int GetToolCount() const { return m_tools; }
    /// The toolkit shows tips by itself; relaying only keeps the calls of the program.
    void RelayEvent(MSG *) {}
    void DestroyWindow();
    BOOL IsActive() const { return m_active; }
    CString GetText() const { return m_text; }

  private:
    void Apply();
    CWnd *m_pWnd = nullptr;
    CString m_text;
    int m_tools = 0;
    bool m_active = false;
    bool m_created = false;
};


/// A multi-line plain-text edit (the chat's history and input).
class CRichEditCtrl : public CWnd
{
  public:
    /// Lines as laid out (a wrapped line counts once per row).
    int GetLineCount() const;
    /// Scrolls by nLines lines (negative: up); nChars is ignored (no horizontal scrolling).
    BOOL LineScroll(int nLines, int nChars = 0);
    int GetFirstVisibleLine() const;
};
