// RFC 2032 packetisation of H.261: start codes found at any bit position, payloads by GOB.
#include <h323/codecs/h261packet.h>

#include <algorithm>

namespace h323::h261 {

namespace {

/// Bit positions of the start codes (15 zeros and a one: PSC and GBSC) in the picture.
std::vector<size_t> StartCodes(const uint8_t *data, size_t length)
{
    std::vector<size_t> starts;
    uint32_t window = 0xffff;
    for (size_t bit = 0; bit < length * 8; bit++) {
        window = (window << 1) | ((data[bit >> 3] >> (7 - (bit & 7))) & 1);
        if ((window & 0xffff) == 0x0001)
            starts.push_back(bit - 15);
    }
    return starts;
}

size_t BytesOf(size_t firstBit, size_t endBit)
{
    return (endBit + 7) / 8 - firstBit / 8;
}

std::vector<uint8_t> Payload(const uint8_t *picture, size_t firstBit, size_t endBit)
{
    const uint8_t *first = picture + firstBit / 8;
    size_t bytes = BytesOf(firstBit, endBit);
    std::vector<uint8_t> payload(kHeaderSize + bytes, 0);
    unsigned sbit = unsigned(firstBit & 7);
    unsigned ebit = unsigned((8 - (endBit & 7)) & 7);
    payload[0] = uint8_t(sbit << 5 | ebit << 2 | 0x01); // I 0, V 1: vectors may be used
    std::copy(first, first + bytes, payload.begin() + kHeaderSize);
    return payload;
}

} // namespace

std::vector<std::vector<uint8_t>> Packetise(const uint8_t *picture, size_t length,
                                            size_t maxPayload)
{
    std::vector<std::vector<uint8_t>> payloads;
    if (picture == nullptr || length == 0)
        return payloads;
    std::vector<size_t> bounds = StartCodes(picture, length);
    if (bounds.empty() || bounds.front() != 0)
        bounds.insert(bounds.begin(), 0);
    bounds.push_back(length * 8);
    size_t first = bounds.front(); // start of the payload being gathered
    size_t last = first;           // end of the GOBs it holds so far
    for (size_t k = 1; k < bounds.size(); k++) {
        size_t end = bounds[k];
        if (last > first && BytesOf(first, end) + kHeaderSize > maxPayload) {
            payloads.push_back(Payload(picture, first, last));
            first = last;
        }
        last = end;
    }
    if (last > first)
        payloads.push_back(Payload(picture, first, last));
    return payloads;
}

bool Depacketiser::Add(const uint8_t *payload, size_t length, bool lost)
{
    if (lost)
        resync = true;
    if (payload == nullptr || length <= kHeaderSize)
        return false;
    unsigned sbit = payload[0] >> 5;
    unsigned ebit = (payload[0] >> 2) & 7;
    unsigned gobn = payload[1] >> 4;
    size_t dataBytes = length - kHeaderSize;
    if (dataBytes * 8 <= sbit + ebit)
        return false;
    size_t count = dataBytes * 8 - sbit - ebit;
    if (resync) {
        if (gobn != 0)
            return false; // it continues a GOB whose start went missing
        resync = false;
    }
    if ((bits + count + 7) / 8 > kMaxPicture)
        return false;
    AppendBits(payload + kHeaderSize, sbit, count);
    return true;
}

void Depacketiser::AppendBits(const uint8_t *data, size_t firstBit, size_t count)
{
    stream.resize((bits + count + 7) / 8, 0);
    size_t bit = firstBit;
    // Whole bytes while the source is byte-aligned and the stream is too.
    if ((bits & 7) == 0 && (bit & 7) == 0) {
        size_t whole = count / 8;
        std::copy(data + bit / 8, data + bit / 8 + whole, stream.begin() + bits / 8);
        bits += whole * 8;
        bit += whole * 8;
        count -= whole * 8;
    }
    for (size_t i = 0; i < count; i++, bit++, bits++)
        if ((data[bit >> 3] >> (7 - (bit & 7))) & 1)
            stream[bits >> 3] |= uint8_t(0x80 >> (bits & 7));
}

void Depacketiser::Clear()
{
    stream.clear();
    bits = 0;
}

} // namespace h323::h261
