// H.263 RTP packets for the tests.
#include "rtp_packets.h"

#include "test_sequence.h"

#include "h263/decoder.h"
#include "h263/encoder.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace h263test {

std::vector<RtpPacket> encode_packets(const std::vector<std::vector<uint8_t>> &pictures,
                                      int width, int height, uint16_t first_sequence,
                                      std::vector<std::vector<uint8_t>> *recon)
{
    H263Encoder enc(0, 0);
    std::vector<RtpPacket> packets;
    uint16_t seq = first_sequence;
    uint8_t payload[H263Encoder::kMaxPayload];
    const size_t bytes = static_cast<size_t>(width) * height * 3 / 2;
    for (size_t t = 0; t < pictures.size(); t++) {
        enc.SetSize(width, height);
        std::memcpy(enc.GetFramePtr(), pictures[t].data(), bytes);
        enc.ProcessOneFrame();
        while (enc.PacketsOutstanding()) {
            unsigned len = 0;
            enc.ReadOnePacket(payload, len);
            RtpPacket p;
            p.sequence = seq++;
            p.marker = !enc.PacketsOutstanding();
            p.timestamp = static_cast<uint32_t>(t) * 3003;
            p.payload.assign(payload, payload + len);
            packets.push_back(std::move(p));
        }
        if (recon)
            recon->emplace_back(enc.LastReconstruction(), enc.LastReconstruction() + bytes);
    }
    return packets;
}

std::vector<std::vector<uint8_t>> decode_packets(H263Decoder &dec,
                                                 const std::vector<RtpPacket> &packets)
{
    std::vector<std::vector<uint8_t>> out;
    dec.SetPictureSink([&out](const uint8_t *yuv, int w, int h) {
        out.emplace_back(yuv, yuv + static_cast<size_t>(w) * h * 3 / 2);
    });
    for (const RtpPacket &p : packets) {
        dec.DecodePacket(p.payload.data(), static_cast<int>(p.payload.size()), false, p.marker,
                         p.sequence, p.timestamp);
        if (!dec.PictureReady())
            continue;
        // The picture handed out is the last one completed.
        dec.FinishFrame();
        if (dec.GetFramePtr() != out.back().data() &&
            !std::equal(out.back().begin(), out.back().end(), dec.GetFramePtr()))
            out.emplace_back();  // shows as a mismatch
    }
    dec.SetPictureSink(nullptr);
    return out;
}

std::vector<RtpPacket> packets_of_stream(const std::vector<uint8_t> &stream,
                                         uint16_t first_sequence)
{
    std::vector<size_t> starts;
    for (size_t i = 0; i + 2 < stream.size(); i++)
        if (!stream[i] && !stream[i + 1] && (stream[i + 2] & 0xfc) == 0x80)
            starts.push_back(i);
    starts.push_back(stream.size());
    std::vector<RtpPacket> packets;
    uint16_t seq = first_sequence;
    for (size_t k = 0; k + 1 < starts.size(); k++) {
        const size_t from = starts[k], to = starts[k + 1];
        if (to - from < 8)
            continue;
        const uint8_t *pic = stream.data() + from;
        // PTYPE's source format; with PLUSPTYPE (7) the coding type is MPPTYPE's.
        const uint32_t head = static_cast<uint32_t>(pic[4]) << 24 | pic[5] << 16 |
                              pic[6] << 8 | pic[7];
        const int src = (head >> 26) & 7;
        int inter = (head >> 25) & 1;
        if (src == 7) {
            const int ufep = (head >> 23) & 7;
            const int at = ufep == 1 ? 59 : 41;     // bits from the picture start
            inter = ((pic[at / 8] << 8 | pic[at / 8 + 1]) >> (13 - at % 8) & 7) != 0;
        }
        for (size_t at = from; at < to; at += 1000) {
            const size_t n = std::min<size_t>(1000, to - at);
            RtpPacket p;
            p.sequence = seq++;
            p.marker = at + n == to;
            p.timestamp = static_cast<uint32_t>(k) * 3003;
            const int tr = (pic[2] & 3) << 6 | pic[3] >> 2;
            p.payload = {0, static_cast<uint8_t>(src << 5 | inter << 4), 0,
                         static_cast<uint8_t>(tr)};
            p.payload.insert(p.payload.end(), stream.begin() + static_cast<long>(at),
                             stream.begin() + static_cast<long>(at + n));
            packets.push_back(std::move(p));
        }
    }
    return packets;
}

void renumber(std::vector<RtpPacket> &packets, uint16_t first)
{
    for (RtpPacket &p : packets)
        p.sequence = first++;
}

void swap_neighbours(std::vector<RtpPacket> &packets, size_t from)
{
    for (size_t i = from; i + 1 < packets.size(); i += 2)
        std::swap(packets[i], packets[i + 1]);
}

double worst_psnr(const std::vector<std::vector<uint8_t>> &a,
                  const std::vector<std::vector<uint8_t>> &b, int width, int height)
{
    if (a.size() != b.size() || a.empty())
        return 0;
    double worst = 99;
    for (size_t i = 0; i < a.size(); i++)
        worst = std::min(worst, psnr(a[i].data(), b[i].data(), width, height));
    return worst;
}

} // namespace h263test
