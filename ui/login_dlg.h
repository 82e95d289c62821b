// CLoginDlg: the login dialog run before the main dialog starts: account, password, the
// keep-password choice and the interface language.
#pragma once

#include <win/cdialog.h>

class CSettings;
class CSoftPhoneApp;

class CLoginDlg : public CDialog
{
  public:
    /// Takes the application object and the main dialog's settings store.
    explicit CLoginDlg(CWnd *pParent = nullptr);

    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange *pDX) override;
    /// Stores the fields in the settings store and the application's language digit.
    void OnOK() override;

    int m_nLanguage = -1; // 0 English, 1 simplified, 2 traditional Chinese
    CString m_strAccount;
    CString m_strPassword;
    int m_bKeepPassword = 0;
    CSoftPhoneApp *m_pApp;
    CSettings *m_pSettings;

  protected:
    /// Opens the service's sign-up page.
    afx_msg void OnRegister();

    DECLARE_MESSAGE_MAP()
};
