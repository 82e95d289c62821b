// CEndPoint: configuration, calls, the incoming-call decision and the call events.
#include <core/endpoint.h>

#include <core/acm_g7231.h>
#include <core/connection.h>
#include <core/g7231_codec.h>
#include <core/gatekeeper.h>
#include <core/settings.h>
#include <core/traffic_masking.h>
#include <core/video_channel.h>
#include <core/video_window.h>
#include <core/window_messages.h>

#include <h323/callsig/connection.h>
#include <h323/callsig/signal_pdu.h>
#include <h323/caps/media_format.h>
#include <h323/channels/channel.h>
#include <h323/codecs/gsm0610.h>
#include <h323/codecs/h261codec.h>
#include <h323/codecs/h263codec.h>

#include <pwlib/sound/psoundchannel.h>

#include <win/cwnd.h>
#include <win/winmsg.h>

#include <algorithm>

namespace
{

constexpr unsigned kInitialBandwidth = 30000; // 100 bit/s units
constexpr unsigned kJitterMinimum = 50;       // ms
constexpr unsigned kJitterMaximum = 250;      // ms
constexpr unsigned kSoundBuffers = 10;
constexpr unsigned kG7231FramesPerPacket = 3;
constexpr unsigned kGsmFramesPerPacket = 4;

// Video options (CSettings::m_nVideo) that shape the capability table, by index.
constexpr int kVideoSend = 0;
constexpr int kVideoReceive = 1;
constexpr int kVideoH263 = 3;
constexpr int kVideoH261 = 4;
constexpr int kVideoFrameRate = 12;
constexpr int kVideoMaxBitRate = 13;

/// The end reasons the dialog shows a text for; the others reach it as 0 / 0.
bool IsReportedEndReason(H323Connection::CallEndReason reason)
{
    using R = H323CallEndReasons;
    switch (reason) {
    case R::EndedByAnswerDenied:
    case R::EndedByRemoteUser:
    case R::EndedByRefusal:
    case R::EndedByNoAnswer:
    case R::EndedByCallerAbort:
    case R::EndedByTransportFail:
    case R::EndedByConnectFail:
    case R::EndedByNoUser:
    case R::EndedByNoBandwidth:
    case R::EndedByCapabilityExchange:
    case R::EndedByRemoteBusy:
    case R::EndedByRemoteCongestion:
    case R::EndedByUnreachable:
    case R::EndedByNoEndPoint:
    case R::EndedByHostOffline:
        return true;
    default:
        return false;
    }
}

} // namespace

CEndPoint::CEndPoint() = default;

CEndPoint::~CEndPoint()
{
    // The connections call back into this object while they are cleared.
    ClearAllCalls(H323CallEndReasons::EndedByLocalUser, TRUE);
    RemoveGatekeeper(-1);
}

void CEndPoint::Post(UINT message, WPARAM wParam, LPARAM lParam) const
{
    if (m_hMainWnd != nullptr)
        ::PostMessage(m_hMainWnd, message, wParam, lParam);
}

BOOL CEndPoint::Initialise(CWnd *mainWnd, CSettings *settings)
{
    m_pMainWnd = mainWnd;
    m_hMainWnd = mainWnd != nullptr ? mainWnd->GetSafeHwnd() : nullptr;
    m_pSettings = settings;

    SetInitialBandwidth(kInitialBandwidth);
    SetAudioJitterDelay(kJitterMinimum, kJitterMaximum);
    SetSoundChannelBufferDepth(kSoundBuffers);
    SetTrafficMasking(kTrafficMaskingSetting);
    DisableFastStart(FALSE);
    // Silence detection off by default, as the settings' default says.
    SetSilenceDetectionMode(H323AudioCodec::NoSilenceDetection);
    // A device that is not found leaves the stack's default device.
    SetSoundChannelPlayDevice(PString(settings->m_strPlayDevice.GetString()));
    SetSoundChannelRecordDevice(PString(settings->m_strRecordDevice.GetString()));
    SetSoundChannelBufferDepth(kSoundBuffers);
    UpdateCapabilities();

    PString listeners = psprintf("*:%d", settings->m_nLocalPort);
    StartListeners(listeners.Tokenise(","));
    return TRUE;
}

