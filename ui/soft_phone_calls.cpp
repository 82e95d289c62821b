// The main dialog's dialling and call control: keypad, call, answer, hang-up, exit, keyboard,
// the skin buttons and chat text.
#include <ui/soft_phone_dlg.h>

#include <core/usb_phone.h>

#include <h323/callsig/connection.h>
#include <core/window_messages.h>

#include <h323/ras/gatekeeper.h>

#include <win/handle.h>
#include <win/msgbox.h>
#include <win/path.h>

#include <chrono>
#include <cstring>

namespace {

// The tone file of a keypad key, empty for a key that has none.
CString ToneFileName(char c)
{
    CString name;
    if (c >= '0' && c <= '9')
        name.Format("d%c.wav", c);
    else if (c == '*')
        name = "star.wav";
    else if (c == '#')
        name = "hash.wav";
    return name;
}

BOOL Contains(const PStringArray &names, const CString &name)
{
    PString wanted(name.GetString());
    for (PINDEX i = 0; i < names.GetSize(); ++i)
        if (names[i] == wanted)
            return TRUE;
    return FALSE;
}

// Exit waits at most this long for a stopped tone's playing to return, looking this often.
constexpr auto kExitToneWait = std::chrono::milliseconds(1000);
constexpr DWORD kExitTonePollMs = 5;

} // namespace

void CSoftPhoneDlg::OpenToneChannel()
{
    m_toneChannel.Close();
    ++g_nToneOpenings;
    g_bToneOpen = m_toneChannel.Open(PString(m_settings.m_strPlayDevice.GetString()),
                                     PSoundChannel::Player, 1, 8000, 16)
                      ? 1
                      : 0;
}

void CSoftPhoneDlg::StopTone()
{
    if (g_bToneOpen == 1) {
        m_toneChannel.Abort();
        m_toneChannel.Close();
        g_bToneOpen = 0;
    }
}

void CSoftPhoneDlg::PlayKeyTone(char c)
{
    CString file = ToneFileName(c);
    if (file.IsEmpty())
        return;
    CString tone;
    tone.Format("%sdtmf\\%s", m_settings.m_strInstallDir.GetString(), file.GetString());
    // The file of the install directory that the Windows path names.
    PString path(win::MapPath(tone).c_str());
    // The lock covers the start only: the tone plays on while the key takes effect, and a
    // later key, an answer, a hang-up or Exit ends it at once by closing the channel.
    CSingleLock lock(&SoundLock(), TRUE);
    OpenToneChannel(); // closes the channel first, ending a tone that still plays
    if (g_bToneOpen != 1)
        return;
    if (!m_toneChannel.PlayFile(path, FALSE)) {
        m_toneChannel.Close();
        return;
    }
    // The channel closes once the tone has been played; without the thread it stays open
    // until its next use.
    auto *playing = new KeyTone{&m_toneChannel, g_nToneOpenings};
    if (!m_soundThreads.Start(KeyToneThread, playing))
        delete playing;
}

void CSoftPhoneDlg::OnKeypadDigit(char c)
{
    CString text;
    m_number.GetWindowText(text);
    PlayKeyTone(c);
    bool toneKey = (c >= '0' && c <= '9') || c == '*' || c == '#';
    if (!m_endpoint.IsIdle()) {
        if (toneKey) {
            text += c;
            m_endpoint.SendDtmfTone(c);
        }
    } else if (c == 8) {
        if (!text.IsEmpty())
            text = text.Left(text.GetLength() - 1);
    } else {
        text += c;
    }
    m_number.SetWindowText(text);
}

BOOL CSoftPhoneDlg::SoundDevicesPresent() const
{
    return Contains(PSoundChannel::GetDeviceNames(PSoundChannel::Player),
                    m_settings.m_strPlayDevice) &&
           Contains(PSoundChannel::GetDeviceNames(PSoundChannel::Recorder),
                    m_settings.m_strRecordDevice);
}

void CSoftPhoneDlg::PlaceCall()
{
    if (m_bRinging) {
        KillTimer(22);
        KillTimer(10);
        if (UsbPhoneApi.Ring)
            UsbPhoneApi.Ring(0);
        m_strCallTime = "00:00:00";
        m_timeCallStart = CTime::GetCurrentTime();
        m_nCallState = 2;
        {
            CSingleLock lock(&SoundLock(), TRUE);
            StopTone();
        }
        if (H323Connection *connection =
                m_endpoint.FindConnectionWithLock(m_endpoint.GetOfferedCallToken())) {
            connection->AnsweringCall(H323Connection::AnswerCallNow);
            connection->Unlock();
        }
        m_timeCallStart = CTime::GetCurrentTime();
        SetTimer(2, 500);
        m_strStatus = m_endpoint.GetCallerNumber();
        m_strStatus2.LoadString(121);
        KillTimer(42);
        InvalidateStatusArea();
        m_bRinging = 0;
        return;
    }

    if (!SoundDevicesPresent())
        RunVoiceWizard();
    if (!m_endpoint.IsIdle())
        return;

    m_strCallTime = "00:00:00";
    m_timeCallStart = CTime::GetCurrentTime();
    CString number = m_number.AddToHistory();
    if (number.IsEmpty())
        return;

    if (!m_endpoint.IsGatekeeperRegistered()) {
        H323Gatekeeper *gatekeeper = m_endpoint.GetGatekeeper();
        unsigned reason = gatekeeper ? gatekeeper->GetRegistrationFailReason() : 0;
        if (!gatekeeper || reason == H323Gatekeeper::DuplicateAlias ||
            reason == H323Gatekeeper::SecurityDenied) {
            CString text;
            text.LoadString(134);
            MessageBoxA(GetSafeHwnd(), text, nullptr, MB_OK);
            return;
        }
    }

    m_nCallState = 3;
    m_strDialedNumber = number;
    m_strRemoteDisplay = number;
    m_btnConfig.EnableWindow(FALSE);
    CString call;
    call.LoadString(148);
    m_strStatus = call + number;
    m_strStatus2.LoadString(128);
    KillTimer(42);
    InvalidateStatusArea();
    m_strRemoteName = LookupPhoneBookName(number);
    m_endpoint.MakeCall(number);
    CSingleLock lock(&SoundLock(), TRUE);
    m_toneChannel.Close();
}

