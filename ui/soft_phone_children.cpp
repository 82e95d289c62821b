// The main dialog's child windows: the menu panel (opened on pages by the skin buttons), the
// chat window and the audio set-up wizard. A child window the program is built without is
// absent: its buttons do nothing.
#include <ui/soft_phone_dlg.h>

#include <ui/chat_dlg.h>
#include <ui/voice_sheet.h>

#include <h323/codecs/gsm0610.h>

#include <ui/soft_phone_app.h>

#if __has_include(<ui/menu_panel_dlg.h>)
#include <ui/menu_panel_dlg.h>
#define KESTRELIN_MENU_PANEL 1
#endif

#ifdef KESTRELIN_MENU_PANEL
namespace {

// What the panel reaches of the main dialog.
class PanelHost : public CMenuPanelHost
{
  public:
    explicit PanelHost(CSoftPhoneDlg *dlg) : m_dlg(dlg) {}
    CWnd *GetMainWindow() override { return m_dlg; }
    CSettings *GetSettings() override { return m_dlg->GetSettings(); }
    const SkinLayoutEntry *GetSkinLayout() override { return m_dlg->m_face; }
    CString GetServerHost(int nIndex) override
    {
        return nIndex == 0 ? m_dlg->m_strPrimaryHost : m_dlg->m_strSecondaryHost;
    }
    void CallNumber(const CString &strNumber) override
    {
        m_dlg->m_number.SetWindowText(strNumber);
        m_dlg->PlaceCall();
    }
    void ShowAboutBox() override
    {
        CDialog about(100, m_dlg);
        about.DoModal();
    }
    void ExitProgram() override { m_dlg->OnOK(); }
    void RunAudioWizard(CWnd *pParent) override { m_dlg->RunVoiceWizard(pParent); }
    int GetLanguage() override
    {
        CSoftPhoneApp *app = CSoftPhoneApp::Current();
        return app ? app->m_nLanguage : 0;
    }
    void SetLanguage(int nLanguage) override
    {
        if (CSoftPhoneApp *app = CSoftPhoneApp::Current())
            app->m_nLanguage = nLanguage;
    }
    BOOL IsEndPointIdle() override { return m_dlg->m_endpoint.IsIdle(); }
    void UpdateCapabilities() override { m_dlg->m_endpoint.UpdateCapabilities(); }
    void SetAudioPacketOptions(BOOL bSilenceDetectionOff, unsigned nFramesInPacket) override
    {
        m_dlg->m_endpoint.SetSilenceDetectionMode(bSilenceDetectionOff
                                                      ? H323AudioCodec::NoSilenceDetection
                                                      : H323AudioCodec::AdaptiveSilenceDetection);
        if (H323_GSM0610Capability *gsm = m_dlg->m_endpoint.GetGsmCapability())
            gsm->SetTxFramesInPacket(nFramesInPacket);
    }

  private:
    CSoftPhoneDlg *m_dlg;
};

} // namespace

CMenuPanelDlg *CSoftPhoneDlg::OpenMenuPanel()
{
    if (!m_pMenuPanel) {
        if (!m_pPanelHost)
            m_pPanelHost = std::make_shared<PanelHost>(this);
        auto *panel = new CMenuPanelDlg(static_cast<PanelHost *>(m_pPanelHost.get()));
        if (!panel->Create(244, this)) {
            delete panel;
            return nullptr;
        }
        panel->ShowWindow(SW_SHOW);
        m_pMenuPanel = panel;
    }
    return m_pMenuPanel;
}

void CSoftPhoneDlg::CloseMenuPanel()
{
    if (!m_pMenuPanel)
        return;
    CMenuPanelDlg *panel = m_pMenuPanel;
    m_pMenuPanel = nullptr;
    panel->SavePhoneBook();
    panel->DestroyWindow();
    delete panel;
}

void CSoftPhoneDlg::HideMenuPanel()
{
    if (m_pMenuPanel)
        m_pMenuPanel->ShowWindow(SW_HIDE);
}

int CSoftPhoneDlg::MenuPanelPageMark() const { return m_pMenuPanel ? m_pMenuPanel->m_nPageMark : -1; }

void CSoftPhoneDlg::ChoosePanelRows(std::initializer_list<int> rows)
{
    CMenuPanelDlg *panel = OpenMenuPanel();
    if (!panel)
        return;
    for (int i = 0; i < 3; ++i)
        panel->OnBack();
    panel->m_nFirstLine = 0;
    for (int row : rows)
        panel->ShowMenuItem(row);
}

void CSoftPhoneDlg::MoveMenuPanelBeside()
{
    if (!m_pMenuPanel || !m_pMenuPanel->GetSafeHwnd())
        return;
    CRect main, own;
    GetWindowRect(&main);
    m_pMenuPanel->GetWindowRect(&own);
    m_pMenuPanel->MoveWindow(main.left - m_face[60].a, main.top + m_face[60].b, own.Width(),
                             own.Height());
}

void CSoftPhoneDlg::ReopenMenuPanelOnLanguagePage()
{
    if (!m_pMenuPanel)
        return;
    CloseMenuPanel();
    if (OpenMenuPanel()) {
        m_pMenuPanel->ShowMenuItem(3);
        m_pMenuPanel->ShowMenuItem(4);
    }
}

