// The main dialog: construction, message map, data exchange, start-up and shutdown.
#include <ui/soft_phone_dlg.h>

#include <core/service_config.h>
#include <core/sound_mixer.h>
#include <core/usb_phone.h>
#include <core/window_messages.h>
#include <ui/login_dlg.h>
#include <ui/soft_phone_app.h>

#include <win/cmenu.h>
#include <win/path.h>
#include <win/resources.h>
#include <win/shell.h>
#include <win/msgbox.h>
#include <win/winmsg.h>

#include <cstdio>
#include <cstring>

CSoftPhoneDlg *g_pSoftPhoneDlg = nullptr;
int g_nHandsetIndex = -1;

namespace {

// Device-event state of the USBPhone_ handsets: -1 at start, 0 idle, 1 while a report runs
// the wizard.
int g_nDeviceEventState = -1;

constexpr UINT kTrayIconId = 143;
constexpr UINT kAboutCommand = 16;

// The handset library's threads: hand the event to the dialog's thread.
void OnHandsetKey(int32_t key)
{
    if (CSoftPhoneDlg *dlg = g_pSoftPhoneDlg)
        ::PostMessage(dlg->GetSafeHwnd(), WM_USBPHONE_KEY, WPARAM(key), 0);
}

void OnHandsetDevice(int32_t event, int32_t value)
{
    if (CSoftPhoneDlg *dlg = g_pSoftPhoneDlg)
        ::PostMessage(dlg->GetSafeHwnd(), WM_USBPHONE_DEVICE, WPARAM(event), LPARAM(value));
}

} // namespace

BEGIN_MESSAGE_MAP(CSoftPhoneDlg, CSkinDialog)
    ON_WM_SYSCOMMAND()
    ON_WM_PAINT()
    ON_WM_CTLCOLOR()
    ON_WM_NCHITTEST()
    ON_WM_NCLBUTTONDOWN()
    ON_WM_NCLBUTTONUP()
    ON_WM_NCMOUSEMOVE()
    ON_WM_MOUSEMOVE()
    ON_WM_LBUTTONUP()
    ON_WM_MOVE()
    ON_WM_DESTROY()
    ON_WM_TIMER()
    ON_COMMAND_RANGE(1000, 1011, OnKeypadButton)
    ON_COMMAND(1012, OnMinimize)
    ON_COMMAND(1013, OnMenuButton)
    ON_COMMAND(1014, OnSystemConfig)
    ON_COMMAND(1037, OnLastNumber)
    ON_COMMAND(1041, OnPhoneBook)
    ON_COMMAND(1038, OnQuickCalls)
    ON_COMMAND(1042, OnVideoSetting)
    ON_COMMAND(1039, OnRate)
    ON_COMMAND(1040, OnClear)
    ON_COMMAND(1015, OnCallButton)
    ON_COMMAND(1017, OnHangupButton)
    ON_COMMAND(1087, OnSendMessage)
    ON_MESSAGE(WM_CALL_ALERTING, OnCallAlerting)
    ON_MESSAGE(WM_CALL_RINGING_IN, OnIncomingCallMsg)
    ON_MESSAGE(WM_CALL_CONNECTED, OnCallConnected)
    ON_MESSAGE(WM_CALL_FORWARDED, OnCallForwarded)
    ON_MESSAGE(WM_CALL_CLEARED, OnCallCleared)
    ON_MESSAGE(WM_SOUND_DEVICE_FAILED, OnSoundDeviceFailed)
    ON_MESSAGE(WM_CHAT_TEXT, OnChatText)
    ON_MESSAGE(WM_START_REGISTRATION, OnStartRegistration)
    ON_MESSAGE(WM_GK_REGISTERED, OnGatekeeperRegistered)
    ON_MESSAGE(WM_GK_UNREGISTERED, OnGatekeeperUnregistered)
    ON_MESSAGE(WM_REGISTRATION_FAILED, OnRegistrationFailed)
    ON_MESSAGE(WM_ACCOUNT_IN_USE, OnAccountInUse)
    ON_MESSAGE(WM_SVC_HELO_OK, OnServiceHeloOk)
    ON_MESSAGE(WM_SVC_HELO_FAILED, OnServiceHeloFailed)
    ON_MESSAGE(WM_SVC_AUTH_OK, OnServiceAuthOk)
    ON_MESSAGE(WM_SVC_AUTH_FAILED, OnServiceAuthFailed)
    ON_MESSAGE(WM_SVC_KICKED, OnServiceKicked)
    ON_MESSAGE(WM_SVC_RELOGIN, OnServiceRelogin)
    ON_MESSAGE(WM_SVC_ACK, OnServiceAck)
    ON_MESSAGE(WM_USBPHONE_KEY, OnUsbPhoneKeyMsg)
    ON_MESSAGE(WM_USBPHONE_DEVICE, OnUsbPhoneDeviceMsg)
    ON_MESSAGE(WM_SHOW_BALANCE, OnShowBalance)
    ON_MESSAGE(WM_SHOW_TIME, OnShowTime)
    ON_MESSAGE(WM_VOLUME_CHANGED, OnVolumeChanged)
    ON_MESSAGE(MM_MIXM_CONTROL_CHANGE, OnMixerControlChange)
    ON_MESSAGE(WM_AUDIO_DEVICE_CHANGED, OnAudioDeviceChanged)
    ON_MESSAGE(WM_LANGUAGE_CHANGED, OnLanguageChanged)
    ON_MESSAGE(WM_TRAY_NOTIFY, OnTrayNotify)