void CSoftPhoneDlg::HangUp()
{
    if (m_bRinging) {
        {
            CSingleLock lock(&SoundLock(), TRUE);
            StopTone();
        }
        KillTimer(10);
        if (UsbPhoneApi.Ring)
            UsbPhoneApi.Ring(0);
        KillTimer(11);
        KillTimer(22);
        if (H323Connection *connection =
                m_endpoint.FindConnectionWithLock(m_endpoint.GetOfferedCallToken())) {
            connection->AnsweringCall(H323Connection::AnswerCallDenied);
            connection->Unlock();
        }
        SetButtonPicture(m_btnRingIndicator, 168);
        m_bRinging = 0;
        m_strStatus2.LoadString(131);
        InvalidateStatusArea();
        SetTimer(42, 3000);
    }
    if (!m_endpoint.IsIdle()) {
        StopTone();
        m_endpoint.ClearCurrentCall();
    }
}

void CSoftPhoneDlg::OnOK()
{
    if (m_bShutDown)
        return;
    m_bShutDown = true;
    ShowWindow(SW_HIDE);
    DeleteTrayIcon(GetSafeHwnd(), 143);
    m_endpoint.ClearCurrentCall();
    HideMenuPanel();
    m_endpoint.ClearAllCalls(H323Connection::EndedByLocalUser, TRUE);
    if (!m_endpoint.IsIdle())
        HangUp();
    KillTimer(10);
    if (UsbPhoneApi.Ring)
        UsbPhoneApi.Ring(0);
    if (UsbPhoneApi.Close)
        UsbPhoneApi.Close();
    {
        // The tone that plays ends now rather than being heard out, and the closed channel
        // plays nothing that a ring-back thread would start after this.
        CSingleLock lock(&SoundLock(), TRUE);
        m_toneChannel.Close();
        g_bToneOpen = 0;
    }
    auto deadline = std::chrono::steady_clock::now() + kExitToneWait;
    while (!m_toneChannel.HasPlayCompleted() && std::chrono::steady_clock::now() < deadline)
        Sleep(kExitTonePollMs);
    CDialog::OnOK();
}

BOOL CSoftPhoneDlg::PreTranslateMessage(MSG *pMsg)
{
    if (pMsg->message != WM_KEYDOWN)
        return CSkinDialog::PreTranslateMessage(pMsg);
    UINT key = UINT(pMsg->wParam);
    if (key == VK_ESCAPE) {
        HangUp();
        return TRUE;
    }
    if (key == VK_RETURN) {
        // An offered call keeps the endpoint idle, so Enter answers it.
        if (m_endpoint.IsIdle())
            PlaceCall();
        return TRUE;
    }
    // Typing in the number field's edit goes to the field.
    if (CWnd *focus = CWnd::GetFocus()) {
        CRect client;
        focus->GetClientRect(&client);
        if (client.Height() == 29 || focus == &m_number || focus->GetParent() == &m_number)
            return CSkinDialog::PreTranslateMessage(pMsg);
    }
    char c = 0;
    if (key == VK_BACK)
        c = 8;
    else if (key >= VK_NUMPAD0 && key <= VK_NUMPAD0 + 9)
        c = char('0' + (key - VK_NUMPAD0));
    else if (key == VK_MULTIPLY)
        c = '*';
    else if (key == VK_DECIMAL || key == 0xBE)
        c = '.';
    else if (key >= '0' && key <= '9')
        c = char(key);
    if (c) {
        OnKeypadDigit(c);
        return TRUE;
    }
    return CSkinDialog::PreTranslateMessage(pMsg);
}

void CSoftPhoneDlg::OnKeypadButton(UINT nID)
{
    static const char kKeys[] = "1234567890*#";
    if (nID >= 1000 && nID <= 1011)
        OnKeypadDigit(kKeys[nID - 1000]);
}

void CSoftPhoneDlg::OnMinimize()
{
    ShowWindow(SW_MINIMIZE);
    // Hidden only when the tray icon can bring it back.
    if (m_bTrayIcon)
        ShowWindow(SW_HIDE);
}

void CSoftPhoneDlg::OnRate() {}

void CSoftPhoneDlg::OnClear()
{
    if (m_endpoint.IsIdle())
        OnKeypadDigit(8);
}

void CSoftPhoneDlg::OnCallButton() { PlaceCall(); }

void CSoftPhoneDlg::OnHangupButton() { HangUp(); }

void CSoftPhoneDlg::OnSendMessage()
{
    if (!m_endpoint.IsIdle())
        ShowChatText(CString());
}

LRESULT CSoftPhoneDlg::OnChatText(WPARAM wParam, LPARAM)
{
    const char *text = reinterpret_cast<const char *>(wParam);
    ShowChatText(text ? CString(text) : CString());
    return 0;
}
