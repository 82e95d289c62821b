// H323Connection: construction, locking, call-backs, user input and starting to clear.
#include <h323/callsig/connection.h>
#include <h323/callsig/control_thread.h>

#include <h323/callsig/signal_pdu.h>
#include <h323/channels/channel.h>
#include <h323/endpoint/endpoint.h>
#include <h323/h245/h245_control.h>
#include <h323/pdu/addresses.h>
#include <h323/pdu/peer_text.h>
#include <h323/rtp/rtp_session.h>
#include <h323/transports/transport.h>

#include <pwlib/ptrace.h>

H323Connection::H323Connection(H323EndPoint &ep, unsigned callRef, unsigned options)
    : endpoint(ep), callReference(callRef), callIdentifier(h323::Guid::Generate()),
      conferenceIdentifier(h323::Guid::Generate()), localAliasNames(ep.GetAliasNames()),
      localCapabilities(ep.GetCapabilities()), bandwidthAvailable(ep.GetInitialBandwidth())
{
    static std::atomic<unsigned> tokenCounter{0};
    callToken = psprintf("ip$call/%u/%u", callRef, ++tokenCounter);
    h245Tunneling = !ep.IsH245TunnelingDisabled();
    if (options & H245TunnelingOptionDisable)
        h245Tunneling = FALSE;
    if (options & H245TunnelingOptionEnable)
        h245Tunneling = TRUE;
    fastStartEnabled = !ep.IsFastStartDisabled();
    if (options & FastStartOptionDisable)
        fastStartEnabled = FALSE;
    if (options & FastStartOptionEnable)
        fastStartEnabled = TRUE;
    // User input over H.245 is always offered, simultaneous with the media of descriptor 0.
    PINDEX set = localCapabilities.SetCapability(
        0, P_MAX_INDEX, new H323_UserInputCapability(H323_UserInputCapability::BasicString));
    localCapabilities.SetCapability(
        0, set, new H323_UserInputCapability(H323_UserInputCapability::SignalToneH245));
    control.reset(new h323::H245Control(*this));
    answerTimer.SetNotifier([this](PTimer &) {
        PTRACE(2, "H225\tno answer for " << callToken);
        ClearCall(EndedByNoAnswer);
    });
    noMediaTimer.SetNotifier([this](PTimer &) {
        // A channel thread may have established the call just before the timer was armed.
        if (phase != ConnectedPhase)
            return;
        PTRACE(2, "H225\tno media for " << callToken);
        ClearCall(EndedByCapabilityExchange);
    });
}

H323Connection::~H323Connection()
{
    answerTimer.Stop();
    noMediaTimer.Stop();
    fastStartChannels.clear();
    logicalChannels.clear();
    rtpSessions.clear();
    delete controlChannel;
    delete signallingChannel;
}

BOOL H323Connection::Lock()
{
    if (releaseStarted)
        return FALSE;
    innerMutex.Wait();
    if (releaseStarted) {
        innerMutex.Signal();
        return FALSE;
    }
    return TRUE;
}

BOOL H323Connection::ClearCall(CallEndReason reason)
{
    CallEndReason none = NumCallEndReasons;
    callEndReason.compare_exchange_strong(none, reason);
    if (releaseStarted.exchange(true))
        return TRUE;
    PTRACE(3, "H323\tclearing " << callToken << ": "
                                << GetCallEndReasonName(CallEndReason(callEndReason.load())));
    phase = ReleasingPhase;
    answerTimer.Stop();
    noMediaTimer.Stop();
    endSessionSync.Signal(); // nobody waits for the peer any more once it has released
    endpoint.OnConnectionReleasing(*this);
    return TRUE;
}

// ---- default call-backs ----

H323Connection::AnswerCallResponse H323Connection::OnAnswerCall(const PString &,
                                                               const H323SignalPDU &,
                                                               H323SignalPDU &)
{
    return AnswerCallNow;
}

BOOL H323Connection::OnIncomingCall(const H323SignalPDU &setupPDU, H323SignalPDU &alertingPDU)
{
    return endpoint.OnIncomingCall(*this, setupPDU, alertingPDU);
}