END_MESSAGE_MAP()

CSoftPhoneDlg::CSoftPhoneDlg(CWnd *pParent) : CSkinDialog(102, pParent, "BACKGROUND")
{
    if (CSoftPhoneApp *app = CSoftPhoneApp::Current()) {
        if (app->m_nLanguage == 1 && app->m_hChinese)
            AfxSetResourceHandle(app->m_hChinese);
        else if (app->m_nLanguage == 2 && app->m_hTraditional)
            AfxSetResourceHandle(app->m_hTraditional);
    }
    m_hIcon = LoadIconA(AfxGetResourceHandle(), MAKEINTRESOURCE(128));
    m_pRegistration = new RegistrationRequest;
    ::LoadFaceTable(m_face);
    m_nLoginState = -1;

    std::vector<std::string> warnings;
    CServiceConfig config = CServiceConfig::Load(m_settings.m_strInstallDir.StdString(), &warnings);
    for (const std::string &warning : warnings)
        std::fprintf(stderr, "kestrelin: %s\n", warning.c_str());
    m_strPrimaryHost = config.m_strPrimaryHost.c_str();
    m_strSecondaryHost = config.m_strSecondaryHost.c_str();
    m_strAliasDomain = config.m_strAliasDomain.c_str();
    m_strWebHost = config.m_strWebHost.c_str();
}

CSoftPhoneDlg::~CSoftPhoneDlg()
{
    // A registration still inside UseGatekeeper uses the request and the endpoint.
    m_registrationThreads.WaitAll();
    m_soundThreads.WaitAll();
    delete m_pRegistration;
    if (m_hIcon)
        DestroyIcon(m_hIcon);
    if (g_pSoftPhoneDlg == this)
        g_pSoftPhoneDlg = nullptr;
}

void CSoftPhoneDlg::DoDataExchange(CDataExchange *pDX)
{
    CSkinDialog::DoDataExchange(pDX);
    DDX_Control(pDX, 1087, m_btnSendMessage);
    DDX_Control(pDX, 1079, m_thumbMic);
    DDX_Control(pDX, 1078, m_thumbPlay);
    DDX_Control(pDX, 1038, m_btnQuickCalls);
    DDX_Control(pDX, 1041, m_btnPhoneBook);
    DDX_Control(pDX, 1016, m_btnLog);
    DDX_Control(pDX, 1039, m_btnRate);
    DDX_Control(pDX, 1017, m_btnHangup);
    DDX_Control(pDX, 1040, m_btnClear);
    DDX_Control(pDX, 1015, m_btnCall);
    DDX_Control(pDX, 1044, m_number);
    DDX_Control(pDX, 1036, m_btnRingIndicator);
    DDX_Control(pDX, 1042, m_btnVideo);
    DDX_Control(pDX, 1, m_btnExit);
    DDX_Control(pDX, 1035, m_btnCallIndicator);
    DDX_Control(pDX, 1034, m_btnRegIndicator);
    DDX_Control(pDX, 1012, m_btnMin);
    DDX_Control(pDX, 1013, m_btnMenu);
    DDX_Control(pDX, 1037, m_btnLastNumber);
    DDX_Control(pDX, 1014, m_btnConfig);
    for (int id : {1009, 1011, 1010, 1008, 1007, 1006, 1005, 1004, 1003, 1002, 1001, 1000})
        DDX_Control(pDX, id, m_btnKey[id - 1000]);
}

