// Property sheets in wizard mode: pages from dialog templates, Back / Next / Finish / Cancel,
// and the buttons each page asks for with PSM_SETWIZBUTTONS.
#pragma once

#include <win/cdialog.h>

#include <vector>

#define PSM_SETWIZBUTTONS (WM_USER + 112)
#define PSWIZB_BACK 0x00000001
#define PSWIZB_NEXT 0x00000002
#define PSWIZB_FINISH 0x00000004
#define PSWIZB_DISABLEDFINISH 0x00000008
#define ID_WIZBACK 0x3023
#define ID_WIZNEXT 0x3024
#define ID_WIZFINISH 0x3025
#define PSH_WIZARD 0x00000020

class CPropertySheet;

class CPropertyPage : public CDialog
{
  public:
    explicit CPropertyPage(UINT nIDTemplate);
    /// The page becomes active (made on its first activation); FALSE refuses.
    virtual BOOL OnSetActive();
    virtual BOOL OnKillActive();
    /// 0 goes to the next page (the previous for Back), -1 stays.
    virtual LRESULT OnWizardNext();
    virtual LRESULT OnWizardBack();
    /// TRUE lets the sheet end.
    virtual BOOL OnWizardFinish();
    void OnOK() override {}
    /// The active page is cancelled (before every page made so far gets OnReset).
    void OnCancel() override {}
    /// The wizard is being cancelled: called on every page made so far.
    virtual void OnReset() {}

  protected:
    CPropertySheet *m_pSheet = nullptr;
    friend class CPropertySheet;
};

class CPropertySheet : public CWnd
{
  public:
    CPropertySheet(LPCTSTR pszCaption, CWnd *pParentWnd = nullptr, UINT iSelectPage = 0);
    ~CPropertySheet() override;

    void AddPage(CPropertyPage *pPage);
    void SetWizardMode() { m_bWizard = true; }
    /// Runs modally; ID_WIZFINISH after Finish, IDCANCEL after Cancel.
    virtual INT_PTR DoModal();
    void SetWizardButtons(DWORD dwFlags);
    int GetActiveIndex() const { return m_active; }
    CPropertyPage *GetActivePage() const;
    BOOL SetActivePage(int nPage);

    /// The buttons' controls, for tests and for pages that change them.
    CWnd *GetButton(int id);

  protected:
    afx_msg LRESULT OnSetWizButtons(WPARAM wParam, LPARAM lParam);
    afx_msg void OnBack();
    afx_msg void OnNext();
    afx_msg void OnFinish();
    afx_msg void OnCancelButton();
    afx_msg void OnClose();
    DECLARE_MESSAGE_MAP()

  private:
    void End(int result);

    CString m_strCaption;
    CWnd *m_pParentWnd;
    UINT m_nStartPage;
    bool m_bWizard = false;
    std::vector<CPropertyPage *> m_pages;
    std::vector<std::unique_ptr<CButton>> m_buttons;
    QWidget *m_pagesArea = nullptr;
    int m_active = -1;
    int m_result = IDCANCEL;
    class QEventLoop *m_loop = nullptr;
};
