// H.245 control procedures (ITU-T H.245 clause 8): MSD, TCS, logical channels, commands.
#include <h323/h245/h245_control.h>

#include <h323/callsig/connection.h>
#include <h323/endpoint/endpoint.h>
#include <h323/pdu/identifiers.h>

#include <pwlib/ptrace.h>

#include <random>

namespace h323 {

namespace {
constexpr unsigned kTerminalType = 50; // terminal, H.323 clause 6.2.8.1
constexpr unsigned kMsdModulo = 1u << 24;
constexpr unsigned kMsdRetries = 10;          // indeterminate results before giving up
constexpr PInt64 kRoundTripTimeoutMs = 10000; // a later response is not counted

PInt64 Now()
{
    return PTimer::Tick().GetMilliSeconds();
}
} // namespace

std::string H245MessageName(const H245_MultimediaSystemControlMessage &pdu)
{
    static const char *kinds[] = {"request", "response", "command", "indication"};
    unsigned kind = pdu.GetTag();
    if (kind > 3)
        return "unknown";
    unsigned sub = 0;
    switch (kind) {
    case 0: sub = pdu.request().GetTag(); break;
    case 1: sub = pdu.response().GetTag(); break;
    case 2: sub = pdu.command().GetTag(); break;
    default: sub = pdu.indication().GetTag(); break;
    }
    return std::string(kinds[kind]) + " " + std::to_string(sub);
}

H245Control::H245Control(H323Connection &c)
    : connection(c), msdNumber(std::random_device{}() % kMsdModulo)
{
    requestTimer.SetNotifier([this](PTimer &) { OnRequestTimeout(); });
    roundTripTimer.SetNotifier([this](PTimer &) {
        if (!connection.Lock())
            return;
        SendRoundTripDelayRequest();
        connection.Unlock();
    });
}

void H245Control::StopTimers()
{
    {
        PWaitAndSignal lock(connection.innerMutex);
        timersStopped = true; // nothing arms them again
    }
    requestTimer.Stop();
    roundTripTimer.Stop();
}

BOOL H245Control::Write(const H245_MultimediaSystemControlMessage &pdu)
{
    return connection.WriteControlPDU(pdu);
}

void H245Control::Start()
{
    if (started)
        return;
    started = true;
    SendTerminalCapabilitySet();
    if (msdState == MsdState::Idle)
        SendMasterSlaveDetermination();
}

BOOL H245Control::SendTerminalCapabilitySet()
{
    H245_MultimediaSystemControlMessage pdu;
    H245_TerminalCapabilitySet &tcs = pdu.request().terminalCapabilitySet();
    tcs.m_sequenceNumber = ++tcsSequence % 256;
    tcs.m_protocolIdentifier = H245ProtocolIdentifier();
    tcs.IncludeOptionalField(H245_TerminalCapabilitySet::e_multiplexCapability);
    H245_H2250Capability &h225 = tcs.m_multiplexCapability.h2250Capability();
    h225.m_maximumAudioDelayJitter = 60;
    h225.m_receiveMultipointCapability.m_multicastCapability = false;
    h225.m_receiveMultipointCapability.m_multiUniCastConference = false;
    h225.m_receiveMultipointCapability.m_mediaDistributionCapability.resize(1);
    h225.m_transmitMultipointCapability = h225.m_receiveMultipointCapability;
    h225.m_receiveAndTransmitMultipointCapability = h225.m_receiveMultipointCapability;
    h225.m_mcCapability.m_centralizedConferenceMC = false;
    h225.m_mcCapability.m_decentralizedConferenceMC = false;
    h225.m_rtcpVideoControlCapability = false;
    h225.m_mediaPacketizationCapability.m_h261aVideoPacketization = false;
    connection.GetLocalCapabilities().BuildPDU(tcs);
    tcsAcked = false;
    tcsDue = Now() + connection.endpoint.GetControlChannelRequestTimeout().GetMilliSeconds();
    ScheduleTimeouts();
    return Write(pdu);
}

BOOL H245Control::SendMasterSlaveDetermination()
{
    H245_MultimediaSystemControlMessage pdu;
    H245_MasterSlaveDetermination &msd = pdu.request().masterSlaveDetermination();
    msd.m_terminalType = kTerminalType;
    msd.m_statusDeterminationNumber = msdNumber;
    msdState = MsdState::Outgoing;
    msdDue = Now() + connection.endpoint.GetControlChannelRequestTimeout().GetMilliSeconds();
    ScheduleTimeouts();
    return Write(pdu);
}

BOOL H245Control::HandlePDU(const H245_MultimediaSystemControlMessage &pdu)
{
    PTRACE(4, "H245\treceived " << H245MessageName(pdu));
    switch (pdu.GetTag()) {
    case H245_MultimediaSystemControlMessage::e_request:
        return OnRequest(pdu.request());
    case H245_MultimediaSystemControlMessage::e_response:
        return OnResponse(pdu.response());
    case H245_MultimediaSystemControlMessage::e_command:
        return OnCommand(pdu.command());
    case H245_MultimediaSystemControlMessage::e_indication:
        return OnIndication(pdu.indication());
    default:
        return TRUE;
    }
}

BOOL H245Control::OnRequest(const H245_RequestMessage &req)
{
    switch (req.GetTag()) {
    case H245_RequestMessage::e_masterSlaveDetermination:
        return OnMasterSlaveDetermination(req.masterSlaveDetermination());
    case H245_RequestMessage::e_terminalCapabilitySet:
        return OnTerminalCapabilitySet(req.terminalCapabilitySet());
    case H245_RequestMessage::e_openLogicalChannel:
        return OnOpenLogicalChannel(req.openLogicalChannel());
    case H245_RequestMessage::e_closeLogicalChannel:
        return OnCloseLogicalChannel(req.closeLogicalChannel());
    case H245_RequestMessage::e_requestChannelClose:
        return OnRequestChannelClose(req.requestChannelClose());
    case H245_RequestMessage::e_roundTripDelayRequest: {
        H245_MultimediaSystemControlMessage reply;
        reply.response().roundTripDelayResponse().m_sequenceNumber =
            req.roundTripDelayRequest().m_sequenceNumber;
        return Write(reply);
    }
    case H245_RequestMessage::e_requestMode: {
        H245_MultimediaSystemControlMessage reply;
        H245_RequestModeReject &rej = reply.response().requestModeReject();
        rej.m_sequenceNumber = req.requestMode().m_sequenceNumber;
        rej.m_cause.SetTag(H245_RequestModeReject_cause::e_modeUnavailable);
        return Write(reply);
    }
    default: {
        H245_MultimediaSystemControlMessage reply;
        reply.indication().functionNotUnderstood().request() = req;
        return Write(reply);
    }
    }
}

BOOL H245Control::OnResponse(const H245_ResponseMessage &resp)
{
    switch (resp.GetTag()) {
    case H245_ResponseMessage::e_masterSlaveDeterminationAck:
        return OnMasterSlaveDeterminationAck(resp.masterSlaveDeterminationAck());
    case H245_ResponseMessage::e_masterSlaveDeterminationReject:
        if (msdState == MsdState::Done)
            return TRUE;
        if (++msdRetries > kMsdRetries) {
            PTRACE(2, "H245\tmaster/slave determination indeterminate " << kMsdRetries
                                                                       << " times");
            msdDue = 0;
            H245_MultimediaSystemControlMessage release;
            release.indication().masterSlaveDeterminationRelease();
            Write(release);
            connection.ClearCall(H323Connection::EndedByCapabilityExchange);
            return TRUE;
        }
        // Indeterminate: try again with a new number.
        msdNumber = std::random_device{}() % kMsdModulo;
        determined = false;
        return SendMasterSlaveDetermination();
    case H245_ResponseMessage::e_terminalCapabilitySetAck:
        if (unsigned(resp.terminalCapabilitySetAck().m_sequenceNumber) == tcsSequence % 256) {
            tcsAcked = true;
            tcsDue = 0;
            Ready();
        }
        return TRUE;
    case H245_ResponseMessage::e_terminalCapabilitySetReject:
        PTRACE(2, "H245\tpeer rejected our capabilities");
        if (unsigned(resp.terminalCapabilitySetReject().m_sequenceNumber) == tcsSequence % 256)
            tcsDue = 0;
        return TRUE;
    case H245_ResponseMessage::e_roundTripDelayResponse:
        OnRoundTripDelayResponse(unsigned(resp.roundTripDelayResponse().m_sequenceNumber));
        return TRUE;
    case H245_ResponseMessage::e_openLogicalChannelAck:
        return OnOpenLogicalChannelAck(resp.openLogicalChannelAck());
    case H245_ResponseMessage::e_openLogicalChannelReject:
        return OnOpenLogicalChannelReject(resp.openLogicalChannelReject());
    default:
        return TRUE; // CLC acks, RTD responses and the rest need nothing
    }
}

BOOL H245Control::OnCommand(const H245_CommandMessage &cmd)
{
    switch (cmd.GetTag()) {
    case H245_CommandMessage::e_endSessionCommand:
        connection.OnEndSessionReceived();
        return TRUE;
    case H245_CommandMessage::e_sendTerminalCapabilitySet:
        return SendTerminalCapabilitySet();
    case H245_CommandMessage::e_miscellaneousCommand: {
        const H245_MiscellaneousCommand &misc = cmd.miscellaneousCommand();
        unsigned t = misc.m_type.GetTag();
        if (t == H245_MiscellaneousCommand_type::e_videoFastUpdatePicture ||
            t == H245_MiscellaneousCommand_type::e_videoFastUpdateGOB ||
            t == H245_MiscellaneousCommand_type::e_videoFastUpdateMB)
            connection.OnFastUpdateRequest(unsigned(misc.m_logicalChannelNumber));
        return TRUE;
    }
    default:
        return TRUE; // flow control and the rest are accepted
    }
}

BOOL H245Control::OnIndication(const H245_IndicationMessage &ind)
{
    if (ind.GetTag() == H245_IndicationMessage::e_userInput)
        connection.OnUserInputIndication(ind.userInput());
    return TRUE;
}

// ---- master/slave determination (H.245 8.2) ----

BOOL H245Control::OnMasterSlaveDetermination(const H245_MasterSlaveDetermination &msd)
{
    unsigned peerType = unsigned(msd.m_terminalType);
    unsigned peerNumber = unsigned(msd.m_statusDeterminationNumber);
    H245_MultimediaSystemControlMessage reply;
    if (peerType != kTerminalType) {
        isMaster = kTerminalType > peerType;
    } else {
        unsigned diff = (peerNumber - msdNumber) % kMsdModulo;
        if (diff == 0 || diff == kMsdModulo / 2) {
            reply.response().masterSlaveDeterminationReject().m_cause.SetTag(0);
            return Write(reply); // indeterminate
        }
        isMaster = diff < kMsdModulo / 2;
    }
    determined = true;
    reply.response().masterSlaveDeterminationAck().m_decision.SetTag(
        isMaster ? H245_MasterSlaveDeterminationAck_decision::e_slave
                 : H245_MasterSlaveDeterminationAck_decision::e_master);
    if (msdState == MsdState::Idle)
        msdState = MsdState::Incoming;
    if (msdState != MsdState::Done) { // our ack awaits the peer's
        msdDue = Now() + connection.endpoint.GetControlChannelRequestTimeout().GetMilliSeconds();
        ScheduleTimeouts();
    }
    return Write(reply);
}

BOOL H245Control::OnMasterSlaveDeterminationAck(const H245_MasterSlaveDeterminationAck &ack)
{
    bool weAreMaster = ack.m_decision.GetTag() == H245_MasterSlaveDeterminationAck_decision::e_master;
    if (msdState == MsdState::Outgoing && !determined) {
        // The peer decided; confirm with its role.
        isMaster = weAreMaster;
        determined = true;
        H245_MultimediaSystemControlMessage reply;
        reply.response().masterSlaveDeterminationAck().m_decision.SetTag(
            isMaster ? H245_MasterSlaveDeterminationAck_decision::e_slave
                     : H245_MasterSlaveDeterminationAck_decision::e_master);
        if (!Write(reply))
            return FALSE;
    }
    msdState = MsdState::Done;
    msdDue = 0;
    Ready();
    return TRUE;
}

// ---- capability exchange (H.245 8.3) ----

BOOL H245Control::OnTerminalCapabilitySet(const H245_TerminalCapabilitySet &tcs)
{
    H323Capabilities remote(tcs, connection.GetLocalCapabilities());
    tcsReceived = true;
    H245_MultimediaSystemControlMessage reply;
    reply.response().terminalCapabilitySetAck().m_sequenceNumber = tcs.m_sequenceNumber;
    if (!Write(reply))
        return FALSE;
    connection.OnReceivedCapabilitySet(remote);
    Ready();
    return TRUE;
}

void H245Control::Ready()
{
    if (ready || !IsCapabilityExchangeDone() || !IsMasterSlaveDone())
        return;
    ready = true;
    if (!timersStopped)
        roundTripTimer.RunContinuous(connection.endpoint.GetRoundTripDelayRate());
    connection.OnControlProtocolReady();
}

// ---- logical channels (H.245 8.4) ----

BOOL H245Control::OpenChannel(H323Channel &channel)
{
    H323ChannelNumber number{NextChannelNumber(), false};
    channel.SetNumber(number);
    H245_MultimediaSystemControlMessage pdu;
    if (!channel.OnSendingPDU(pdu.request().openLogicalChannel()))
        return FALSE;
    pendingOpens[number.number] = {
        &channel,
        Now() + connection.endpoint.GetControlChannelRequestTimeout().GetMilliSeconds()};
    ScheduleTimeouts();
    return Write(pdu);
}

BOOL H245Control::OnOpenLogicalChannel(const H245_OpenLogicalChannel &olc)
{
    unsigned number = unsigned(olc.m_forwardLogicalChannelNumber);
    unsigned errorCode = H245_OpenLogicalChannelReject_cause::e_unspecified;
    H323Channel *channel = connection.OnOpenLogicalChannelRequest(olc, errorCode);
    H245_MultimediaSystemControlMessage reply;
    if (channel == nullptr) {
        H245_OpenLogicalChannelReject &rej = reply.response().openLogicalChannelReject();
        rej.m_forwardLogicalChannelNumber = number;
        rej.m_cause.SetTag(errorCode);
        return Write(reply);
    }
    channel->OnSendOpenAck(reply.response().openLogicalChannelAck());
    if (!Write(reply))
        return FALSE;
    connection.StartChannel(*channel);
    return TRUE;
}

BOOL H245Control::OnOpenLogicalChannelAck(const H245_OpenLogicalChannelAck &ack)
{
    auto it = pendingOpens.find(unsigned(ack.m_forwardLogicalChannelNumber));
    if (it == pendingOpens.end())
        return TRUE;
    H323Channel *channel = it->second.channel;
    pendingOpens.erase(it);
    if (!channel->OnReceivedAckPDU(ack)) {
        PTRACE(2, "H245\tunusable ack for channel " << channel->GetNumber().number);
        CloseChannel(*channel);
        connection.RemoveChannel(channel);
        return TRUE;
    }
    connection.StartChannel(*channel);
    return TRUE;
}

BOOL H245Control::OnOpenLogicalChannelReject(const H245_OpenLogicalChannelReject &rej)
{
    auto it = pendingOpens.find(unsigned(rej.m_forwardLogicalChannelNumber));
    if (it == pendingOpens.end())
        return TRUE;
    H323Channel *channel = it->second.channel;
    pendingOpens.erase(it);
    PTRACE(2, "H245\tpeer rejected channel " << channel->GetNumber().number << ", cause "
                                            << rej.m_cause.GetTag());
    connection.RemoveChannel(channel);
    return TRUE;
}

BOOL H245Control::CloseChannel(const H323Channel &channel)
{
    H245_MultimediaSystemControlMessage pdu;
    H245_CloseLogicalChannel &clc = pdu.request().closeLogicalChannel();
    clc.m_forwardLogicalChannelNumber = channel.GetNumber().number;
    clc.m_source.SetTag(H245_CloseLogicalChannel_source::e_user);
    return Write(pdu);
}

BOOL H245Control::OnCloseLogicalChannel(const H245_CloseLogicalChannel &clc)
{
    unsigned number = unsigned(clc.m_forwardLogicalChannelNumber);
    H245_MultimediaSystemControlMessage reply;
    reply.response().closeLogicalChannelAck().m_forwardLogicalChannelNumber = number;
    connection.CloseLogicalChannel(number, TRUE);
    return Write(reply);
}

BOOL H245Control::OnRequestChannelClose(const H245_RequestChannelClose &rcc)
{
    unsigned number = unsigned(rcc.m_forwardLogicalChannelNumber);
    H245_MultimediaSystemControlMessage reply;
    reply.response().requestChannelCloseAck().m_forwardLogicalChannelNumber = number;
    if (!Write(reply))
        return FALSE;
    H323Channel *channel = connection.FindChannelByNumber(number, FALSE);
    if (channel != nullptr) {
        CloseChannel(*channel);
        connection.CloseLogicalChannel(number, FALSE);
    }
    return TRUE;
}

// ---- commands and indications we send ----

BOOL H245Control::SendEndSession()
{
    H245_MultimediaSystemControlMessage pdu;
    pdu.command().endSessionCommand().SetTag(H245_EndSessionCommand::e_disconnect);
    return Write(pdu);
}

BOOL H245Control::SendUserInputString(const PString &value)
{
    H245_MultimediaSystemControlMessage pdu;
    pdu.indication().userInput().alphanumeric() = value.GetText();
    return Write(pdu);
}

BOOL H245Control::SendUserInputTone(char tone, unsigned duration, unsigned logicalChannel,
                                    unsigned rtpTimestamp)
{
    H245_MultimediaSystemControlMessage pdu;
    H245_UserInputIndication_signal &signal = pdu.indication().userInput().signal();
    signal.m_signalType = std::string(1, tone);
    if (duration > 0) {
        signal.IncludeOptionalField(H245_UserInputIndication_signal::e_duration);
        signal.m_duration = duration;
    }
    if (logicalChannel > 0) {
        signal.IncludeOptionalField(H245_UserInputIndication_signal::e_rtp);
        signal.m_rtp.m_logicalChannelNumber = logicalChannel;
        signal.m_rtp.IncludeOptionalField(H245_UserInputIndication_signal_rtp::e_timestamp);
        signal.m_rtp.m_timestamp = rtpTimestamp;
    }
    return Write(pdu);
}

} // namespace h323

