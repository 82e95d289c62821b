// The login dialog.
#include <ui/login_dlg.h>

#include <core/service_config.h>
#include <core/settings.h>
#include <ui/soft_phone_app.h>
#include <ui/soft_phone_dlg.h>

#include <win/msgbox.h>
#include <win/shell.h>

BEGIN_MESSAGE_MAP(CLoginDlg, CDialog)
    ON_BN_CLICKED(1066, OnRegister)
END_MESSAGE_MAP()

CLoginDlg::CLoginDlg(CWnd *pParent)
    : CDialog(221, pParent), m_pApp(CSoftPhoneApp::Current()), m_pSettings(nullptr)
{
    if (auto *main = dynamic_cast<CSoftPhoneDlg *>(AfxGetMainWnd()))
        m_pSettings = main->GetSettings();
}

void CLoginDlg::DoDataExchange(CDataExchange *pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_CBIndex(pDX, 1044, m_nLanguage);
    DDX_Text(pDX, 1016, m_strAccount);
    DDX_Text(pDX, 1017, m_strPassword);
    DDX_Check(pDX, 1071, m_bKeepPassword);
}

BOOL CLoginDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    int language = m_pApp ? m_pApp->m_nLanguage : 0;
    m_nLanguage = language == 1 || language == 2 ? language : 0;
    if (m_pSettings) {
        m_strAccount = m_pSettings->m_strAccount;
        m_strPassword = m_pSettings->m_strPassword;
        m_bKeepPassword = m_pSettings->m_bKeepPassword;
    }
    UpdateData(FALSE);
    // No longer a password than client.dat can keep, or auto-login fails at the next start.
    if (auto *password = static_cast<CEdit *>(GetDlgItem(1017)))
        password->LimitText(CSettings::kKeptPasswordBytes);
    SetWindowPos(&wndTopMost, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    return TRUE;
}

void CLoginDlg::OnOK()
{
    UpdateData(TRUE);
    if (m_pSettings) {
        m_pSettings->m_bKeepPassword = m_bKeepPassword;
        m_pSettings->m_strAccount = m_strAccount;
        m_pSettings->m_strPassword = m_strPassword;
    }
    if (m_pApp)
        m_pApp->m_nLanguage = m_nLanguage == 1 || m_nLanguage == 2 ? m_nLanguage : 0;
    EndDialog(IDOK);
}

void CLoginDlg::OnRegister()
{
    std::vector<std::string> warnings;
    CServiceConfig config =
        CServiceConfig::Load(GetInstallDir().StdString(), &warnings);
    CString url;
    url.Format("http://%s/user/license.asp", config.m_strWebHost.c_str());
    HINSTANCE opened = ShellExecuteA(GetSafeHwnd(), "open", url, nullptr, nullptr, SW_SHOWNORMAL);
    if (reinterpret_cast<uintptr_t>(opened) <= 32) {
        // No browser could be started: the user can still open the page by hand.
        CString text;
        text.Format("Cannot Open Web Browser!\n%s", url.GetString());
        AfxMessageBox(text, MB_OK | MB_ICONEXCLAMATION);
    }
}