void CEndPoint::UpdateCapabilities()
{
    capabilities.RemoveAll();
    m_pGsmCapability = nullptr;

    // G.723.1 leads; both variants land as the first set of the first descriptor.
    H323_ACMG7231Capability *acm = new H323_ACMG7231Capability;
    if (IsACMG7231Available()) {
        acm->SetTxFramesInPacket(kG7231FramesPerPacket);
        SetCapability(0, 0, acm);
    } else {
        delete acm;
        H323_G7231Capability *sw = new H323_G7231Capability;
        sw->SetTxFramesInPacket(kG7231FramesPerPacket);
        SetCapability(P_MAX_INDEX, P_MAX_INDEX, sw);
    }

    H323_GSM0610Capability *gsm = new H323_GSM0610Capability;
    gsm->SetTxFramesInPacket(kGsmFramesPerPacket);
    SetCapability(P_MAX_INDEX, P_MAX_INDEX, gsm);
    m_pGsmCapability = gsm;

    if (m_pSettings == nullptr)
        return;
    const auto &video = m_pSettings->m_nVideo;
    if (video[kVideoSend] == 0) {
        SetAutoStartTransmitVideo(FALSE);
        if (video[kVideoReceive] == 0)
            return;
        SetAutoStartReceiveVideo(TRUE);
        if (video[kVideoH263] == 1)
            AddH263Capabilities();
        if (video[kVideoH261] == 1)
            SetCapability(0, P_MAX_INDEX, new H323_H261Capability(1, 0, TRUE, FALSE, 850));
    } else if (video[kVideoSend] == 1) {
        // Sending is switched on again here: an earlier rebuild with sending off cleared it.
        SetAutoStartTransmitVideo(TRUE);
        SetAutoStartReceiveVideo(video[kVideoReceive] != 0);
        if (video[kVideoH263] == 1)
            AddH263Capabilities();
        if (video[kVideoH261] == 1) {
            PINDEX set =
                SetCapability(0, P_MAX_INDEX, new H323_H261Capability(1, 0, FALSE, FALSE, 6217));
            SetCapability(0, set, new H323_H261Capability(0, 1, FALSE, FALSE, 6217));
        }
    }
}

void CEndPoint::AddH263Capabilities()
{
    const auto &video = m_pSettings->m_nVideo;
    // Setting 13 is in kbit/s; the capability clamps the product to its field's range.
    const unsigned long long kbits = unsigned(std::max(video[kVideoMaxBitRate], 0));
    const unsigned maxBitRate = unsigned(std::min(kbits * 1024, 0xffffffffULL));
    const unsigned frameRate = unsigned(std::max(video[kVideoFrameRate], 0));
    auto h263 = [&] {
        return new H323_H263Capability(0, 1, 0, 0, 0, maxBitRate, frameRate, FALSE, FALSE, FALSE,
                                       FALSE, TRUE);
    };
    PINDEX set = SetCapability(0, P_MAX_INDEX, h263());
    SetCapability(0, set, h263());
}

int CEndPoint::MakeCall(const char *number)
{
    if (number == nullptr || *number == '\0')
        return 0;
    // The call's token and the busy state are taken when its connection is made, before its
    // thread runs (CreateConnection below): a call cleared at once leaves the phone idle.
    PString token;
    return H323EndPoint::MakeCall(PString(number), token, nullptr) != nullptr ? 1 : 0;
}

void CEndPoint::ClearCurrentCall()
{
    PString token = GetCurrentCallToken();
    if (!token.IsEmpty())
        ClearCall(token, H323CallEndReasons::EndedByLocalUser);
}

BOOL CEndPoint::IsGatekeeperRegistered() const
{
    H323Gatekeeper *gk = AcquireGatekeeper();
    if (gk == nullptr)
        return FALSE;
    BOOL registered = gk->GetRegistrationFailReason() == H323Gatekeeper::RegistrationSuccessful;
    ReleaseGatekeeper(gk);
    return registered;
}

