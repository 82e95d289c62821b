// H323Channel and H323_RTPChannel: channel opening and the transmit and receive loops.
#include <h323/channels/channel.h>

#include <h323/asn1/gen/h245.h>
#include <h323/channels/audio_loop.h>
#include <h323/callsig/connection.h>
#include <h323/endpoint/endpoint.h>
#include <h323/rtp/rtp_session.h>
#include <h323/transports/transport_address.h>

#include <pwlib/ptimer.h>
#include <pwlib/ptrace.h>

#include <algorithm>
#include <random>

// ---- H323Channel ----

H323Channel::H323Channel(H323Connection &c, const H323Capability &cap)
    : connection(c), capability(static_cast<H323Capability *>(cap.Clone()))
{
}

H323Channel::~H323Channel() = default;

BOOL H323Channel::Open()
{
    if (opened)
        return TRUE;
    codec.reset(capability->CreateCodec(GetDirection() == IsReceiver ? H323Codec::Decoder
                                                                       : H323Codec::Encoder));
    if (!codec) {
        PTRACE(2, "H323\tno codec for " << capability->GetFormatName());
        return FALSE;
    }
    codec->AttachLogicalChannel(this);
    if (H323AudioCodec *audio = dynamic_cast<H323AudioCodec *>(codec.get())) {
        if (GetDirection() == IsTransmitter) {
            H323AudioCapability *ac = dynamic_cast<H323AudioCapability *>(capability.get());
            unsigned frames = ac != nullptr ? ac->GetTxFramesInPacket() : 1;
            audio->SetFramesPerRead(frames);
            audio->SetSilenceDetectionMode(connection.GetEndPoint().GetSilenceDetectionMode());
        }
    }
    if (!codec->Open(connection)) {
        PTRACE(2, "H323\tcannot open the media of " << capability->GetFormatName());
        codec.reset();
        return FALSE;
    }
    opened = true;
    return TRUE;
}

void H323Channel::Close()
{
    if (closed.exchange(true))
        return;
    if (codec)
        codec->Close();
    running = false;
}

// ---- H323_RTPChannel ----

class H323_RTPChannel::MediaThread : public PThread
{
    PCLASSINFO(MediaThread, PThread)
  public:
    MediaThread(H323_RTPChannel &c, bool tx)
        : PThread(30000, NoAutoDeleteThread, HighestPriority,
                  tx ? "Media Tx:%0x" : "Media Rx:%0x"),
          channel(c), transmit(tx)
    {
    }
    void Main() override
    {
        if (transmit)
            channel.Transmit();
        else
            channel.Receive();
    }

  private:
    H323_RTPChannel &channel;
    bool transmit;
};

H323_RTPChannel::H323_RTPChannel(H323Connection &c, const H323Capability &cap, Directions dir,
                                 RTP_UDP &s)
    : H323Channel(c, cap), direction(dir), session(s),
      payloadType(cap.GetMediaFormat().GetPayloadType())
{
}

H323_RTPChannel::~H323_RTPChannel()
{
    Close();
    if (thread != nullptr) {
        thread->WaitForTermination();
        delete thread;
    }
}

unsigned H323_RTPChannel::GetSessionID() const
{
    return session.GetSessionID();
}

BOOL H323_RTPChannel::Open()
{
    if (!H323Channel::Open())
        return FALSE;
    if (direction == IsReceiver && capability->GetMediaFormat().NeedsJitterBuffer()) {
        H323EndPoint &ep = connection.GetEndPoint();
        unsigned units = capability->GetMediaFormat().GetTimeUnits();
        if (units == 0)
            units = 8;
        session.SetJitterBufferSize(ep.GetMinAudioJitterDelay() * units,
                                    ep.GetMaxAudioJitterDelay() * units, units);
    }
    return TRUE;
}

BOOL H323_RTPChannel::Start()
{
    if (!opened && !Open())
        return FALSE;
    if (thread != nullptr)
        return TRUE;
    if (!connection.OnStartLogicalChannel(*this)) {
        Close();
        return FALSE;
    }
    running = true;
    if (IsAudio()) {
        if (direction == IsReceiver) {
            session.SetReceivePayloadType(payloadType);
            audioFrame = std::make_unique<RTP_DataFrame>(RTP_DataFrame::MaxPacketSize);
        } else {
            audioTransmit = std::make_unique<AudioTransmit>(*this);
        }
        audioLoop = H323AudioLoop::Of(session);
        audioLoop->Attach(*this);
        return TRUE;
    }
    thread = new MediaThread(*this, direction == IsTransmitter);
    thread->Resume();
    return TRUE;
}