BOOL CSoftPhoneDlg::OnInitDialog()
{
    CSkinDialog::OnInitDialog();

    CLoginDlg login(nullptr);
    if (!(m_settings.m_bAutoLogin && m_settings.m_bKeepPassword) && login.DoModal() != IDOK) {
        if (CSoftPhoneApp *app = CSoftPhoneApp::Current())
            app->FreeLanguageLibraries();
        // Nothing was used: every data file stays as it was (no window position of this run,
        // no audio settings that would keep the first-start wizard from opening next time).
        m_settings.KeepFilesUnchanged();
        OnOK();
        return TRUE;
    }

    ApplyLanguage();

    m_settings.UseAccountFiles(m_settings.m_strAccount);
    m_settings.LoadForwardList();
    m_settings.LoadFilterList();

    if (CMenu *menu = GetSystemMenu(FALSE)) {
        CString about;
        about.LoadString(101);
        if (!about.IsEmpty()) {
            menu->AppendMenu(MF_SEPARATOR);
            menu->AppendMenu(MF_STRING, kAboutCommand, about);
        }
    }
    SetIcon(m_hIcon, TRUE);
    SetIcon(m_hIcon, FALSE);

    m_bRinging = m_bRegBlink = m_bRingBlink = 0;
    m_strStatus.LoadString(127);
    m_strStatus2.Empty();
    m_strCallTime = "00:00:00";

    m_pRegistration->hWnd = GetSafeHwnd();
    m_pRegistration->pEndPoint = &m_endpoint;
    m_endpoint.Initialise(this, &m_settings);
    m_endpoint.SetToneChannel(&m_toneChannel);

    CRect rect;
    GetWindowRect(&rect);
    if (!m_settings.m_bNoWindowFile) {
        int x = m_settings.m_nWindowLeft, y = m_settings.m_nWindowTop;
        if (x < 0 || x > GetSystemMetrics(SM_CXSCREEN) - 10)
            x = 100;
        if (y < 0 || y > GetSystemMetrics(SM_CYSCREEN) - 10)
            y = 100;
        MoveWindow(x, y, rect.Width(), rect.Height(), TRUE);
    }

    CreateChatWindow();

    SetWindowPos(&wndTopMost, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);

    CString tip;
    tip.LoadString(124);
    tip += ".1";
    m_bTrayIcon = AddTrayIcon(GetSafeHwnd(), kTrayIconId,
                              LoadIconA(AfxGetResourceHandle(), MAKEINTRESOURCE(211)), tip);
    SetWindowText(tip);

    OpenSoundMixer();
    LayoutSkin();
    SetTimer(1, 1000);
    OpenSoundMixer();

    // Handsets: only the USBPhone_ kind exists here (the YL and CM_HID libraries do not).
    g_nHandsetIndex = -1;
    g_nDeviceEventState = -1;
    g_pSoftPhoneDlg = this;
    if (UsbPhoneApi.Open)
        UsbPhoneApi.Open(GetSafeHwnd());
    if (UsbPhoneApi.Bind)
        UsbPhoneApi.Bind(&OnHandsetKey, &OnHandsetDevice);

    SetTimer(30, 2000);
    SetTimer(51, 200);
    PostMessage(WM_START_REGISTRATION, 0, 0);
    return TRUE;
}

