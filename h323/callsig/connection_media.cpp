// H323Connection: fast start, logical channels and RTP sessions of a call.
#include <h323/callsig/connection.h>

#include <h323/asn1/gen/h245.h>
#include <h323/asn1/per.h>
#include <h323/channels/channel.h>
#include <h323/endpoint/endpoint.h>
#include <h323/h245/h245_control.h>
#include <h323/rtp/rtp_session.h>
#include <h323/transports/interface_address.h>
#include <h323/transports/transport.h>

#include <pwlib/ptrace.h>

#include <algorithm>

namespace {

bool EncodeOLC(const H245_OpenLogicalChannel &olc, asn1::OctetString &out)
{
    std::vector<uint8_t> bytes;
    if (!asn1::encode(olc, bytes))
        return false;
    out.assign(bytes.begin(), bytes.end());
    return true;
}

bool WantsVideo(const H323EndPoint &ep, H323Channel::Directions dir)
{
    return dir == H323Channel::IsReceiver ? ep.CanAutoStartReceiveVideo()
                                          : ep.CanAutoStartTransmitVideo();
}

} // namespace

RTP_UDP *H323Connection::UseSession(unsigned sessionID)
{
    auto it = rtpSessions.find(sessionID);
    if (it != rtpSessions.end())
        return it->second.get();
    PIPSocket::Address local;
    if (signallingChannel != nullptr) {
        PIPSocket::Address remote;
        signallingChannel->GetRemoteAddress().GetIpAddress(remote);
        local = h323::LocalInterfaceFor(remote);
    }
    std::unique_ptr<RTP_UDP> session(new RTP_UDP(sessionID, GetLocalPartyName()));
    WORD base = endpoint.NextRtpPortBase();
    if (!session->Open(local, base, endpoint.GetRtpIpPortMax(), endpoint.GetRtpIpTypeofService()) &&
        !session->Open(local, endpoint.GetRtpIpPortBase(), base, endpoint.GetRtpIpTypeofService()))
        return nullptr;
    RTP_UDP *result = session.get();
    rtpSessions[sessionID] = std::move(session);
    return result;
}

// ---- fast start: the caller's offer ----

void H323Connection::BuildFastStartList(asn1::Array<asn1::OctetString> &fastStart)
{
    for (PINDEX i = 0; i < localCapabilities.GetSize(); i++) {
        H323Capability &cap = localCapabilities[i];
        if (cap.GetMainType() != H323Capability::e_Audio &&
            cap.GetMainType() != H323Capability::e_Video)
            continue;
        unsigned session = cap.GetDefaultSessionID();
        RTP_UDP *rtp = UseSession(session);
        if (rtp == nullptr)
            continue;
        for (H323Channel::Directions dir : {H323Channel::IsReceiver, H323Channel::IsTransmitter}) {
            if (cap.GetMainType() == H323Capability::e_Video && !WantsVideo(endpoint, dir))
                continue;
            std::unique_ptr<H323_RTPChannel> channel(new H323_RTPChannel(*this, cap, dir, *rtp));
            channel->SetNumber({control->NextChannelNumber(), false});
            H245_OpenLogicalChannel olc;
            olc.m_forwardLogicalChannelNumber = channel->GetNumber().number;
            if (dir == H323Channel::IsTransmitter) {
                if (!channel->OnSendingPDU(olc))
                    continue;
            } else {
                olc.m_forwardLogicalChannelParameters.m_dataType.SetTag(H245_DataType::e_nullData);
                olc.m_forwardLogicalChannelParameters.m_multiplexParameters.SetTag(
                    H245_OpenLogicalChannel_forwardLogicalChannelParameters_multiplexParameters::e_none);
                olc.IncludeOptionalField(H245_OpenLogicalChannel::e_reverseLogicalChannelParameters);
                auto &reverse = olc.m_reverseLogicalChannelParameters;
                if (!cap.OnSendingPDU(reverse.m_dataType))
                    continue;
                reverse.IncludeOptionalField(
                    H245_OpenLogicalChannel_reverseLogicalChannelParameters::e_multiplexParameters);
                channel->FillTransport(reverse.m_multiplexParameters.h2250LogicalChannelParameters(),
                                       TRUE);
            }
            asn1::OctetString encoded;
            if (!EncodeOLC(olc, encoded))
                continue;
            fastStart.push_back(encoded);
            fastStartChannels.push_back(std::move(channel));
        }
    }
}