void CEndPoint::SendDtmfTone(char tone)
{
    PString token = GetCurrentCallToken();
    if (token.IsEmpty() || !HasConnection(token))
        return;
    H323Connection *connection = FindConnectionWithLock(token);
    if (connection == nullptr)
        return;
    connection->SendUserInputTone(tone, 0, 0, 0);
    connection->Unlock();
}

BOOL CEndPoint::PostIncomingCall()
{
    if (m_nActiveConnections < 2)
        Post(WM_CALL_RINGING_IN);
    return TRUE;
}

PString CEndPoint::GetCurrentCallToken() const
{
    PWaitAndSignal lock(m_textMutex);
    return m_strCurrentCallToken;
}

PString CEndPoint::GetOfferedCallToken() const
{
    PWaitAndSignal lock(m_textMutex);
    return m_strOfferedCallToken;
}

CString CEndPoint::GetCallerNumber() const
{
    PWaitAndSignal lock(m_textMutex);
    return m_strCallerNumber;
}

PString CEndPoint::GetForwardParty() const
{
    PWaitAndSignal lock(m_textMutex);
    return m_strForwardParty;
}

// ---- overrides ----

void CEndPoint::SetEndpointTypeInfo(H225_EndpointType &info) const
{
    H323EndPoint::SetEndpointTypeInfo(info);
}

H323Gatekeeper *CEndPoint::CreateGatekeeper(H323Transport *transport)
{
    return new CGatekeeper(*this, transport, m_pMainWnd);
}

BOOL CEndPoint::OnIncomingCall(H323Connection &connection, const H323SignalPDU &, H323SignalPDU &)
{
    {
        PWaitAndSignal lock(m_textMutex);
        m_strCallerNumber = CString(static_cast<const char *>(connection.GetRemotePartyNumber()));
    }
    // Copies: the menu panel changes the numbers on the interface thread.
    CString forwardAlways, forwardBusy;
    if (m_pSettings != nullptr) {
        auto rules = m_pSettings->LockCallRules();
        forwardAlways = m_pSettings->m_strForwardAlways;
        forwardBusy = m_pSettings->m_strForwardBusy;
    }
    // A forward that fails leaves the call to be offered or refused as any other.
    if (!forwardAlways.IsEmpty() && connection.ForwardCall(PString(forwardAlways.GetString())))
        return FALSE;

    if (m_nIdle == 1 && m_nActiveConnections <= 1) {
        PWaitAndSignal lock(m_textMutex);
        m_strOfferedCallToken = connection.GetCallToken();
        return TRUE;
    }

    // Busy: forwarded, or refused; a second call is never left waiting unanswerable.
    if (!forwardBusy.IsEmpty() && connection.ForwardCall(PString(forwardBusy.GetString())))
        return FALSE;
    connection.ClearCall(H323CallEndReasons::EndedByLocalBusy);
    return FALSE;
}

BOOL CEndPoint::OnAlerting(H323Connection &, const H323SignalPDU &, const PString &)
{
    Post(WM_CALL_ALERTING);
    return TRUE;
}

BOOL CEndPoint::OnConnectionForwarded(H323Connection &, const PString &forwardParty,
                                      const H323SignalPDU &)
{
    {
        PWaitAndSignal lock(m_textMutex);
        m_strForwardParty = forwardParty;
    }
    Post(WM_CALL_FORWARDED);
    return TRUE;
}

void CEndPoint::OnConnectionEstablished(H323Connection &, const PString &token)
{
    if (m_nActiveConnections >= 2)
        return;
    {
        PWaitAndSignal lock(m_textMutex);
        m_strCurrentCallToken = token;
        m_strOfferedCallToken = token;
    }
    m_nIdle = 0;
    m_nConnected = 1;
    Post(WM_CALL_CONNECTED);
}