void CSoftPhoneDlg::ApplyLanguage()
{
    CSoftPhoneApp *app = CSoftPhoneApp::Current();
    CString path;
    path.Format("%s\\netphone.ini", m_settings.m_strInstallDir.GetString());
    std::FILE *file = std::fopen(win::MapPath(path).c_str(), "w");
    if (app) {
        const char *digit = nullptr;
        if (app->m_nLanguage == 0 && app->m_hOwnResources) {
            AfxSetResourceHandle(app->m_hOwnResources);
            digit = "0";
        } else if (app->m_nLanguage == 1 && app->m_hChinese) {
            AfxSetResourceHandle(app->m_hChinese);
            digit = "1";
        } else if (app->m_nLanguage == 2 && app->m_hTraditional) {
            AfxSetResourceHandle(app->m_hTraditional);
            digit = "2";
        }
        if (digit && file)
            std::fputs(digit, file);
    }
    if (file)
        std::fclose(file);

    m_bmpSkin.DeleteObject();
    m_bmpSkin.LoadBitmap(137);
    m_brushDialog.DeleteObject();
    m_brushDialog.CreatePatternBrush(&m_bmpSkin);
    m_crEditBack = RGB(169, 198, 214);
    m_crEditText = RGB(m_face[53].a, m_face[53].b, m_face[53].c);
    m_brushEdit.DeleteObject();
    m_brushEdit.CreateSolidBrush(m_crEditBack);
}

void CSoftPhoneDlg::OnCancel()
{
    // Escape comes as a key (hang-up); a close from the window manager shuts down as Exit.
    OnOK();
}

void CSoftPhoneDlg::OnDestroy()
{
    m_endpoint.RemoveGatekeeper(-1);
    if (!m_settings.FilesKeptUnchanged()) {
        CRect rect;
        GetWindowRect(&rect);
        m_settings.m_nWindowLeft = rect.left;
        m_settings.m_nWindowTop = rect.top;
        // Saved now, while the user can still be told of a file that could not be written.
        for (const CSettings::SaveFailure &failure : m_settings.SaveAll()) {
            CString format, text;
            format.LoadString(228);
            text.Format(format, failure.strPath.GetString(), std::strerror(failure.nError));
            MessageBoxA(nullptr, text, nullptr, MB_OK | MB_ICONERROR);
        }
    }
    if (UsbPhoneApi.Close)
        UsbPhoneApi.Close();
    g_pSoftPhoneDlg = nullptr;
    if (m_nLoginState >= 1) {
        m_serviceSocket.NextSequence();
        m_serviceSocket.SendQuit();
    }
    m_serviceSocket.CloseServiceSocket();
    // The request block lives until the dialog object goes: a registration thread may still
    // be using it.
    DestroyChildWindows();
    m_bmpSkin.DeleteObject();
    m_brushDialog.DeleteObject();
    m_brushEdit.DeleteObject();
    CSkinDialog::OnDestroy();
}

void CSoftPhoneDlg::OnSysCommand(UINT nID, LPARAM)
{
    if ((nID & 0xFFF0) == kAboutCommand) {
        CDialog about(100, this);
        about.DoModal();
        return;
    }
    Default();
}

LRESULT CSoftPhoneDlg::OnUsbPhoneKeyMsg(WPARAM wParam, LPARAM)
{
    return OnUsbPhoneKey(int(wParam));
}

LRESULT CSoftPhoneDlg::OnUsbPhoneDeviceMsg(WPARAM, LPARAM)
{
    // A report means a handset is there: from the first on, an offered call rings it.
    if (g_nHandsetIndex == -1)
        g_nHandsetIndex = 0;
    // The first report after start-up (before timer 30) is the detection's, not a new device.
    if (g_nDeviceEventState == 1)
        return 0;
    if (g_nDeviceEventState == -1) {
        g_nDeviceEventState = 0;
        return 0;
    }
    g_nDeviceEventState = 1;
    g_nHandsetIndex = 1;
    RunAudioWizardForHandset();
    g_nDeviceEventState = 0;
    return 0;
}

void CSoftPhoneDlg::ResetDeviceEventState() { g_nDeviceEventState = 0; }