void H323Connection::OnFastStartResponse(const asn1::Array<asn1::OctetString> &fastStart)
{
    if (fastStartState != FastStartInitiate)
        return;
    std::vector<std::unique_ptr<H323Channel>> accepted;
    for (const asn1::OctetString &data : fastStart) {
        H245_OpenLogicalChannel olc;
        if (!asn1::decode(data.data(), data.size(), olc)) {
            PTRACE(2, "H225\tundecodable fast start answer dropped");
            continue;
        }
        bool peerTransmits = olc.HasOptionalField(H245_OpenLogicalChannel::e_reverseLogicalChannelParameters);
        const H245_DataType &type = peerTransmits ? olc.m_reverseLogicalChannelParameters.m_dataType
                                                  : olc.m_forwardLogicalChannelParameters.m_dataType;
        H323Channel::Directions ours = peerTransmits ? H323Channel::IsReceiver : H323Channel::IsTransmitter;
        for (auto &proposal : fastStartChannels) {
            if (!proposal || proposal->GetDirection() != ours ||
                !proposal->GetCapability().IsMatch(type))
                continue;
            H323_RTPChannel *rtp = static_cast<H323_RTPChannel *>(proposal.get());
            proposal->GetCapability().OnReceivedPDU(type, ours == H323Channel::IsReceiver);
            if (peerTransmits) {
                if (olc.m_reverseLogicalChannelParameters.HasOptionalField(
                        H245_OpenLogicalChannel_reverseLogicalChannelParameters::e_multiplexParameters) &&
                    olc.m_reverseLogicalChannelParameters.m_multiplexParameters.GetTag() ==
                        H245_OpenLogicalChannel_reverseLogicalChannelParameters_multiplexParameters::
                            e_h2250LogicalChannelParameters)
                    rtp->ExtractTransport(olc.m_reverseLogicalChannelParameters.m_multiplexParameters
                                              .h2250LogicalChannelParameters());
                proposal->SetNumber({unsigned(olc.m_forwardLogicalChannelNumber), true});
            } else if (olc.m_forwardLogicalChannelParameters.m_multiplexParameters.GetTag() ==
                       H245_OpenLogicalChannel_forwardLogicalChannelParameters_multiplexParameters::
                           e_h2250LogicalChannelParameters) {
                rtp->ExtractTransport(olc.m_forwardLogicalChannelParameters.m_multiplexParameters
                                          .h2250LogicalChannelParameters());
            }
            accepted.push_back(std::move(proposal));
            break;
        }
    }
    fastStartChannels.clear();
    for (auto &channel : accepted) {
        if (channel->Open()) {
            fastStartChannels.push_back(std::move(channel));
            continue;
        }
        // The peer took it already: a transmit channel is closed once H.245 runs.
        PTRACE(2, "H323\tfast start channel " << channel->GetNumber().number
                                                << " cannot open its media");
        if (channel->GetDirection() == H323Channel::IsTransmitter)
            unopenedFastStartChannels.push_back(std::move(channel));
    }
    fastStartState = fastStartChannels.empty() ? FastStartDisabled : FastStartAcknowledged;
}

// ---- fast start: the called side's choice ----

