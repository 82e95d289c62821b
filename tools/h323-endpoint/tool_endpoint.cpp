// The endpoint of h323-endpoint: configuration and the event lines.
#include <tools/h323-endpoint/tool_endpoint.h>

#include <h323/asn1/gen/h245.h>
#include <h323/channels/channel.h>
#include <h323/codecs/g711.h>
#include <h323/codecs/gsm0610.h>
#include <h323/codecs/h261codec.h>
#include <h323/codecs/h263codec.h>

#include <pwlib/video/pvideochannel.h>

#include <iostream>
#include <mutex>

namespace h323tool {

void PrintEvent(const std::string &line)
{
    static std::mutex lock;
    std::lock_guard<std::mutex> hold(lock);
    std::cout << line << std::endl;
}

std::string FailReasonName(unsigned reason)
{
    static const char *const names[] = {
        "RegistrationSuccessful", "UnregisteredLocally", "UnregisteredByGatekeeper",
        "GatekeeperLostRegistration", "InvalidListener", "DuplicateAlias", "SecurityDenied",
        "TransportError"};
    if (reason < sizeof(names) / sizeof(names[0]))
        return names[reason];
    if (reason & H323Gatekeeper::RegistrationRejectReasonMask)
        return "RegistrationRejected/" + std::to_string(reason & 0x7fff);
    return "Unknown/" + std::to_string(reason);
}

namespace {

/// A display that drops the decoded pictures.
class NullVideoOutput : public PVideoOutputDevice
{
  public:
    BOOL Open(const PString &, BOOL) override { return TRUE; }
    BOOL IsOpen() override { return TRUE; }
    PStringList GetDeviceNames() const override { return PStringList{"null"}; }
    PINDEX GetMaxFrameBytes() override { return PINDEX(frameWidth_ * frameHeight_ * 3 / 2); }
    BOOL SetFrameData(unsigned, unsigned, unsigned, unsigned, const BYTE *, BOOL) override
    {
        return TRUE;
    }
    BOOL EndFrame() override { return TRUE; }
};

std::string CodecName(const H323Capability &cap)
{
    if (cap.GetMainType() == H323Capability::e_Audio) {
        switch (cap.GetSubType()) {
        case H245_AudioCapability::e_g711Ulaw64k: return "PCMU";
        case H245_AudioCapability::e_g711Alaw64k: return "PCMA";
        case H245_AudioCapability::e_gsmFullRate: return "GSM";
        default: break;
        }
    }
    return cap.GetFormatName().GetText();
}

} // namespace

ToolEndpoint::ToolEndpoint(const Options &o) : options(o)
{
    hangupTimer.SetNotifier([this](PTimer &) { HangUp(); });
    userInputTimer.SetNotifier([this](PTimer &) { SendUserInput(); });
}

ToolEndpoint::~ToolEndpoint()
{
    hangupTimer.Stop();
    userInputTimer.Stop();
    ClearAllCalls(H323CallEndReasons::EndedByLocalUser, TRUE);
}

BOOL ToolEndpoint::Configure(std::string &error)
{
    if (!options.alias.empty())
        SetLocalUserName(options.alias);
    SetGatekeeperPassword(options.password);
    DisableFastStart(!options.fastStart);
    DisableH245Tunneling(!options.tunnelling);
    SetH245inSetup(options.h245Separate);
    SetAudioJitterDelay(50, 250);
    SetSoundChannelBufferDepth(3);
    SetSilenceDetectionMode(H323AudioCodec::NoSilenceDetection);
    SetAutoStartReceiveVideo(!options.video.empty());
    SetAutoStartTransmitVideo(!options.video.empty());
    // Tones go as H.245 signals, so that the far end sees them as tones.
    SetSendUserInputMode(SendUserInputAsTone);
    if (options.rtpBase != 0)
        SetRtpIpPorts(WORD(options.rtpBase), WORD(options.rtpMax));
    if (options.answerTimeout >= 0)
        SetSignallingChannelCallTimeout(PTimeInterval(PInt64(options.answerTimeout * 1000)));

    PString recorder = options.play.empty() ? PString("Null") : PString("file:" + options.play);
    PString player = options.record.empty() ? PString("Null") : PString("file:" + options.record);
    if (!SetSoundChannelRecordDevice(recorder) || !SetSoundChannelPlayDevice(player)) {
        error = "sound devices unavailable";
        return FALSE;
    }

    for (const std::string &name : options.codecs) {
        H323Capability *cap;
        if (name == "PCMU")
            cap = new H323_G711Capability(H323_G711Capability::muLaw);
        else if (name == "PCMA")
            cap = new H323_G711Capability(H323_G711Capability::ALaw);
        else
            cap = new H323_GSM0610Capability;
        SetCapability(0, 0, cap); // alternatives of one another
    }
    // Video runs beside the audio: a second set of the same descriptor.
    if (options.video == "H.261")
        SetCapability(0, P_MAX_INDEX, new H323_H261Capability(1, 1, FALSE, FALSE, 6217));
    else if (options.video == "H.263")
        SetCapability(0, P_MAX_INDEX, new H323_H263Capability(0, 1, 1));

    if (!StartListeners(PStringArray{psprintf("*:%d", options.listenPort)})) {
        error = "cannot listen on port " + std::to_string(options.listenPort);
        return FALSE;
    }
    auto addresses = GetInterfaceAddresses();
    if (!addresses.empty())
        PrintEvent("LISTENING port=" + std::to_string(addresses.front().GetPort()));
    return TRUE;
}

BOOL ToolEndpoint::Register()
{
    if (options.gatekeeper.empty())
        return TRUE;
    if (UseGatekeeper(options.gatekeeper))
        return TRUE; // the confirm printed REGISTERED
    H323Gatekeeper *gk = GetGatekeeper();
    PrintEvent("REGISTRATION-FAILED " +
               (gk != nullptr ? FailReasonName(gk->GetRegistrationFailReason())
                              : std::string("NoGatekeeper")));
    return FALSE;
}

BOOL ToolEndpoint::PlaceCall(const PString &party)
{
    PString token;
    if (MakeCall(party, token) == nullptr) {
        PrintEvent("CLEARED reason=" + std::to_string(int(H323CallEndReasons::EndedByNoUser)) +
                   " " + H323CallEndReasons::GetCallEndReasonName(H323CallEndReasons::EndedByNoUser));
        return FALSE;
    }
    PWaitAndSignal lock(stateMutex);
    currentToken = token;
    return TRUE;
}

H323Gatekeeper *ToolEndpoint::CreateGatekeeper(H323Transport *transport)
{
    return new ToolGatekeeper(*this, transport);
}

H323Connection *ToolEndpoint::CreateConnection(unsigned callReference)
{
    return new ToolConnection(*this, callReference);
}

BOOL ToolEndpoint::OnIncomingCall(H323Connection &connection, const H323SignalPDU &, H323SignalPDU &)
{
    PrintEvent("INCOMING " + std::string(connection.GetRemotePartyName().GetText()));
    if (!options.forward.empty())
        return !connection.ForwardCall(options.forward);
    if (options.answer == AnswerMode::Busy) {
        connection.ClearCall(H323CallEndReasons::EndedByLocalBusy);
        return FALSE;
    }
    PWaitAndSignal lock(stateMutex);
    currentToken = connection.GetCallToken();
    return TRUE;
}

BOOL ToolEndpoint::OnAlerting(H323Connection &, const H323SignalPDU &, const PString &)
{
    PrintEvent("ALERTING");
    return TRUE;
}

BOOL ToolEndpoint::OnConnectionForwarded(H323Connection &, const PString &forwardParty,
                                         const H323SignalPDU &)
{
    PrintEvent("FORWARDED " + std::string(forwardParty.GetText()));
    PWaitAndSignal lock(stateMutex);
    pendingForward = forwardParty;
    return TRUE;
}

void ToolEndpoint::OnConnectionEstablished(H323Connection &connection, const PString &)
{
    H323Channel *channel = connection.FindChannel(OpalMediaFormat::DefaultAudioSessionID, FALSE);
    if (channel == nullptr)
        channel = connection.FindChannel(OpalMediaFormat::DefaultAudioSessionID, TRUE);
    PrintEvent("CONNECTED codec=" + (channel ? CodecName(channel->GetCapability()) : std::string("none")));
    if (options.hangupAfter >= 0)
        hangupTimer.RunOnce(PTimeInterval(PInt64(options.hangupAfter * 1000)));
    if (!options.sendTones.empty() || !options.sendText.empty())
        userInputTimer.RunOnce(300); // after the capability exchange, which follows at once
}

void ToolEndpoint::OnConnectionCleared(H323Connection &connection, const PString &token)
{
    H323CallEndReasons::CallEndReason reason = connection.GetCallEndReason();
    PrintEvent("CLEARED reason=" + std::to_string(int(reason)) + " " +
               H323CallEndReasons::GetCallEndReasonName(reason));
    PString forward;
    {
        PWaitAndSignal lock(stateMutex);
        if (token == currentToken)
            currentToken = PString();
        forward = pendingForward;
        pendingForward = PString();
    }
    if (!forward.IsEmpty() && PlaceCall(forward))
        return; // the forwarded call is the one that counts
    if (options.exitAfterCall)
        done.Signal();
}

void ToolEndpoint::HangUp()
{
    PString token;
    {
        PWaitAndSignal lock(stateMutex);
        token = currentToken;
    }
    if (!token.IsEmpty())
        ClearCall(token, H323CallEndReasons::EndedByLocalUser);
}

void ToolEndpoint::SendUserInput()
{
    PString token;
    {
        PWaitAndSignal lock(stateMutex);
        token = currentToken;
    }
    H323Connection *connection = FindConnectionWithLock(token);
    if (connection == nullptr)
        return;
    for (char tone : options.sendTones)
        connection->SendUserInputTone(tone);
    if (!options.sendText.empty())
        connection->SendUserInput(options.sendText);
    connection->Unlock();
}

// ---- connection ----

ToolConnection::ToolConnection(ToolEndpoint &ep, unsigned callReference)
    : H323Connection(ep, callReference), tool(ep)
{
}

H323Connection::AnswerCallResponse ToolConnection::OnAnswerCall(const PString &, const H323SignalPDU &,
                                                               H323SignalPDU &)
{
    switch (tool.GetOptions().answer) {
    case AnswerMode::Refuse:
        return AnswerCallDenied;
    case AnswerMode::Never:
        return AnswerCallPending;
    default:
        return AnswerCallNow;
    }
}

void ToolConnection::OnUserInputString(const PString &value)
{
    PrintEvent("USER-INPUT-STRING " + std::string(value.GetText()));
}

void ToolConnection::OnUserInputTone(char tone, unsigned, unsigned, unsigned)
{
    PrintEvent(std::string("USER-INPUT-TONE ") + tone);
}

// ---- gatekeeper ----

ToolGatekeeper::ToolGatekeeper(H323EndPoint &ep, H323Transport *transport)
    : H323Gatekeeper(ep, transport)
{
}

ToolGatekeeper::~ToolGatekeeper()
{
    StopChannel();
}

BOOL ToolGatekeeper::OnReceiveRegistrationConfirm(const H225_RegistrationConfirm &rcf)
{
    bool wasRegistered = IsRegistered();
    BOOL result = H323Gatekeeper::OnReceiveRegistrationConfirm(rcf);
    if (!wasRegistered)
        PrintEvent("REGISTERED");
    return result;
}

BOOL ToolGatekeeper::OnReceiveUnregistrationRequest(const H225_UnregistrationRequest &urq)
{
    BOOL accepted = H323Gatekeeper::OnReceiveUnregistrationRequest(urq);
    if (accepted)
        PrintEvent("UNREGISTERED");
    return accepted;
}

void ToolGatekeeper::OnRegistrationLost()
{
    PrintEvent("UNREGISTERED");
}

BOOL ToolEndpoint::OpenVideoChannel(H323Connection &, BOOL isEncoding, H323VideoCodec &codec)
{
    PVideoChannel *channel = new PVideoChannel;
    if (isEncoding) {
        PVideoInputDevice *grabber = PVideoInputDevice::CreateDevice("FakeVideo");
        if (grabber == nullptr || !grabber->SetColourFormat("YUV420P") ||
            !grabber->SetFrameSize(176, 144) || !grabber->SetFrameRate(10) ||
            !grabber->SetChannel(0) || !grabber->Start()) {
            delete grabber;
            delete channel;
            return FALSE;
        }
        channel->AttachVideoReader(grabber);
    } else {
        NullVideoOutput *display = new NullVideoOutput;
        display->SetFrameSize(176, 144);
        channel->AttachVideoPlayer(display);
    }
    return codec.AttachChannel(channel);
}

} // namespace h323tool