void H323_RTPChannel::Close()
{
    if (closed)
        return;
    H323Channel::Close();
    if (direction == IsReceiver && (thread != nullptr || audioLoop))
        session.Close(TRUE);
    if (audioLoop)
        audioLoop->Detach(*this);
    if (thread != nullptr && PThread::Current() != thread) {
        thread->WaitForTermination();
    }
    if (opened)
        connection.OnClosedLogicalChannel(*this);
}

bool H323_RTPChannel::IsAudio() const
{
    return dynamic_cast<H323AudioCodec *>(codec.get()) != nullptr;
}

void H323_RTPChannel::Transmit()
{
    // Video: the codec gives one packet at a time and sets marker and timestamp.
    RTP_DataFrame frame(RTP_DataFrame::MaxPacketSize);
    frame.SetPayloadType(payloadType);
    while (running) {
        unsigned length = 0;
        frame.SetPayloadSize(H323VideoCodec::MaxPayloadSize);
        if (!codec->Read(frame.GetPayloadPtr(), length, frame))
            break;
        if (length == 0)
            continue;
        if (!running)
            break; // stopped while the codec read
        frame.SetPayloadSize(PINDEX(length));
        if (!session.WriteData(frame))
            break;
    }
    PTRACE(4, "H323\ttransmit of session " << GetSessionID() << " ended");
}

/// What the audio transmitter keeps from one packet to the next.
struct H323_RTPChannel::AudioTransmit {
    explicit AudioTransmit(H323_RTPChannel &channel)
        : frame(RTP_DataFrame::MaxPacketSize), timestamp(std::random_device{}()),
          payload(RTP_DataFrame::MaxPacketSize)
    {
        H323AudioCapability *ac = dynamic_cast<H323AudioCapability *>(channel.capability.get());
        framesInPacket = ac != nullptr ? ac->GetTxFramesInPacket() : 1;
        if (framesInPacket == 0)
            framesInPacket = 1;
        frameTime = channel.codec->GetFrameRate();
        frame.SetPayloadType(channel.payloadType);
    }
    RTP_DataFrame frame;
    DWORD timestamp;
    BOOL marker = TRUE;
    std::vector<BYTE> payload;
    unsigned framesInPacket = 1;
    unsigned frameTime = 0; // timestamp units of one frame
};

unsigned H323_RTPChannel::GetPacketTime() const
{
    if (!audioTransmit)
        return 0;
    unsigned units = capability->GetMediaFormat().GetTimeUnits();
    return audioTransmit->framesInPacket * audioTransmit->frameTime / (units ? units : 8);
}

bool H323_RTPChannel::TransmitAudioPacket()
{
    if (!running || !audioTransmit)
        return false;
    AudioTransmit &t = *audioTransmit;
    unsigned used = 0;
    unsigned frames = 0;
    DWORD packetTimestamp = t.timestamp;
    bool ok = true;
    while (frames < t.framesInPacket) {
        unsigned length = 0;
        if (!codec->Read(t.payload.data() + used, length, t.frame)) {
            ok = false;
            break;
        }
        t.timestamp += t.frameTime;
        if (length == 0) { // silent frame: send what we have, mark the next spurt
            if (used > 0)
                break;
            packetTimestamp = t.timestamp;
            t.marker = TRUE;
            continue;
        }
        used += length;
        frames++;
        if (used + length > t.payload.size())
            break;
    }
    if (!running)
        return false; // stopped while the codec read: nothing more goes out
    if (used > 0) {
        t.frame.SetPayloadSize(PINDEX(used));
        std::copy(t.payload.begin(), t.payload.begin() + used, t.frame.GetPayloadPtr());
        t.frame.SetTimestamp(packetTimestamp);
        t.frame.SetMarker(t.marker);
        t.marker = FALSE;
        if (!session.WriteData(t.frame))
            ok = false;
    }
    if (!ok)
        PTRACE(4, "H323\ttransmit of session " << GetSessionID() << " ended");
    return ok;
}