void H323Connection::AcceptFastStartProposals(const asn1::Array<asn1::OctetString> &proposals)
{
    struct Offer {
        H245_OpenLogicalChannel olc;
        bool peerTransmits; // forward data type set: we receive
    };
    std::vector<Offer> offers;
    for (const asn1::OctetString &data : proposals) {
        Offer offer;
        if (!asn1::decode(data.data(), data.size(), offer.olc))
            continue;
        offer.peerTransmits = offer.olc.m_forwardLogicalChannelParameters.m_dataType.GetTag() !=
                              H245_DataType::e_nullData;
        if (!offer.peerTransmits &&
            !offer.olc.HasOptionalField(H245_OpenLogicalChannel::e_reverseLogicalChannelParameters))
            continue;
        offers.push_back(std::move(offer));
    }
    // For each session and direction, the first offer of our most preferred capability.
    std::vector<std::pair<unsigned, bool>> chosen; // session, weReceive
    for (PINDEX i = 0; i < localCapabilities.GetSize(); i++) {
        H323Capability &cap = localCapabilities[i];
        if (cap.GetMainType() != H323Capability::e_Audio &&
            cap.GetMainType() != H323Capability::e_Video)
            continue;
        unsigned sessionID = cap.GetDefaultSessionID();
        for (const Offer &offer : offers) {
            bool weReceive = offer.peerTransmits;
            H323Channel::Directions dir = weReceive ? H323Channel::IsReceiver : H323Channel::IsTransmitter;
            if (std::find(chosen.begin(), chosen.end(), std::make_pair(sessionID, weReceive)) != chosen.end())
                continue;
            if (cap.GetMainType() == H323Capability::e_Video && !WantsVideo(endpoint, dir))
                continue;
            const H245_DataType &type = weReceive ? offer.olc.m_forwardLogicalChannelParameters.m_dataType
                                                  : offer.olc.m_reverseLogicalChannelParameters.m_dataType;
            if (!cap.IsMatch(type))
                continue;
            RTP_UDP *rtp = UseSession(sessionID);
            if (rtp == nullptr)
                continue;
            std::unique_ptr<H323_RTPChannel> channel(new H323_RTPChannel(*this, cap, dir, *rtp));
            if (!channel->GetCapability().OnReceivedPDU(type, weReceive))
                continue;
            H245_OpenLogicalChannel answer = offer.olc;
            if (weReceive) {
                auto &mux = answer.m_forwardLogicalChannelParameters.m_multiplexParameters;
                if (mux.GetTag() != H245_OpenLogicalChannel_forwardLogicalChannelParameters_multiplexParameters::
                                        e_h2250LogicalChannelParameters)
                    continue;
                channel->ExtractTransport(mux.h2250LogicalChannelParameters());
                channel->FillTransport(mux.h2250LogicalChannelParameters(), TRUE);
                channel->SetNumber({unsigned(offer.olc.m_forwardLogicalChannelNumber), true});
            } else {
                auto &reverse = answer.m_reverseLogicalChannelParameters;
                if (!reverse.HasOptionalField(
                        H245_OpenLogicalChannel_reverseLogicalChannelParameters::e_multiplexParameters) ||
                    reverse.m_multiplexParameters.GetTag() !=
                        H245_OpenLogicalChannel_reverseLogicalChannelParameters_multiplexParameters::
                            e_h2250LogicalChannelParameters)
                    continue;
                channel->ExtractTransport(reverse.m_multiplexParameters.h2250LogicalChannelParameters());
                channel->FillTransport(reverse.m_multiplexParameters.h2250LogicalChannelParameters(), FALSE);
                channel->SetNumber({unsigned(offer.olc.m_forwardLogicalChannelNumber), false});
            }
            if (!channel->Open())
                continue;
            asn1::OctetString encoded;
            if (!EncodeOLC(answer, encoded))
                continue;
            fastStartResponse.push_back(encoded);
            fastStartChannels.push_back(std::move(channel));
            chosen.emplace_back(sessionID, weReceive);
        }
    }
    fastStartState = fastStartChannels.empty() ? FastStartDisabled : FastStartAcknowledged;
}

void H323Connection::StartFastStartChannels()
{
    if (fastStartState != FastStartAcknowledged)
        return;
    for (auto &channel : fastStartChannels)
        StartChannel(*channel);
}

// ---- H.245 channels ----

void H323Connection::OnReceivedCapabilitySet(const H323Capabilities &remote)
{
    remoteCapabilities = remote;
}

void H323Connection::OnControlProtocolReady()
{
    for (const auto &channel : unopenedFastStartChannels)
        control->CloseChannel(*channel);
    unopenedFastStartChannels.clear();
    if (fastStartState == FastStartAcknowledged || channelsOpened || releaseStarted)
        return;
    OpenLogicalChannels();
}

BOOL H323Connection::OpenTransmitChannel(const H323Capability &capability)
{
    unsigned sessionID = capability.GetDefaultSessionID();
    RTP_UDP *rtp = UseSession(sessionID);
    if (rtp == nullptr)
        return FALSE;
    std::unique_ptr<H323_RTPChannel> channel(
        new H323_RTPChannel(*this, capability, H323Channel::IsTransmitter, *rtp));
    if (!channel->Open())
        return FALSE;
    H323Channel *raw = channel.get();
    logicalChannels.push_back(std::move(channel));
    if (!control->OpenChannel(*raw)) {
        RemoveChannel(raw);
        return FALSE;
    }
    return TRUE;
}

void H323Connection::OpenLogicalChannels()
{
    channelsOpened = true;
    const H323Capability *audio = nullptr;
    for (PINDEX i = 0; i < localCapabilities.GetSize() && audio == nullptr; i++) {
        H323Capability &cap = localCapabilities[i];
        if (cap.GetMainType() != H323Capability::e_Audio)
            continue;
        if (H323Capability *remote = remoteCapabilities.FindCapability(cap))
            if (OpenTransmitChannel(*remote))
                audio = remote;
    }
    if (!endpoint.CanAutoStartTransmitVideo())
        return;
    for (PINDEX i = 0; i < localCapabilities.GetSize(); i++) {
        H323Capability &cap = localCapabilities[i];
        if (cap.GetMainType() != H323Capability::e_Video)
            continue;
        // Every remote entry of the kind: the first whose formats meet ours is sent.
        bool opened = false;
        for (PINDEX r = 0; r < remoteCapabilities.GetSize() && !opened; r++) {
            H323VideoCapability *remote = dynamic_cast<H323VideoCapability *>(&remoteCapabilities[r]);
            if (remote == nullptr || remote->Compare(cap) != PObject::EqualTo)
                continue;
            if (audio != nullptr && !remoteCapabilities.IsAllowed(*audio, *remote))
                continue;
            std::unique_ptr<H323Capability> tx(
                static_cast<H323VideoCapability &>(cap).CreateTransmitCapability(*remote));
            opened = tx != nullptr && OpenTransmitChannel(*tx);
        }
        if (opened)
            break;
    }
}

