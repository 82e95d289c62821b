// The main dialog's reaction to call events: ring-back, ringing, connected, forwarded, cleared,
// and the call log.
#include <ui/soft_phone_dlg.h>

#include <core/sound_devices.h>
#include <core/usb_phone.h>

#include <h323/callsig/end_reason.h>

#include <win/carchive.h>
#include <win/cfile.h>

namespace {

CString TwoDigits(int n)
{
    CString s;
    s.Format("%s%d", n < 10 ? "0" : "", n);
    return s;
}

// Moves (number, line) to the front of the list, dropping an older entry of the number and
// whatever falls off the end.
template <int N> void AddToCallList(CCallList<N> &list, int bound, const CString &number,
                                    const CString &line)
{
    int count = std::min(list.m_nCount, N);
    for (int i = 0; i < count; ++i) {
        if (list.m_strNumber[size_t(i)] == number) {
            for (int j = i; j + 1 < count; ++j) {
                list.m_strNumber[size_t(j)] = list.m_strNumber[size_t(j + 1)];
                list.m_strText[size_t(j)] = list.m_strText[size_t(j + 1)];
            }
            --count;
            list.m_strNumber[size_t(count)].Empty();
            list.m_strText[size_t(count)].Empty();
            break;
        }
    }
    int kept = std::min(count, std::min(bound, N) - 1);
    for (int j = kept; j > 0; --j) {
        list.m_strNumber[size_t(j)] = list.m_strNumber[size_t(j - 1)];
        list.m_strText[size_t(j)] = list.m_strText[size_t(j - 1)];
    }
    list.m_strNumber[0] = number;
    list.m_strText[0] = line;
    for (int j = kept + 1; j < count; ++j) {
        list.m_strNumber[size_t(j)].Empty();
        list.m_strText[size_t(j)].Empty();
    }
    list.m_nCount = kept + 1;
}

// Status text of a call end reason (wParam) given with lParam 1.
UINT EndReasonString(unsigned reason, const CString &dialled)
{
    switch (reason) {
    case H323CallEndReasons::EndedByAnswerDenied: return 144;
    case H323CallEndReasons::EndedByRemoteUser: return 131;
    case H323CallEndReasons::EndedByRefusal: return 138;
    case H323CallEndReasons::EndedByNoAnswer: return 132;
    case H323CallEndReasons::EndedByCallerAbort: return 137;
    case H323CallEndReasons::EndedByTransportFail: return 140;
    case H323CallEndReasons::EndedByConnectFail: return 147;
    case H323CallEndReasons::EndedByNoUser: return dialled.Left(1) == "0" ? 133 : 136;
    case H323CallEndReasons::EndedByNoBandwidth: return 142;
    case H323CallEndReasons::EndedByCapabilityExchange: return 143;
    case H323CallEndReasons::EndedByRemoteBusy: return 130;
    case H323CallEndReasons::EndedByRemoteCongestion: return 139;
    case H323CallEndReasons::EndedByUnreachable: return 145;
    case H323CallEndReasons::EndedByNoEndPoint: return 146;
    case H323CallEndReasons::EndedByHostOffline: return 136;
    default: return 131;
    }
}

} // namespace

void CSoftPhoneDlg::StartRingBack() { m_soundThreads.Start(RingBackThread, &m_toneChannel); }

LRESULT CSoftPhoneDlg::OnCallAlerting(WPARAM, LPARAM)
{
    if (m_strDialedNumber.Left(1) != "0") {
        {
            CSingleLock lock(&SoundLock(), TRUE);
            OpenToneChannel();
        }
        StartRingBack();
        SetTimer(12, 4000);
    }
    m_strStatus2.LoadString(129);
    InvalidateStatusArea();
    return 0;
}

LRESULT CSoftPhoneDlg::OnIncomingCallMsg(WPARAM, LPARAM)
{
    m_strStatus2.LoadString(129);
    CString caller = m_endpoint.GetCallerNumber();
    caller.Remove('\r');
    caller.Remove(' ');
    caller.Remove('\n');
    m_strRemoteName = LookupPhoneBookName(caller);
    caller = m_strRemoteName;
    CString name = PhoneBookNameOf(caller, 2);
    if (!name.IsEmpty())
        caller = name;
    m_strRemoteDisplay = caller;
    m_strStatus2 += "  :";
    m_strStatus2 += caller;
    m_bRinging = 1;
    InvalidateStatusArea();
    SetTimer(22, 300);
    ShowWindow(SW_SHOWNORMAL);
    {
        CSingleLock lock(&SoundLock(), TRUE);
        OpenToneChannel();
    }
    const CString &play = m_settings.m_strPlayDevice;
    if (g_nHandsetIndex >= 0 && play.Find("USB") >= 0 && UsbPhoneApi.Ring) {
        UsbPhoneApi.Ring(1);
    } else {
        // The first ring follows a second after the offer, then every second.
        SetTimer(10, 1000);
    }
    int noAnswer = m_settings.m_nNoAnswerTime;
    bool forward = noAnswer >= 1 && noAnswer <= 60 && !m_settings.m_strForwardNoAnswer.IsEmpty();
    SetTimer(11, forward ? UINT(noAnswer) * 1000 : 60000);
    return 0;
}

