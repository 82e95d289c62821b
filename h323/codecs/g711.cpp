// G.711 (ITU-T G.711 tables 1a/1b and 2a/2b): companding, capabilities and codecs.
#include <h323/codecs/g711.h>

#include <h323/asn1/gen/h245.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

namespace h323::g711 {

namespace {

/// The expansion of every code, computed once at compile time.
template <typename Expand> constexpr std::array<int16_t, 256> ExpansionTable(Expand expand)
{
    std::array<int16_t, 256> table{};
    for (int code = 0; code < 256; code++)
        table[size_t(code)] = expand(uint8_t(code));
    return table;
}

constexpr int16_t ExpandUlaw(uint8_t code)
{
    code = uint8_t(~code);
    int sign = code & 0x80;
    int exponent = (code >> 4) & 0x07;
    int mantissa = code & 0x0f;
    int s = ((mantissa << 3) + 0x84) << exponent;
    s -= 0x84;
    return int16_t(sign ? -s : s);
}

constexpr int16_t ExpandAlaw(uint8_t code)
{
    code ^= 0x55;
    int exponent = (code >> 4) & 0x07;
    int mantissa = code & 0x0f;
    int s = exponent == 0 ? (mantissa << 4) + 8 : ((mantissa << 4) + 0x108) << (exponent - 1);
    return int16_t((code & 0x80) ? s : -s);
}

constexpr std::array<int16_t, 256> kUlawTable = ExpansionTable(ExpandUlaw);
constexpr std::array<int16_t, 256> kAlawTable = ExpansionTable(ExpandAlaw);

} // namespace

uint8_t LinearToUlaw(int16_t sample)
{
    constexpr int kBias = 0x84, kClip = 32635;
    int s = sample;
    int sign = (s >> 8) & 0x80;
    if (sign)
        s = -s;
    if (s > kClip)
        s = kClip;
    s += kBias; // 0x84..0x7fff: the top bit (7..14) gives the segment
    int exponent = std::bit_width(unsigned(s)) - 8;
    int mantissa = (s >> (exponent + 3)) & 0x0f;
    return uint8_t(~(sign | (exponent << 4) | mantissa));
}

int16_t UlawToLinear(uint8_t code)
{
    return kUlawTable[code];
}

uint8_t LinearToAlaw(int16_t sample)
{
    int s = sample >> 3; // 13-bit magnitude
    int sign = 0x80;
    if (s < 0) {
        s = -s - 1;
        sign = 0;
    }
    if (s > 0xfff)
        s = 0xfff;
    int code;
    if (s < 32) {
        code = s >> 1;
    } else {
        int exponent = std::bit_width(unsigned(s >> 4)) - 1;
        code = (exponent << 4) | ((s >> exponent) & 0x0f);
    }
    return uint8_t((sign | code) ^ 0x55);
}

int16_t AlawToLinear(uint8_t code)
{
    return kAlawTable[code];
}

} // namespace h323::g711

H323_G711Capability::H323_G711Capability(Mode m) : H323AudioCapability(30, 20), mode(m) {}

unsigned H323_G711Capability::GetSubType() const
{
    return mode == ALaw ? H245_AudioCapability::e_g711Alaw64k : H245_AudioCapability::e_g711Ulaw64k;
}

PString H323_G711Capability::GetFormatName() const
{
    return mode == ALaw ? OPAL_G711_ALAW_64K "{sw}" : OPAL_G711_ULAW_64K "{sw}";
}

H323Codec *H323_G711Capability::CreateCodec(H323Codec::Direction direction) const
{
    return new H323_G711Codec(mode, direction);
}

BOOL H323_G711Capability::OnSendingPDU(H245_AudioCapability &pdu, unsigned packetSize) const
{
    if (mode == ALaw)
        pdu.g711Alaw64k() = packetSize;
    else
        pdu.g711Ulaw64k() = packetSize;
    return TRUE;
}

BOOL H323_G711Capability::OnReceivedPDU(const H245_AudioCapability &pdu, unsigned &packetSize)
{
    if (pdu.GetTag() != GetSubType())
        return FALSE;
    packetSize = unsigned(mode == ALaw ? pdu.g711Alaw64k().GetValue() : pdu.g711Ulaw64k().GetValue());
    return TRUE;
}

H323_G711Codec::H323_G711Codec(H323_G711Capability::Mode m, Direction dir)
    : H323FramedAudioCodec(m == H323_G711Capability::ALaw ? OPAL_G711_ALAW_64K : OPAL_G711_ULAW_64K,
                           dir),
      mode(m)
{
}

BOOL H323_G711Codec::EncodeFrame(BYTE *buffer, unsigned &length)
{
    const short *s = sampleBuffer.GetPointer();
    if (mode == H323_G711Capability::ALaw)
        std::transform(s, s + samplesPerFrame, buffer, h323::g711::LinearToAlaw);
    else
        std::transform(s, s + samplesPerFrame, buffer, h323::g711::LinearToUlaw);
    length = samplesPerFrame;
    return TRUE;
}

void H323_G711Codec::Expand(const BYTE *codes, unsigned count, short *samples) const
{
    if (mode == H323_G711Capability::ALaw)
        std::transform(codes, codes + count, samples, h323::g711::AlawToLinear);
    else
        std::transform(codes, codes + count, samples, h323::g711::UlawToLinear);
}

BOOL H323_G711Codec::DecodeFrame(const BYTE *buffer, unsigned length, unsigned &written)
{
    short *s = sampleBuffer.GetPointer(PINDEX(samplesPerFrame));
    unsigned n = length < samplesPerFrame ? length : samplesPerFrame;
    Expand(buffer, n, s);
    std::fill(s + n, s + samplesPerFrame, short(0));
    written = n;
    return TRUE;
}

BOOL H323_G711Codec::Write(const BYTE *buffer, unsigned length, const RTP_DataFrame &,
                           unsigned &written)
{
    PWaitAndSignal lock(rawChannelMutex);
    if (direction != Decoder)
        return FALSE;
    // A lost packet (length 0) plays as the usual 20 ms of silence.
    unsigned samples = length > 0 ? length : 160;
    pcm.resize(samples);
    if (length == 0)
        std::memset(pcm.data(), 0, samples * sizeof(short));
    Expand(buffer, length, pcm.data());
    written = length;
    return WriteRaw(pcm.data(), PINDEX(samples * sizeof(short)));
}