BOOL H323Connection::OnAlerting(const H323SignalPDU &alertingPDU, const PString &user)
{
    return endpoint.OnAlerting(*this, alertingPDU, user);
}

BOOL H323Connection::OnForwarded(const PString &forwardParty, const H323SignalPDU &pdu)
{
    return endpoint.OnConnectionForwarded(*this, forwardParty, pdu);
}

void H323Connection::OnEstablished()
{
    endpoint.OnConnectionEstablished(*this, callToken);
}

void H323Connection::OnCleared()
{
    endpoint.OnConnectionCleared(*this, callToken);
}

void H323Connection::OnUserInputString(const PString &) {}

void H323Connection::OnUserInputTone(char tone, unsigned, unsigned, unsigned)
{
    if (tone != ' ')
        OnUserInputString(PString(tone));
}

BOOL H323Connection::OnStartLogicalChannel(H323Channel &channel)
{
    return endpoint.OnStartLogicalChannel(*this, channel);
}

void H323Connection::OnClosedLogicalChannel(const H323Channel &channel)
{
    endpoint.OnClosedLogicalChannel(*this, channel);
}

BOOL H323Connection::OpenAudioChannel(BOOL isEncoding, unsigned bufferSize, H323AudioCodec &codec)
{
    return endpoint.OpenAudioChannel(*this, isEncoding, bufferSize, codec);
}

BOOL H323Connection::OpenVideoChannel(BOOL isEncoding, H323VideoCodec &codec)
{
    return endpoint.OpenVideoChannel(*this, isEncoding, codec);
}

// ---- names ----

PString H323Connection::GetRemotePartyName() const
{
    if (!remotePartyDisplayName.IsEmpty())
        return remotePartyDisplayName;
    if (!remotePartyNumber.IsEmpty())
        return remotePartyNumber;
    if (remotePartyAliases.GetSize() > 0 && !remotePartyAliases[0].IsEmpty())
        return remotePartyAliases[0];
    return remotePartyAddress.GetHostName();
}

PString H323Connection::GetLocalPartyName() const
{
    return localAliasNames.GetSize() > 0 ? localAliasNames[0] : PString();
}

H323Channel *H323Connection::FindChannel(unsigned sessionID, BOOL fromRemote) const
{
    H323Channel::Directions want = fromRemote ? H323Channel::IsReceiver : H323Channel::IsTransmitter;
    for (const auto &c : logicalChannels)
        if (c->GetSessionID() == sessionID && c->GetDirection() == want)
            return c.get();
    if (fastStartState == FastStartAcknowledged)
        for (const auto &c : fastStartChannels)
            if (c->GetSessionID() == sessionID && c->GetDirection() == want)
                return c.get();
    return nullptr;
}

H323Channel *H323Connection::FindChannelByNumber(unsigned number, BOOL fromRemote) const
{
    for (const auto &c : logicalChannels)
        if (c->GetNumber().number == number && c->GetNumber().fromRemote == bool(fromRemote))
            return c.get();
    if (fastStartState == FastStartAcknowledged)
        for (const auto &c : fastStartChannels)
            if (c->GetNumber().number == number && c->GetNumber().fromRemote == bool(fromRemote))
                return c.get();
    return nullptr;
}

// ---- answering and user input ----

void H323Connection::AnsweringCall(AnswerCallResponse response)
{
    if (releaseStarted)
        return;
    switch (response) {
    case AnswerCallNow:
        answerPending = false;
        SendConnect();
        break;
    case AnswerCallDenied:
        answerPending = false;
        ClearCall(EndedByAnswerDenied);
        break;
    case AnswerCallPending:
        answerPending = true;
        SendAlerting();
        break;
    case AnswerCallDeferred:
        answerPending = true;
        break;
    default:
        break;
    }
}