void CSoftPhoneDlg::OnMenuButton()
{
    if (!m_pMenuPanel) {
        OpenMenuPanel();
    } else if (m_pMenuPanel->m_nPageMark == 1) {
        CloseMenuPanel();
    } else {
        for (int i = 0; i < 3; ++i)
            m_pMenuPanel->OnBack();
    }
}
#else
CMenuPanelDlg *CSoftPhoneDlg::OpenMenuPanel() { return nullptr; }
void CSoftPhoneDlg::CloseMenuPanel() {}
void CSoftPhoneDlg::HideMenuPanel() {}
int CSoftPhoneDlg::MenuPanelPageMark() const { return -1; }
void CSoftPhoneDlg::ChoosePanelRows(std::initializer_list<int>) {}
void CSoftPhoneDlg::MoveMenuPanelBeside() {}
void CSoftPhoneDlg::ReopenMenuPanelOnLanguagePage() {}
void CSoftPhoneDlg::OnMenuButton() {}
#endif

void CSoftPhoneDlg::TogglePanelPage(int nPageMark, std::initializer_list<int> rows)
{
    if (m_pMenuPanel && MenuPanelPageMark() == nPageMark)
        CloseMenuPanel();
    else
        ChoosePanelRows(rows);
}

void CSoftPhoneDlg::OnSystemConfig()
{
    if (m_endpoint.IsIdle())
        TogglePanelPage(31, {3});
}

void CSoftPhoneDlg::OnLastNumber() { TogglePanelPage(11, {1}); }

void CSoftPhoneDlg::OnPhoneBook()
{
    if (m_endpoint.IsIdle())
        TogglePanelPage(21, {2});
}

void CSoftPhoneDlg::OnQuickCalls()
{
    if (m_pMenuPanel)
        CloseMenuPanel();
    else
        ChoosePanelRows({1, 1});
}

void CSoftPhoneDlg::OnVideoSetting()
{
    if (m_pMenuPanel && MenuPanelPageMark() == 31)
        CloseMenuPanel();
    else
        ChoosePanelRows({3, 3});
}

void CSoftPhoneDlg::CreateChatWindow()
{
    if (m_pChatDlg)
        return;
    auto *chat = new CChatDlg(this);
    chat->m_pEndPoint = &m_endpoint;
    chat->m_currentCallToken = [this] { return m_endpoint.GetCurrentCallToken(); };
    if (!chat->Create(259, this)) {
        delete chat;
        return;
    }
    m_pChatDlg = chat;
    m_endpoint.SetChatWindow(chat);
}

void CSoftPhoneDlg::ShowChatText(const CString &text)
{
    CString line;
    if (!text.IsEmpty()) {
        CString say;
        say.LoadString(212);
        line = m_strRemoteName + say + text;
    }
    CreateChatWindow();
    if (!m_pChatDlg)
        return;
    m_pChatDlg->m_strPendingLine = line;
    m_pChatDlg->m_strUserName = m_strRemoteName;
    m_pChatDlg->AppendChatText();
    if (text.IsEmpty()) {
        // The user asked for the window (Send Message): it takes the keyboard.
        m_pChatDlg->ShowWindow(SW_SHOW);
        m_pChatDlg->SetActiveWindow();
    } else {
        // Received text shows above the other windows; the keyboard stays where it is.
        m_pChatDlg->ShowWindow(SW_SHOWNA);
        m_pChatDlg->SetWindowPos(&wndTop, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
}

void CSoftPhoneDlg::ShowVideoIfShown()
{
    if (m_pChatDlg && m_pChatDlg->m_bVideoInCall == 1) {
        m_pChatDlg->ShowVideoArea();
        m_pChatDlg->ShowWindow(SW_SHOW);
    }
}

void CSoftPhoneDlg::HideVideoIfShown()
{
    if (m_pChatDlg && m_pChatDlg->m_bVideoInCall == 1) {
        m_pChatDlg->ClearVideoCall();
        m_pChatDlg->HideVideoArea();
    }
}

void CSoftPhoneDlg::RunVoiceWizard(CWnd *pParent)
{
    // One wizard at a time: a handset notice or a call placed while it is open waits for it.
    if (m_pVoiceSheet)
        return;
    CString caption;
    caption.LoadString(117);
    CVoiceSheet sheet(caption, pParent ? pParent : this, 0);
    sheet.SetWizardMode();
    sheet.m_pSettings = &m_settings;
    sheet.m_pToneChannel = &m_toneChannel;
    m_pVoiceSheet = &sheet;
    sheet.DoModal();
    m_pVoiceSheet = nullptr;
}

void CSoftPhoneDlg::DestroyChildWindows()
{
    HideMenuPanel();
    CloseMenuPanel();
    if (m_pChatDlg) {
        m_endpoint.SetChatWindow(nullptr);
        m_pChatDlg->ShowWindow(SW_HIDE);
        m_pChatDlg->DestroyWindow();
        delete m_pChatDlg;
        m_pChatDlg = nullptr;
    }
}