void CEndPoint::OnConnectionCleared(H323Connection &connection, const PString &)
{
    int remaining = --m_nActiveConnections;
    if (remaining > 0)
        return;
    if (remaining < 0)
        m_nActiveConnections = 0;
    m_nIdle = 1;
    {
        PWaitAndSignal lock(m_textMutex);
        m_strCurrentCallToken = PString();
    }
    H323Connection::CallEndReason reason = connection.GetCallEndReason();
    if (IsReportedEndReason(reason))
        Post(WM_CALL_CLEARED, WPARAM(reason), 1);
    else
        Post(WM_CALL_CLEARED, 0, 0);
}

H323Connection *CEndPoint::CreateConnection(unsigned callReference)
{
    ++m_nActiveConnections;
    return new MyConnection(m_pMainWnd, this, callReference);
}

H323Connection *CEndPoint::CreateConnection(unsigned callReference, void *, H323Transport *,
                                            H323SignalPDU *setupPDU)
{
    if (setupPDU == nullptr) {
        // A call we place (MakeCall): it is the current call, and the phone busy, from now.
        H323Connection *connection = CreateConnection(callReference);
        PWaitAndSignal lock(m_textMutex);
        m_strCurrentCallToken = connection->GetCallToken();
        m_nIdle = 0;
        return connection;
    }
    std::string number;
    setupPDU->GetQ931().GetCallingPartyNumber(number);
    if (IsFiltered(PString(number.c_str())))
        return nullptr;
    return CreateConnection(callReference);
}

BOOL CEndPoint::IsFiltered(const PString &callingNumber) const
{
    if (m_pSettings == nullptr)
        return FALSE;
    auto rules = m_pSettings->LockCallRules();
    int count = m_pSettings->m_nFilterCount;
    if (count < 0)
        count = 0;
    if (count > CSettings::kFilterCapacity)
        count = CSettings::kFilterCapacity;
    bool listed = false;
    for (int i = 0; i < count && !listed; i++)
        listed = m_pSettings->m_arrFilter[size_t(i)] == static_cast<const char *>(callingNumber);
    // Mode 0 refuses the listed numbers; every other mode accepts only them.
    return m_pSettings->m_nFilterMode == 0 ? listed : !listed;
}

BOOL CEndPoint::OnStartLogicalChannel(H323Connection &, H323Channel &)
{
    return TRUE;
}

void CEndPoint::OnClosedLogicalChannel(H323Connection &, const H323Channel &channel)
{
    // The codec deletes a closed video channel: the chat window must not keep it.
    CVideoWindow *chat = m_pChatWindow;
    if (chat != nullptr && channel.GetSessionID() == OpalMediaFormat::DefaultVideoSessionID)
        chat->ForgetVideoChannel(channel.GetDirection() == H323Channel::IsReceiver);
}

BOOL CEndPoint::OpenAudioChannel(H323Connection &connection, BOOL isEncoding, unsigned bufferSize,
                                 H323AudioCodec &codec)
{
    // The call's audio may need the device the dialog plays its tones on.
    if (m_pToneChannel != nullptr && m_pToneChannel->IsOpen())
        m_pToneChannel->Close();
    if (H323EndPoint::OpenAudioChannel(connection, isEncoding, bufferSize, codec))
        return TRUE;
    // No call without its sound: the dialog names the device, and the call ends now on both
    // sides rather than waiting for media that cannot come.
    if (connection.GetCallEndReason() == H323Connection::NumCallEndReasons) {
        Post(WM_SOUND_DEVICE_FAILED, isEncoding ? 1 : 0);
        connection.ClearCall(H323Connection::EndedByTemporaryFailure);
    }
    return FALSE;
}

BOOL CEndPoint::OpenVideoChannel(H323Connection &connection, BOOL isEncoding, H323VideoCodec &codec)
{
    if (m_pSettings == nullptr)
        return FALSE;
    return OpenCallVideoChannel(m_pChatWindow, *m_pSettings, connection, isEncoding, codec);
}

void CEndPoint::OnCallCreditServiceControl(const PString &amount, BOOL)
{
    if (m_hMainWnd != nullptr)
        ::SendMessage(m_hMainWnd, WM_SHOW_BALANCE,
                      reinterpret_cast<WPARAM>(static_cast<const char *>(amount)), 0);
}
