// H323Capability and its families: what a call can send and receive, as H.245 describes it.
#pragma once

#include <h323/caps/media_format.h>
#include <h323/codecs/codec.h>

#include <pwlib/pobject.h>
#include <pwlib/pstring.h>
#include <pwlib/pstringarray.h>

class H245_AudioCapability;
class H245_Capability;
class H245_DataType;
class H245_H2250LogicalChannelParameters;
class H245_UserInputCapability;
class H245_VideoCapability;
class H323Channel;
class H323Connection;
class H323EndPoint;

/// One capability: an entry of a TerminalCapabilitySet and the data type of a logical
/// channel. Capabilities are compared by main type and subtype; Clone gives the copy that a
/// call's capability sets hold.
class H323Capability : public PObject
{
    PCLASSINFO(H323Capability, PObject)
  public:
    enum MainTypes { e_Audio, e_Video, e_Data, e_UserInput, e_NumMainTypes };
    enum CapabilityDirection {
        e_Unknown,
        e_Receive,
        e_Transmit,
        e_ReceiveAndTransmit,
        e_NoDirection,
        NumCapabilityDirections
    };

    H323Capability();

    /// Orders by main type, then subtype (EqualTo: the same kind of capability).
    Comparison Compare(const PObject &obj) const override;

    virtual MainTypes GetMainType() const = 0;
    /// The alternative index within the main type's H.245 choice (g7231 = 8, gsmFullRate =
    /// 17, h261VideoCapability = 1, ...).
    virtual unsigned GetSubType() const = 0;
    /// The registered name ("GSM-06.10{sw}").
    virtual PString GetFormatName() const = 0;
    /// The media format the codec of this capability uses.
    virtual OpalMediaFormat GetMediaFormat() const;
    /// The RTP session of channels of this capability (1 audio, 2 video).
    virtual unsigned GetDefaultSessionID() const;
    /// A codec of this capability for one direction; nullptr when it cannot be made.
    virtual H323Codec *CreateCodec(H323Codec::Direction direction) const = 0;
    /// A logical channel of this capability (nullptr when it has no media of its own).
    virtual H323Channel *CreateChannel(H323Connection &connection, int direction,
                                       unsigned sessionID) const;

    /// Fills a capability table entry (the receive capability by default).
    virtual BOOL OnSendingPDU(H245_Capability &pdu) const = 0;
    /// Fills the data type of a logical channel we open.
    virtual BOOL OnSendingPDU(H245_DataType &pdu) const = 0;
    /// Takes the values of a received capability table entry; FALSE when it is not this
    /// capability.
    virtual BOOL OnReceivedPDU(const H245_Capability &pdu);
    /// Takes the values of a logical channel's data type; receiver is TRUE when we
    /// receive on the channel. FALSE when it is not this capability.
    virtual BOOL OnReceivedPDU(const H245_DataType &pdu, BOOL receiver);
    /// TRUE when the PDU describes this kind of capability (main type and subtype).
    virtual BOOL IsMatch(const H245_Capability &pdu) const;
    virtual BOOL IsMatch(const H245_DataType &pdu) const;

    unsigned GetCapabilityNumber() const { return assignedCapabilityNumber; }
    void SetCapabilityNumber(unsigned num) { assignedCapabilityNumber = num; }
    CapabilityDirection GetCapabilityDirection() const { return capabilityDirection; }
    void SetCapabilityDirection(CapabilityDirection dir) { capabilityDirection = dir; }

    /// Makes a registered capability by format name; nullptr when none has that name.
    static H323Capability *Create(const PString &name);

  protected:
    unsigned assignedCapabilityNumber = 0;
    CapabilityDirection capabilityDirection = e_Unknown;
};

/// A capability whose channels carry RTP.
class H323RealTimeCapability : public H323Capability
{
    PCLASSINFO(H323RealTimeCapability, H323Capability)
  public:
    H323Channel *CreateChannel(H323Connection &connection, int direction,
                               unsigned sessionID) const override;
};

/// An audio capability. The packet size of the H.245 PDUs is counted in frames: the
/// receive frames for a capability table entry, the transmit frames for a channel.
class H323AudioCapability : public H323RealTimeCapability
{
    PCLASSINFO(H323AudioCapability, H323RealTimeCapability)
  public:
    H323AudioCapability(unsigned rxPacketSize, unsigned txPacketSize);

    MainTypes GetMainType() const override { return e_Audio; }
    unsigned GetDefaultSessionID() const override { return OpalMediaFormat::DefaultAudioSessionID; }