bool H323_RTPChannel::Play(RTP_DataFrame &frame)
{
    const BYTE *p = frame.GetPayloadPtr();
    unsigned left = unsigned(frame.GetPayloadSize());
    if (left == 0) {
        unsigned written = 0;
        return codec->Write(p, 0, frame, written);
    }
    while (left > 0) {
        unsigned written = 0;
        if (!codec->Write(p, left, frame, written))
            return false;
        if (written == 0 || written > left)
            break; // the codec took the rest (or cannot go on)
        p += written;
        left -= written;
    }
    return true;
}

bool H323_RTPChannel::ReceiveAudioDue(PInt64 playBy, PInt64 giveUpAt)
{
    // Frames that are due play at once, but the step ends with its time even while playing
    // blocks (a full sound device after a stall): the rest play in the next steps, and the
    // thread's transmitter keeps its pace in between.
    const PInt64 stepEnd = std::max(playBy, giveUpAt);
    while (running && audioFrame) {
        int got = session.ReadBufferedDataWithin(*audioFrame, playBy, giveUpAt);
        if (got == 0)
            return true;
        if (got < 0 || !running || !Play(*audioFrame))
            break;
        if (PTimer::Tick().GetMilliSeconds() > stepEnd)
            return true;
    }
    PTRACE(4, "H323\treceive of session " << GetSessionID() << " ended");
    return false;
}

void H323_RTPChannel::Receive()
{
    // Video: every packet as it comes.
    session.SetReceivePayloadType(payloadType);
    RTP_DataFrame frame(RTP_DataFrame::MaxPacketSize);
    while (running) {
        if (!session.ReadData(frame) || !running || !Play(frame))
            break;
    }
    PTRACE(4, "H323\treceive of session " << GetSessionID() << " ended");
}

// ---- H.245 parameters ----

void H323_RTPChannel::FillTransport(H245_H2250LogicalChannelParameters &param, BOOL withMedia) const
{
    param.m_sessionID = GetSessionID();
    PIPSocket::Address local = session.GetLocalAddress();
    if (withMedia) {
        param.IncludeOptionalField(H245_H2250LogicalChannelParameters::e_mediaChannel);
        H323TransportAddress(local, session.GetLocalDataPort()).SetPDU(param.m_mediaChannel);
    }
    param.IncludeOptionalField(H245_H2250LogicalChannelParameters::e_mediaControlChannel);
    H323TransportAddress(local, session.GetLocalControlPort()).SetPDU(param.m_mediaControlChannel);
    if (capability->GetMainType() == H323Capability::e_Audio) {
        param.IncludeOptionalField(H245_H2250LogicalChannelParameters::e_silenceSuppression);
        param.m_silenceSuppression =
            connection.GetEndPoint().GetSilenceDetectionMode() != H323AudioCodec::NoSilenceDetection;
    }
    if (payloadType >= RTP_DataFrame::DynamicBase && payloadType <= RTP_DataFrame::MaxPayloadType) {
        param.IncludeOptionalField(H245_H2250LogicalChannelParameters::e_dynamicRTPPayloadType);
        param.m_dynamicRTPPayloadType = payloadType;
    }
}

BOOL H323_RTPChannel::ExtractTransport(const H245_H2250LogicalChannelParameters &param)
{
    BOOL any = FALSE;
    PIPSocket::Address ip;
    WORD port;
    if (param.HasOptionalField(H245_H2250LogicalChannelParameters::e_mediaControlChannel) &&
        H323TransportAddress(param.m_mediaControlChannel).GetIpAndPort(ip, port, 0) && port != 0)
        any = session.SetRemoteSocketInfo(ip, port, FALSE) || any;
    if (param.HasOptionalField(H245_H2250LogicalChannelParameters::e_mediaChannel) &&
        H323TransportAddress(param.m_mediaChannel).GetIpAndPort(ip, port, 0) && port != 0)
        any = session.SetRemoteSocketInfo(ip, port, TRUE) || any;
    if (param.HasOptionalField(H245_H2250LogicalChannelParameters::e_dynamicRTPPayloadType))
        payloadType = unsigned(param.m_dynamicRTPPayloadType.GetValue());
    return any;
}

BOOL H323_RTPChannel::OnSendingPDU(H245_OpenLogicalChannel &open) const
{
    open.m_forwardLogicalChannelNumber = number.number;
    if (!capability->OnSendingPDU(open.m_forwardLogicalChannelParameters.m_dataType))
        return FALSE;
    FillTransport(open.m_forwardLogicalChannelParameters.m_multiplexParameters
                      .h2250LogicalChannelParameters(),
                  FALSE);
    return TRUE;
}