LRESULT CSoftPhoneDlg::OnCallConnected(WPARAM, LPARAM)
{
    KillTimer(12);
    KillTimer(10);
    KillTimer(11);
    if (UsbPhoneApi.Ring)
        UsbPhoneApi.Ring(0);
    m_timeCallStart = CTime::GetCurrentTime();
    SetTimer(2, 500);
    m_strStatus2.LoadString(121);
    InvalidateStatusArea();
    SetButtonPicture(m_btnCallIndicator, 173);
    SetButtonPicture(m_btnRingIndicator, 168);
    m_btnSendMessage.SetBitmaps(260, 261);
    m_btnSendMessage.EnableWindow(TRUE);
    m_btnSendMessage.InvalidateRect(nullptr, TRUE);
    ShowVideoIfShown();
    return 0;
}

LRESULT CSoftPhoneDlg::OnCallForwarded(WPARAM, LPARAM)
{
    KillTimer(10);
    if (UsbPhoneApi.Ring)
        UsbPhoneApi.Ring(0);
    KillTimer(11);
    KillTimer(22);
    m_endpoint.ClearCurrentCall();
    CString party(static_cast<const char *>(m_endpoint.GetForwardParty()));
    m_strStatus.LoadString(149);
    m_strStatus += party;
    m_strStatus2.LoadString(129);
    InvalidateStatusArea();
    if (!party.IsEmpty() && m_settings.m_strAccount.Left(party.GetLength()) != party)
        m_endpoint.MakeCall(party);
    return 0;
}

void CSoftPhoneDlg::AddCallLog(int nState)
{
    CTime now = CTime::GetCurrentTime();
    CString line;
    line.Format("%s:%s:%s  %s/%s", TwoDigits(now.GetHour()).GetString(),
                TwoDigits(now.GetMinute()).GetString(), TwoDigits(now.GetSecond()).GetString(),
                TwoDigits(now.GetDay()).GetString(), TwoDigits(now.GetMonth()).GetString());
    CString remote = m_endpoint.GetCallerNumber();
    if (nState == 3)
        AddToCallList(m_settings.m_DialedCalls, 10, m_strDialedNumber, line);
    else if (nState == 2)
        AddToCallList(m_settings.m_ReceivedCalls, 50, remote, line);
    else if (nState == 0)
        AddToCallList(m_settings.m_MissedCalls, 50, remote, line);
}

LRESULT CSoftPhoneDlg::OnCallCleared(WPARAM wParam, LPARAM lParam)
{
    for (UINT id : {2, 10, 11, 12, 22})
        KillTimer(id);
    if (UsbPhoneApi.Ring)
        UsbPhoneApi.Ring(0);
    SetButtonPicture(m_btnCallIndicator, 172);
    SetButtonPicture(m_btnRingIndicator, 168);
    AddCallLog(m_nCallState);
    m_nCallState = 0;
    {
        CSingleLock lock(&SoundLock(), TRUE);
        if (m_toneChannel.IsOpen())
            m_toneChannel.Close();
        g_bToneOpen = 0;
    }
    m_endpoint.m_nConnected = 0;
    m_bRinging = 0;
    if (!m_strDeviceError.IsEmpty())
        m_strStatus2 = m_strDeviceError; // what ended the call, rather than how
    else if (lParam == 0)
        m_strStatus2.LoadString(122);
    else
        m_strStatus2.LoadString(EndReasonString(unsigned(wParam), m_strDialedNumber));
    m_strDeviceError.Empty();
    KillTimer(42);
    InvalidateStatusArea();
    SetTimer(42, 3000);
    m_btnConfig.EnableWindow(TRUE);
    m_btnSendMessage.EnableWindow(FALSE);
    SetButtonPicture(m_btnSendMessage, 264);
    HideVideoIfShown();
    return 0;
}

LRESULT CSoftPhoneDlg::OnSoundDeviceFailed(WPARAM wParam, LPARAM)
{
    m_strDeviceError = wParam ? kCannotOpenInputDevice : kCannotOpenOutputDevice;
    m_strStatus2 = m_strDeviceError;
    InvalidateStatusArea();
    return 0;
}