    virtual void SetTxFramesInPacket(unsigned frames);
    virtual unsigned GetTxFramesInPacket() const { return txFramesInPacket; }
    virtual unsigned GetRxFramesInPacket() const { return rxFramesInPacket; }

    BOOL OnSendingPDU(H245_Capability &pdu) const override;
    BOOL OnSendingPDU(H245_DataType &pdu) const override;
    /// Fills the audio capability with packetSize frames.
    virtual BOOL OnSendingPDU(H245_AudioCapability &pdu, unsigned packetSize) const;
    BOOL OnReceivedPDU(const H245_Capability &pdu) override;
    BOOL OnReceivedPDU(const H245_DataType &pdu, BOOL receiver) override;
    /// Reads the packet size of a received audio capability; FALSE when it is not this one.
    virtual BOOL OnReceivedPDU(const H245_AudioCapability &pdu, unsigned &packetSize);
    BOOL IsMatch(const H245_Capability &pdu) const override;
    BOOL IsMatch(const H245_DataType &pdu) const override;

  protected:
    unsigned rxFramesInPacket;
    unsigned txFramesInPacket;
};

/// A video capability.
class H323VideoCapability : public H323RealTimeCapability
{
    PCLASSINFO(H323VideoCapability, H323RealTimeCapability)
  public:
    MainTypes GetMainType() const override { return e_Video; }
    unsigned GetDefaultSessionID() const override { return OpalMediaFormat::DefaultVideoSessionID; }

    BOOL OnSendingPDU(H245_Capability &pdu) const override;
    BOOL OnSendingPDU(H245_DataType &pdu) const override;
    virtual BOOL OnSendingPDU(H245_VideoCapability &pdu) const = 0;
    BOOL OnReceivedPDU(const H245_Capability &pdu) override;
    BOOL OnReceivedPDU(const H245_DataType &pdu, BOOL receiver) override;
    virtual BOOL OnReceivedPDU(const H245_VideoCapability &pdu) = 0;
    BOOL IsMatch(const H245_Capability &pdu) const override;
    BOOL IsMatch(const H245_DataType &pdu) const override;
    /// The capability to transmit with to a peer that receives remote (this one being our
    /// own): what both allow. nullptr when they have nothing in common. The default is a
    /// copy of remote.
    virtual H323VideoCapability *CreateTransmitCapability(const H323VideoCapability &remote) const;
};

/// User input over H.245: basic strings or DTMF signals.
class H323_UserInputCapability : public H323Capability
{
    PCLASSINFO(H323_UserInputCapability, H323Capability)
  public:
    enum SubTypes { BasicString = 1, SignalToneH245 = 4 }; // H245_UserInputCapability tags

    explicit H323_UserInputCapability(SubTypes subType);
    PObject *Clone() const override { return new H323_UserInputCapability(*this); }

    MainTypes GetMainType() const override { return e_UserInput; }
    unsigned GetSubType() const override { return subType; }
    PString GetFormatName() const override;
    unsigned GetDefaultSessionID() const override { return 0; }
    H323Codec *CreateCodec(H323Codec::Direction) const override { return nullptr; }
    H323Channel *CreateChannel(H323Connection &, int, unsigned) const override { return nullptr; }
    BOOL OnSendingPDU(H245_Capability &pdu) const override;
    BOOL OnSendingPDU(H245_DataType &pdu) const override;
    BOOL OnReceivedPDU(const H245_Capability &pdu) override;
    BOOL IsMatch(const H245_Capability &pdu) const override;

  private:
    SubTypes subType;
};

/// The registry of capability classes by format name, filled by static objects before main.
class H323CapabilityRegistration
{
  public:
    explicit H323CapabilityRegistration(const char *name);
    virtual ~H323CapabilityRegistration();
    H323CapabilityRegistration(const H323CapabilityRegistration &) = delete;
    H323CapabilityRegistration &operator=(const H323CapabilityRegistration &) = delete;

    /// A new capability of the registered class.
    virtual H323Capability *Create() const = 0;
    const char *GetName() const { return name; }

    /// The registered names, in registration order.
    static PStringArray GetRegisteredNames();
    static const H323CapabilityRegistration *Find(const PString &name);

  private:
    const char *name;
};

/// Registers class cls under capName: H323_REGISTER_CAPABILITY(H323_GSM0610Capability,
/// "GSM-06.10{sw}").
#define H323_REGISTER_CAPABILITY(cls, capName)                                                     \
    static class cls##_Registration : public H323CapabilityRegistration                           \
    {                                                                                              \
      public:                                                                                      \
        cls##_Registration() : H323CapabilityRegistration(capName) {}                              \
        H323Capability *Create() const override { return new cls; }                               \
    } cls##_Registration_Instance
