// RTP and RTCP packet layouts (RFC 3550 clauses 5.1 and 6.4).
#include <h323/rtp/rtp_frame.h>

RTP_DataFrame::RTP_DataFrame(PINDEX size) : PBYTEArray(MinHeaderSize + size)
{
    (*this)[0] = 0x80; // V=2
}

void RTP_DataFrame::SetMarker(BOOL m)
{
    BYTE b = GetAt(1);
    (*this)[1] = m ? BYTE(b | 0x80) : BYTE(b & 0x7f);
}

void RTP_DataFrame::SetPayloadType(unsigned t)
{
    (*this)[1] = BYTE((GetAt(1) & 0x80) | (t & 0x7f));
}

void RTP_DataFrame::SetSequenceNumber(WORD n)
{
    (*this)[2] = BYTE(n >> 8);
    (*this)[3] = BYTE(n);
}

DWORD RTP_DataFrame::GetTimestamp() const
{
    return (DWORD(GetAt(4)) << 24) | (DWORD(GetAt(5)) << 16) | (DWORD(GetAt(6)) << 8) | GetAt(7);
}

void RTP_DataFrame::SetTimestamp(DWORD t)
{
    (*this)[4] = BYTE(t >> 24);
    (*this)[5] = BYTE(t >> 16);
    (*this)[6] = BYTE(t >> 8);
    (*this)[7] = BYTE(t);
}

DWORD RTP_DataFrame::GetSyncSource() const
{
    return (DWORD(GetAt(8)) << 24) | (DWORD(GetAt(9)) << 16) | (DWORD(GetAt(10)) << 8) | GetAt(11);
}

void RTP_DataFrame::SetSyncSource(DWORD s)
{
    (*this)[8] = BYTE(s >> 24);
    (*this)[9] = BYTE(s >> 16);
    (*this)[10] = BYTE(s >> 8);
    (*this)[11] = BYTE(s);
}

PINDEX RTP_DataFrame::GetHeaderSize() const
{
    PINDEX size = MinHeaderSize + 4 * GetContribSrcCount();
    if (GetExtension() && GetSize() >= size + 4)
        size += 4 + 4 * ((PINDEX(GetAt(size + 2)) << 8) | GetAt(size + 3));
    return size;
}

BOOL RTP_DataFrame::SetPayloadSize(PINDEX size)
{
    if (size < 0)
        return FALSE;
    payloadSize = size;
    SetMinSize(GetHeaderSize() + size);
    return TRUE;
}

BOOL RTP_DataFrame::SetPacketSize(PINDEX size)
{
    if (size < MinHeaderSize || size > GetSize() || GetVersion() != 2)
        return FALSE;
    PINDEX header = MinHeaderSize + 4 * GetContribSrcCount();
    if (header > size)
        return FALSE;
    if (GetExtension()) {
        if (header + 4 > size)
            return FALSE;
        header += 4 + 4 * ((PINDEX(GetAt(header + 2)) << 8) | GetAt(header + 3));
        if (header > size)
            return FALSE;
    }
    PINDEX padding = 0;
    if (GetAt(0) & 0x20) { // P: the last byte counts the padding
        padding = GetAt(size - 1);
        if (padding == 0 || header + padding > size)
            return FALSE;
    }
    payloadSize = size - header - padding;
    return TRUE;
}

PINDEX RTP_ControlFrame::StartPacket(unsigned type, unsigned count)
{
    packetStart = compoundSize;
    SetMinSize(compoundSize + 4);
    BYTE *p = GetPointer(compoundSize + 4) + compoundSize;
    p[0] = BYTE(0x80 | (count & 0x1f));
    p[1] = BYTE(type);
    p[2] = p[3] = 0;
    compoundSize += 4;
    return packetStart;
}

void RTP_ControlFrame::Append(const BYTE *data, PINDEX size)
{
    BYTE *p = GetPointer(compoundSize + size) + compoundSize;
    for (PINDEX i = 0; i < size; i++)
        p[i] = data[i];
    compoundSize += size;
}

void RTP_ControlFrame::Append32(DWORD v)
{
    BYTE b[4] = {BYTE(v >> 24), BYTE(v >> 16), BYTE(v >> 8), BYTE(v)};
    Append(b, 4);
}

void RTP_ControlFrame::EndPacket()
{
    while ((compoundSize - packetStart) % 4 != 0) {
        BYTE zero = 0;
        Append(&zero, 1);
    }
    PINDEX words = (compoundSize - packetStart) / 4 - 1;
    BYTE *p = GetPointer(compoundSize) + packetStart;
    p[2] = BYTE(words >> 8);
    p[3] = BYTE(words);
}
