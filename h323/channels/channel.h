// H323Channel and H323_RTPChannel: logical channels and their media threads.
#pragma once

#include <h323/caps/capability.h>

#include <pwlib/pthread.h>

#include <atomic>
#include <memory>

class H245_OpenLogicalChannel;
class H245_OpenLogicalChannelAck;
class H245_H2250LogicalChannelParameters;
class H323Connection;
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

/// An RTP channel: a transmit thread (codec Read -> RTP) or a receive thread (RTP, through
/// the jitter buffer for audio -> codec Write).
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

  private:
    class MediaThread;
    void Transmit();
    void Receive();

    Directions direction;
    RTP_UDP &session;
    unsigned payloadType;
    MediaThread *thread = nullptr;
};
