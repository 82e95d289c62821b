// RTP_DataFrame and RTP_ControlFrame: RTP and RTCP packets (RFC 3550) over a byte array.
#pragma once

#include <pwlib/parray.h>

/// An RTP packet: a 12-byte header (plus CSRCs and extension) and the payload.
class RTP_DataFrame : public PBYTEArray
{
    PCLASSINFO(RTP_DataFrame, PBYTEArray)
  public:
    enum { MinHeaderSize = 12, MaxPacketSize = 1500 };
    enum PayloadTypes {
        PCMU = 0,
        GSM = 3,
        G7231 = 4,
        PCMA = 8,
        H261 = 31,
        H263 = 34,
        DynamicBase = 96,
        MaxPayloadType = 127,
        IllegalPayloadType
    };

    /// An empty packet (version 2) with room for payloadSize bytes.
    explicit RTP_DataFrame(PINDEX payloadSize = 2048);

    unsigned GetVersion() const { return (GetAt(0) >> 6) & 3; }
    BOOL GetExtension() const { return (GetAt(0) & 0x10) != 0; }
    BOOL GetMarker() const { return (GetAt(1) & 0x80) != 0; }
    void SetMarker(BOOL m);
    PayloadTypes GetPayloadType() const { return PayloadTypes(GetAt(1) & 0x7f); }
    void SetPayloadType(unsigned t);
    WORD GetSequenceNumber() const { return WORD((GetAt(2) << 8) | GetAt(3)); }
    void SetSequenceNumber(WORD n);
    DWORD GetTimestamp() const;
    void SetTimestamp(DWORD t);
    DWORD GetSyncSource() const;
    void SetSyncSource(DWORD s);
    PINDEX GetContribSrcCount() const { return GetAt(0) & 0x0f; }
    /// Header bytes: 12 + 4 per CSRC + the extension.
    PINDEX GetHeaderSize() const;
    PINDEX GetPayloadSize() const { return payloadSize; }
    /// Sets the payload size (the array grows to fit).
    BOOL SetPayloadSize(PINDEX size);
    BYTE *GetPayloadPtr() { return GetPointer(GetHeaderSize() + payloadSize) + GetHeaderSize(); }
    const BYTE *GetPayloadPtr() const { return GetPointer() + GetHeaderSize(); }
    /// After receiving size bytes: checks the header and sets the payload size. FALSE for
    /// a packet that is not RTP version 2 or whose header does not fit.
    BOOL SetPacketSize(PINDEX size);
    /// Header and payload bytes.
    PINDEX GetPacketSize() const { return GetHeaderSize() + payloadSize; }

  private:
    PINDEX payloadSize = 0;
};

/// An RTCP compound packet being built or read.
class RTP_ControlFrame : public PBYTEArray
{
    PCLASSINFO(RTP_ControlFrame, PBYTEArray)
  public:
    enum PayloadTypes { e_SenderReport = 200, e_ReceiverReport, e_SourceDescription, e_Goodbye };
    enum SDESType { e_END, e_CNAME, e_NAME };

    explicit RTP_ControlFrame(PINDEX size = 2048) : PBYTEArray(size) {}

    /// Bytes of the compound packet so far.
    PINDEX GetCompoundSize() const { return compoundSize; }
    void SetCompoundSize(PINDEX size) { compoundSize = size; }
    /// Starts a new packet of the compound: version 2, count, type; returns its offset.
    PINDEX StartPacket(unsigned type, unsigned count);
    /// Appends bytes to the current packet (its length word is kept up to date).
    void Append(const BYTE *data, PINDEX size);
    void Append32(DWORD v);
    /// Pads the current packet to a multiple of 4 and sets its length word.
    void EndPacket();

  private:
    PINDEX compoundSize = 0;
    PINDEX packetStart = 0;
};
