// The main dialog's window timers: clock, call time, service retransmissions, keep-alive,
// ringing, no-answer forward, ring-back, indicators, status reset and the first run.
#include <ui/soft_phone_dlg.h>

#include <core/usb_phone.h>

#include <h323/callsig/connection.h>

#include <win/cfile.h>
#include <win/path.h>

#include <cstdio>

namespace {

// "0" before a number below 10.
CString TwoDigits(int n)
{
    CString s;
    s.Format("%s%d", n < 10 ? "0" : "", n);
    return s;
}

} // namespace

void CSoftPhoneDlg::OnTimer(UINT_PTR nIDEvent)
{
    switch (nIDEvent) {
    case 1: {
        CTime now = CTime::GetCurrentTime();
        if (now.GetSecond() == 0) {
            m_nClockMinute = now.GetMinute();
            m_nClockHour = now.GetHour();
            DrawStatusArea();
            InvalidateAt(30, 200, 70);
        }
        break;
    }
    case 2: {
        long long seconds = (CTime::GetCurrentTime() - m_timeCallStart).GetTotalSeconds();
        if (seconds < 0)
            seconds = 0;
        m_strCallTime.Format("%s:%s:%s", TwoDigits(int(seconds / 3600 % 24)).GetString(),
                             TwoDigits(int(seconds / 60 % 60)).GetString(),
                             TwoDigits(int(seconds % 60)).GetString());
        InvalidateCallTime();
        break;
    }
    case 3:
        if (--m_nHeloRetries <= 0)
            KillTimer(3);
        else
            m_serviceSocket.SendHelo();
        return;
    case 4:
        if (--m_nAuthRetries <= 0)
            KillTimer(4);
        else
            m_serviceSocket.SendAuth(m_strAuthDigest);
        return;
    case 7:
        m_serviceSocket.NextSequence();
        m_strLiveId = m_serviceSocket.FormatSequence();
        m_serviceSocket.SendLive();
        m_nLiveRetries = 3;
        SetTimer(8, 3000);
        break;
    case 8:
        if (--m_nLiveRetries <= 0)
            KillTimer(8);
        return;
    case 10: {
        CSingleLock lock(&SoundLock(), TRUE);
        FileToPlay() = m_settings.m_strRingInWav;
        if (m_toneChannel.HasPlayCompleted())
            m_soundThreads.Start(PlaySoundThread, &m_toneChannel);
        break;
    }
    case 11: {
        KillTimer(10);
        if (UsbPhoneApi.Ring)
            UsbPhoneApi.Ring(0);
        KillTimer(11);
        KillTimer(22);
        m_toneChannel.Abort();
        m_toneChannel.Close();
        SetButtonPicture(m_btnRingIndicator, 168);
        m_bRinging = 0;
        if (H323Connection *connection =
                m_endpoint.FindConnectionWithLock(m_endpoint.GetOfferedCallToken())) {
            if (!m_settings.m_strForwardNoAnswer.IsEmpty())
                connection->ForwardCall(PString(m_settings.m_strForwardNoAnswer.GetString()));
            connection->Unlock();
        }
        return;
    }
    case 12:
        m_soundThreads.Start(RingBackThread, &m_toneChannel);
        break;
    case 21:
        m_bRegBlink = 1 - m_bRegBlink;
        SetButtonPicture(m_btnRegIndicator, m_bRegBlink ? 171 : 170);
        break;
    case 22:
        m_bRingBlink = 1 - m_bRingBlink;
        SetButtonPicture(m_btnRingIndicator, m_bRingBlink ? 169 : 168);
        break;
    case 30:
        KillTimer(30);
        ResetDeviceEventState();
        return;
    case 42:
        KillTimer(42);
        m_strStatus.LoadString(123);
        m_strStatus2.Empty();
        m_strCallTime = "00:00:00"; // the last call's time goes with its status
        InvalidateStatusArea();
        return;
    case 51: {
        KillTimer(51);
        if (std::FILE *f = std::fopen(win::MapPath(m_settings.m_strAudioFile).c_str(), "rb")) {
            std::fclose(f);
        } else {
            ShowWindow(SW_SHOWNORMAL);
            RunVoiceWizard();
        }
        return;
    }
    default:
        break;
    }
    Default();
}
