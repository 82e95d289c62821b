// CDialog: dialogs built from the templates of the resource module in force, modal (a nested
// event loop) or modeless, with dialog data exchange.
#pragma once

#include <win/afxmsg_ui.h>
#include <win/cmenu.h>
#include <win/controls.h>
#include <win/cwnd.h>

#include <memory>
#include <vector>

class QEventLoop;

class CDataExchange
{
  public:
    CDataExchange(CWnd *pDlgWnd, BOOL bSaveAndValidate)
        : m_bSaveAndValidate(bSaveAndValidate), m_pDlgWnd(pDlgWnd)
    {
    }
    BOOL m_bSaveAndValidate; // TRUE: controls to fields
    CWnd *m_pDlgWnd;
};

/// Binds a member control object to the template's control (once; it then gets its events).
void DDX_Control(CDataExchange *pDX, int nIDC, CWnd &rControl);
void DDX_Text(CDataExchange *pDX, int nIDC, CString &value);
void DDX_Text(CDataExchange *pDX, int nIDC, int &value);
void DDX_Check(CDataExchange *pDX, int nIDC, int &value);
/// The selected index of a combo box (-1: none).
void DDX_CBIndex(CDataExchange *pDX, int nIDC, int &index);
void DDX_Slider(CDataExchange *pDX, int nIDC, int &value);

class CDialog : public CWnd
{
  public:
    explicit CDialog(UINT nIDTemplate = 0, CWnd *pParentWnd = nullptr);
    ~CDialog() override;

    /// Builds the dialog, shows it and runs a nested event loop until EndDialog; returns its
    /// result, or -1 when the template is missing. Meanwhile the owner and every other window
    /// of the owner's take no input.
    virtual INT_PTR DoModal();
    /// Builds the dialog modeless, shown unless the template hides it (no WS_VISIBLE style).
    virtual BOOL Create(UINT nIDTemplate, CWnd *pParentWnd = nullptr);
    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();
    virtual void DoDataExchange(CDataExchange *pDX) {}
    void EndDialog(int nResult);
    BOOL UpdateData(BOOL bSaveAndValidate = TRUE);
    BOOL DestroyWindow() override;
    /// The window's system menu, shown with Alt+Space; a chosen entry comes as WM_SYSCOMMAND.
    CMenu *GetSystemMenu(BOOL bRevert);

    /// Dialog units to pixels for the template's font (MS Sans Serif 8: 6 x 13 base units).
    static int DluToPixelsX(int dlu) { return dlu * 6 / 4; }
    static int DluToPixelsY(int dlu) { return dlu * 13 / 8; }

  protected:
    afx_msg void OnOKCommand() { OnOK(); }
    afx_msg void OnCancelCommand() { OnCancel(); }
    afx_msg void OnClose();
    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    UINT m_nIDHelp = 0;
    UINT m_nIDTemplate;
    CWnd *m_pParentWnd;

    DECLARE_MESSAGE_MAP()

    bool Build(UINT nIDTemplate, CWnd *pParentWnd, bool modal, QWidget *host);
    friend class CPropertySheet;

  private:
    friend void DDX_Control(CDataExchange *, int, CWnd &);
    void Teardown();

    std::vector<std::unique_ptr<CWnd>> m_controls; // template controls not bound to members
    std::unique_ptr<CMenu> m_systemMenu;
    QEventLoop *m_loop = nullptr;
    int m_nModalResult = -1;
};