namespace h323 {

// ---- time-outs (H.245 timers T101, T103, T106) and round-trip delay (8.9) ----

void H245Control::OnChannelRemoved(const H323Channel *channel)
{
    for (auto it = pendingOpens.begin(); it != pendingOpens.end(); ++it)
        if (it->second.channel == channel) {
            pendingOpens.erase(it);
            return;
        }
}

PInt64 H245Control::Deadline() const
{
    PInt64 due = 0;
    auto earliest = [&due](PInt64 d) {
        if (d != 0 && (due == 0 || d < due))
            due = d;
    };
    earliest(tcsDue);
    earliest(msdDue);
    for (const auto &[number, open] : pendingOpens)
        earliest(open.due);
    return due;
}

void H245Control::ScheduleTimeouts()
{
    PInt64 due = Deadline();
    if (due == 0 || timersStopped)
        return; // an expiry that finds nothing due does nothing
    PInt64 wait = due - Now();
    requestTimer.RunOnce(PTimeInterval(wait > 1 ? wait : 1));
}

void H245Control::OnRequestTimeout()
{
    if (!connection.Lock())
        return;
    PInt64 now = Now();
    PInt64 timeout = connection.endpoint.GetControlChannelRequestTimeout().GetMilliSeconds();
    // While the call awaits its Connect the answer time-out governs: the clock restarts.
    if (connection.GetPhase() < H323Connection::ConnectedPhase) {
        for (PInt64 *due : {&tcsDue, &msdDue})
            if (*due != 0 && *due <= now)
                *due = now + timeout;
        for (auto &[number, open] : pendingOpens)
            if (open.due <= now)
                open.due = now + timeout;
        ScheduleTimeouts();
        connection.Unlock();
        return;
    }
    bool failed = false;
    if (tcsDue != 0 && tcsDue <= now) {
        PTRACE(2, "H245\tno answer to our capability set");
        tcsDue = 0;
        H245_MultimediaSystemControlMessage release;
        release.indication().terminalCapabilitySetRelease();
        Write(release);
        failed = true;
    }
    if (msdDue != 0 && msdDue <= now) {
        PTRACE(2, "H245\tno answer to master/slave determination");
        msdDue = 0;
        H245_MultimediaSystemControlMessage release;
        release.indication().masterSlaveDeterminationRelease();
        Write(release);
        failed = true;
    }
    for (auto it = pendingOpens.begin(); it != pendingOpens.end();) {
        if (it->second.due > now) {
            ++it;
            continue;
        }
        H323Channel *channel = it->second.channel;
        it = pendingOpens.erase(it);
        PTRACE(2, "H245\tno answer to the open of channel " << channel->GetNumber().number);
        H245_MultimediaSystemControlMessage pdu;
        H245_CloseLogicalChannel &clc = pdu.request().closeLogicalChannel();
        clc.m_forwardLogicalChannelNumber = channel->GetNumber().number;
        clc.m_source.SetTag(H245_CloseLogicalChannel_source::e_lcse);
        Write(pdu);
        connection.RemoveChannel(channel);
    }
    ScheduleTimeouts();
    connection.Unlock();
    if (failed)
        connection.ClearCall(H323Connection::EndedByCapabilityExchange);
}

void H245Control::SendRoundTripDelayRequest()
{
    if (rtdSent != 0)
        PTRACE(3, "H245\tround-trip delay request " << rtdSequence << " unanswered");
    rtdSequence = (rtdSequence + 1) % 256;
    H245_MultimediaSystemControlMessage pdu;
    pdu.request().roundTripDelayRequest().m_sequenceNumber = rtdSequence;
    rtdSent = Now();
    Write(pdu);
}

void H245Control::OnRoundTripDelayResponse(unsigned sequence)
{
    if (rtdSent == 0 || sequence != rtdSequence)
        return;
    PInt64 delay = Now() - rtdSent;
    rtdSent = 0;
    if (delay > kRoundTripTimeoutMs)
        PTRACE(3, "H245\tround-trip delay response after " << delay << " ms: too late");
    else
        PTRACE(4, "H245\tround-trip delay " << delay << " ms");
}

} // namespace h323