H323Channel *H323Connection::OnOpenLogicalChannelRequest(const H245_OpenLogicalChannel &olc,
                                                         unsigned &errorCode)
{
    const H245_DataType &type = olc.m_forwardLogicalChannelParameters.m_dataType;
    H323Capability *cap = localCapabilities.FindCapability(type);
    if (cap == nullptr) {
        errorCode = H245_OpenLogicalChannelReject_cause::e_dataTypeNotSupported;
        return nullptr;
    }
    if (cap->GetMainType() == H323Capability::e_Video && !endpoint.CanAutoStartReceiveVideo()) {
        errorCode = H245_OpenLogicalChannelReject_cause::e_dataTypeNotAvailable;
        return nullptr;
    }
    unsigned sessionID = cap->GetDefaultSessionID();
    const auto &mux = olc.m_forwardLogicalChannelParameters.m_multiplexParameters;
    if (mux.GetTag() == H245_OpenLogicalChannel_forwardLogicalChannelParameters_multiplexParameters::
                            e_h2250LogicalChannelParameters) {
        unsigned requested = unsigned(mux.h2250LogicalChannelParameters().m_sessionID.GetValue());
        if (requested != 0)
            sessionID = requested;
    }
    RTP_UDP *rtp = UseSession(sessionID);
    if (rtp == nullptr) {
        errorCode = H245_OpenLogicalChannelReject_cause::e_insufficientBandwidth;
        return nullptr;
    }
    std::unique_ptr<H323_RTPChannel> channel(
        new H323_RTPChannel(*this, *cap, H323Channel::IsReceiver, *rtp));
    channel->SetNumber({unsigned(olc.m_forwardLogicalChannelNumber), true});
    if (!channel->OnReceivedPDU(olc, errorCode))
        return nullptr;
    if (!channel->Open()) {
        errorCode = H245_OpenLogicalChannelReject_cause::e_dataTypeNotAvailable;
        return nullptr;
    }
    H323Channel *raw = channel.get();
    logicalChannels.push_back(std::move(channel));
    return raw;
}

void H323Connection::StartChannel(H323Channel &channel)
{
    if (releaseStarted)
        return;
    if (!channel.Start()) {
        PTRACE(2, "H323\tchannel " << channel.GetNumber().number << " did not start");
        return;
    }
    InternalEstablishedCheck();
}

void H323Connection::RemoveChannel(H323Channel *channel)
{
    for (auto *list : {&logicalChannels, &fastStartChannels})
        for (auto it = list->begin(); it != list->end(); ++it)
            if (it->get() == channel) {
                std::unique_ptr<H323Channel> doomed = std::move(*it);
                list->erase(it);
                control->OnChannelRemoved(channel);
                doomed->Close();
                return;
            }
}

void H323Connection::CloseLogicalChannel(unsigned number, BOOL fromRemote)
{
    RemoveChannel(FindChannelByNumber(number, fromRemote));
}

void H323Connection::OnFastUpdateRequest(unsigned)
{
    H323Channel *video = FindChannel(OpalMediaFormat::DefaultVideoSessionID, FALSE);
    if (video != nullptr)
        if (H323VideoCodec *codec = dynamic_cast<H323VideoCodec *>(video->GetCodec()))
            codec->OnFastUpdatePicture();
}

void H323Connection::InternalEstablishedCheck()
{
    if (phase != ConnectedPhase || releaseStarted)
        return;
    bool media = false;
    for (const auto &c : fastStartChannels)
        media = media || c->IsRunning();
    for (const auto &c : logicalChannels)
        media = media || c->IsRunning();
    if (!media)
        return;
    phase = EstablishedPhase;
    noMediaTimer.Stop();
    OnEstablished();
}

void H323Connection::StopTransmitting()
{
    // Receivers play on until the channels close: what the jitter buffer holds is the
    // peer's last words.
    PWaitAndSignal lock(innerMutex);
    for (auto *list : {&fastStartChannels, &logicalChannels})
        for (auto &c : *list)
            if (c->GetDirection() == H323Channel::IsTransmitter)
                c->StopMedia();
}

void H323Connection::CloseAllLogicalChannels()
{
    {
        // No handler opens, starts or closes a channel from now on.
        PWaitAndSignal lock(innerMutex);
        mediaClosed = true;
    }
    // Closing the sessions first ends every media thread's socket wait at once.
    for (auto &[id, session] : rtpSessions)
        session->Close(FALSE);
    for (auto &c : fastStartChannels)
        c->Close();
    for (auto &c : logicalChannels)
        c->Close();
    fastStartChannels.clear();
    logicalChannels.clear();
}
