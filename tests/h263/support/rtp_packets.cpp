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
                         p.sequence);
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