void H323_RTPChannel::OnSendOpenAck(H245_OpenLogicalChannelAck &ack) const
{
    ack.m_forwardLogicalChannelNumber = number.number;
    ack.IncludeOptionalField(H245_OpenLogicalChannelAck::e_forwardMultiplexAckParameters);
    H245_H2250LogicalChannelAckParameters &param =
        ack.m_forwardMultiplexAckParameters.h2250LogicalChannelAckParameters();
    PIPSocket::Address local = session.GetLocalAddress();
    param.IncludeOptionalField(H245_H2250LogicalChannelAckParameters::e_sessionID);
    param.m_sessionID = GetSessionID();
    param.IncludeOptionalField(H245_H2250LogicalChannelAckParameters::e_mediaChannel);
    H323TransportAddress(local, session.GetLocalDataPort()).SetPDU(param.m_mediaChannel);
    param.IncludeOptionalField(H245_H2250LogicalChannelAckParameters::e_mediaControlChannel);
    H323TransportAddress(local, session.GetLocalControlPort()).SetPDU(param.m_mediaControlChannel);
    if (payloadType >= RTP_DataFrame::DynamicBase && payloadType <= RTP_DataFrame::MaxPayloadType) {
        param.IncludeOptionalField(H245_H2250LogicalChannelAckParameters::e_dynamicRTPPayloadType);
        param.m_dynamicRTPPayloadType = payloadType;
    }
}

BOOL H323_RTPChannel::OnReceivedPDU(const H245_OpenLogicalChannel &open, unsigned &errorCode)
{
    const auto &forward = open.m_forwardLogicalChannelParameters;
    if (forward.m_multiplexParameters.GetTag() !=
        H245_OpenLogicalChannel_forwardLogicalChannelParameters_multiplexParameters::
            e_h2250LogicalChannelParameters) {
        errorCode = H245_OpenLogicalChannelReject_cause::e_unsuitableReverseParameters;
        return FALSE;
    }
    if (!capability->OnReceivedPDU(forward.m_dataType, direction == IsReceiver)) {
        errorCode = H245_OpenLogicalChannelReject_cause::e_dataTypeNotSupported;
        return FALSE;
    }
    ExtractTransport(forward.m_multiplexParameters.h2250LogicalChannelParameters());
    return TRUE;
}

BOOL H323_RTPChannel::OnReceivedAckPDU(const H245_OpenLogicalChannelAck &ack)
{
    if (!ack.HasOptionalField(H245_OpenLogicalChannelAck::e_forwardMultiplexAckParameters) ||
        ack.m_forwardMultiplexAckParameters.GetTag() !=
            H245_OpenLogicalChannelAck_forwardMultiplexAckParameters::e_h2250LogicalChannelAckParameters)
        return FALSE;
    const H245_H2250LogicalChannelAckParameters &param =
        ack.m_forwardMultiplexAckParameters.h2250LogicalChannelAckParameters();
    PIPSocket::Address ip;
    WORD port;
    BOOL ok = FALSE;
    if (param.HasOptionalField(H245_H2250LogicalChannelAckParameters::e_mediaControlChannel) &&
        H323TransportAddress(param.m_mediaControlChannel).GetIpAndPort(ip, port, 0) && port != 0)
        session.SetRemoteSocketInfo(ip, port, FALSE);
    if (param.HasOptionalField(H245_H2250LogicalChannelAckParameters::e_mediaChannel) &&
        H323TransportAddress(param.m_mediaChannel).GetIpAndPort(ip, port, 0) && port != 0)
        ok = session.SetRemoteSocketInfo(ip, port, TRUE);
    if (param.HasOptionalField(H245_H2250LogicalChannelAckParameters::e_dynamicRTPPayloadType))
        payloadType = unsigned(param.m_dynamicRTPPayloadType.GetValue());
    return ok;
}

// ---- the capability side ----

H323Channel *H323RealTimeCapability::CreateChannel(H323Connection &connection, int direction,
                                                   unsigned sessionID) const
{
    RTP_UDP *session = connection.UseSession(sessionID != 0 ? sessionID : GetDefaultSessionID());
    if (session == nullptr)
        return nullptr;
    return new H323_RTPChannel(connection, *this, H323Channel::Directions(direction), *session);
}
