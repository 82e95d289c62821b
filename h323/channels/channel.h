// H323Channel and H323_RTPChannel: logical channels and their media threads.
#pragma once

#include <h323/caps/capability.h>

#include <pwlib/pthread.h>

#include <atomic>
#include <memory>

class H245_OpenLogicalChannel;
class H245_OpenLogicalChannelAck;
class H245_H2250LogicalChannelParameters;
class H323AudioLoop;
class H323Connection;
class RTP_DataFrame;
class RTP_UDP;

/// A logical channel number with its direction of opening.
struct H323ChannelNumber {
    unsigned number = 0;
    bool fromRemote = false;
    bool operator==(const H323ChannelNumber &) const = default;
};

/// A unidirectional logical channel of a call, with its codec.
class H323Channel : public PObject
{
    PCLASSINFO(H323Channel, PObject)
  public:
    enum Directions { IsBidirectional, IsTransmitter, IsReceiver, NumDirections };

    /// capability is copied.
    H323Channel(H323Connection &connection, const H323Capability &capability);
    ~H323Channel() override;

    virtual Directions GetDirection() const = 0;
    virtual unsigned GetSessionID() const = 0;
    /// Makes and opens the codec (and with it the device). FALSE when that fails.
    virtual BOOL Open();
    /// Starts the media thread (after OnStartLogicalChannel agreed).
    virtual BOOL Start() = 0;
    /// Stops the media thread and closes the codec; the connection is told once.
    virtual void Close();
    /// Stops the media at once, without waiting for the thread: a transmitter sends nothing
    /// more, a receiver plays nothing more. Close still ends the thread and the codec.
    void StopMedia() { running = false; }
    BOOL IsOpen() const { return opened; }
    BOOL IsRunning() const { return running; }

    /// Fills an OpenLogicalChannel for this channel (we open it, or a fast start offer).
    virtual BOOL OnSendingPDU(H245_OpenLogicalChannel &open) const = 0;
    /// Fills our ack of an OpenLogicalChannel the peer sent.
    virtual void OnSendOpenAck(H245_OpenLogicalChannelAck &ack) const = 0;
    /// Takes the parameters of the peer's OpenLogicalChannel; errorCode is the
    /// OpenLogicalChannelReject cause when FALSE.
    virtual BOOL OnReceivedPDU(const H245_OpenLogicalChannel &open, unsigned &errorCode) = 0;
    /// Takes the peer's ack of our OpenLogicalChannel (its media address).
    virtual BOOL OnReceivedAckPDU(const H245_OpenLogicalChannelAck &ack) = 0;

    const H323ChannelNumber &GetNumber() const { return number; }
    void SetNumber(const H323ChannelNumber &n) { number = n; }
    H323Capability &GetCapability() const { return *capability; }
    H323Codec *GetCodec() const { return codec.get(); }
    H323Connection &GetConnection() const { return connection; }

  protected:
    H323Connection &connection;
    std::unique_ptr<H323Capability> capability;
    std::unique_ptr<H323Codec> codec;
    H323ChannelNumber number;
    std::atomic<bool> opened{false};
    std::atomic<bool> running{false};
    std::atomic<bool> closed{false};
};

/// An RTP channel: audio is sent (codec Read -> RTP) and played (RTP through the jitter buffer
/// -> codec Write) by the one media thread of its session (H323AudioLoop); video has a
/// transmit or a receive thread of its own.
class H323_RTPChannel : public H323Channel
{
    PCLASSINFO(H323_RTPChannel, H323Channel)
  public:
    H323_RTPChannel(H323Connection &connection, const H323Capability &capability,
                    Directions direction, RTP_UDP &session);
    ~H323_RTPChannel() override;

    Directions GetDirection() const override { return direction; }
    unsigned GetSessionID() const override;
    BOOL Open() override;
    BOOL Start() override;
    void Close() override;

    BOOL OnSendingPDU(H245_OpenLogicalChannel &open) const override;
    void OnSendOpenAck(H245_OpenLogicalChannelAck &ack) const override;
    BOOL OnReceivedPDU(const H245_OpenLogicalChannel &open, unsigned &errorCode) override;
    BOOL OnReceivedAckPDU(const H245_OpenLogicalChannelAck &ack) override;

    /// Reads the remote media addresses of H.225.0 logical channel parameters.
    BOOL ExtractTransport(const H245_H2250LogicalChannelParameters &param);
    /// Fills our media addresses into H.225.0 logical channel parameters; withMedia adds
    /// the RTP address (the receiver's side), the RTCP address always.
    void FillTransport(H245_H2250LogicalChannelParameters &param, BOOL withMedia) const;

    RTP_UDP &GetSession() const { return session; }
    unsigned GetRtpPayloadType() const { return payloadType; }
    void SetDynamicPayloadType(unsigned type) { payloadType = type; }

    /// Audio: reads one packet's worth from the codec (as fast as the device gives it) and
    /// sends it; false when the media has ended.
    bool TransmitAudioPacket();
    /// Audio: plays the frames due by playBy at once, and waits for the next one at most until
    /// giveUpAt (ms of PTimer::Tick()); returns once past both, even with due frames left
    /// (playing may block); false when the media has ended.
    bool ReceiveAudioDue(PInt64 playBy, PInt64 giveUpAt);
    /// Milliseconds of audio in one packet sent.
    unsigned GetPacketTime() const;

  private:
    class MediaThread;
    struct AudioTransmit;
    bool IsAudio() const;
    void Transmit();
    void Receive();
    /// Writes a received frame to the codec; false when the codec failed.
    bool Play(RTP_DataFrame &frame);

    Directions direction;
    RTP_UDP &session;
    unsigned payloadType;
    MediaThread *thread = nullptr;
    std::shared_ptr<H323AudioLoop> audioLoop; // while the channel is served by it
    std::unique_ptr<AudioTransmit> audioTransmit;
    std::unique_ptr<RTP_DataFrame> audioFrame;
};