int H323Connection::GetRealSendUserInputMode() const
{
    if (!control->HasRemoteCapabilities())
        return H323EndPoint::SendUserInputAsQ931;
    H323EndPoint::SendUserInputModes mode = endpoint.GetSendUserInputMode();
    bool canString = remoteCapabilities.FindCapability(H323Capability::e_UserInput,
                                                      H323_UserInputCapability::BasicString);
    bool canTone = remoteCapabilities.FindCapability(H323Capability::e_UserInput,
                                                    H323_UserInputCapability::SignalToneH245);
    if (mode == H323EndPoint::SendUserInputAsString && canString)
        return mode;
    if (mode == H323EndPoint::SendUserInputAsTone && canTone)
        return mode;
    if (mode == H323EndPoint::SendUserInputAsQ931)
        return mode;
    if (canTone)
        return H323EndPoint::SendUserInputAsTone;
    return H323EndPoint::SendUserInputAsString;
}

void H323Connection::SendUserInputTone(char tone, unsigned duration, unsigned logicalChannel,
                                       unsigned rtpTimestamp)
{
    switch (GetRealSendUserInputMode()) {
    case H323EndPoint::SendUserInputAsTone:
        control->SendUserInputTone(tone, duration, logicalChannel, rtpTimestamp);
        break;
    case H323EndPoint::SendUserInputAsString:
        control->SendUserInputString(PString(tone));
        break;
    default: {
        H323SignalPDU pdu;
        pdu.BuildInformation(*this);
        pdu.GetQ931().SetKeypad(std::string(1, tone));
        WriteSignalPDU(pdu);
        break;
    }
    }
}

void H323Connection::SendUserInput(const PString &value)
{
    if (GetRealSendUserInputMode() == H323EndPoint::SendUserInputAsQ931) {
        H323SignalPDU pdu;
        pdu.BuildInformation(*this);
        pdu.GetQ931().SetKeypad(value.GetText());
        WriteSignalPDU(pdu);
        return;
    }
    control->SendUserInputString(value);
}

void H323Connection::OnUserInputIndication(const H245_UserInputIndication &uii)
{
    switch (uii.GetTag()) {
    case H245_UserInputIndication::e_alphanumeric:
    {
        std::string text = h323::TrimTrailingNuls(uii.alphanumeric());
        if (!text.empty())
            OnUserInputString(PString(text));
        break;
    }
    case H245_UserInputIndication::e_signal: {
        const H245_UserInputIndication_signal &sig = uii.signal();
        if (sig.m_signalType.empty() || sig.m_signalType[0] == '\0')
            break;
        unsigned duration = sig.HasOptionalField(H245_UserInputIndication_signal::e_duration)
                                ? unsigned(sig.m_duration.GetValue())
                                : 0;
        unsigned channel = 0, timestamp = 0;
        if (sig.HasOptionalField(H245_UserInputIndication_signal::e_rtp)) {
            channel = unsigned(sig.m_rtp.m_logicalChannelNumber.GetValue());
            timestamp = unsigned(sig.m_rtp.m_timestamp.GetValue());
        }
        OnUserInputTone(sig.m_signalType[0], duration, channel, timestamp);
        break;
    }
    default:
        break; // signalUpdate and the rest carry no new input
    }
}

BOOL H323Connection::ForwardCall(const PString &forwardParty)
{
    if (forwardParty.IsEmpty() || signallingChannel == nullptr)
        return FALSE;
    PString alias = forwardParty;
    H323TransportAddress address;
    PINDEX at = forwardParty.Find('@');
    if (at != P_MAX_INDEX) {
        alias = forwardParty.Left(at);
        address = H323TransportAddress(forwardParty.Mid(at + 1));
    } else if (forwardParty.Find("ip$") == 0) {
        alias = PString();
        address = H323TransportAddress(forwardParty);
    }
    H323SignalPDU pdu;
    H225_Facility_UUIE *facility = pdu.BuildFacility(*this, FALSE);
    facility->m_reason.SetTag(H225_FacilityReason::e_callForwarded);
    if (!alias.IsEmpty()) {
        facility->IncludeOptionalField(H225_Facility_UUIE::e_alternativeAliasAddress);
        facility->m_alternativeAliasAddress.push_back(h323::MakeAlias(alias.GetText()));
    }
    if (!address.IsEmpty() && address.SetPDU(facility->m_alternativeAddress))
        facility->IncludeOptionalField(H225_Facility_UUIE::e_alternativeAddress);
    return WriteSignalPDU(pdu);
}
