// Decoder object and core: packet reassembly with loss, reordering, duplicates and
// sequence wrap; refused headers that leave the decoder usable.
#include "support/test_sequence.h"

#include "h263/decoder.h"
#include "h263/encoder.h"
#include "h263/print.h"
#include "h263/stream_decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Packet {
    std::vector<uint8_t> data;
    bool marker;
    unsigned seq;
};

/** Codes n pictures of the moving sequence; returns the packets and the reconstructions. */
std::vector<std::vector<Packet>> code_sequence(int w, int h, int n, unsigned first_seq,
                                               std::vector<std::vector<uint8_t>> &recon,
                                               bool noisy_start = false)
{
    uint32_t noise = 1;
    H263Encoder enc(0, 0);
    std::vector<std::vector<Packet>> pictures;
    unsigned seq = first_seq;
    uint8_t payload[H263Encoder::kMaxPayload];
    for (int t = 0; t < n; t++) {
        std::vector<uint8_t> src = h263test::moving_picture(w, h, t);
        if (noisy_start && t == 0) {
            // Fine detail makes GOBs longer than a payload: mode B packets follow.
            for (size_t i = 0; i < static_cast<size_t>(w) * h; i++) {
                noise = noise * 1103515245u + 12345u;
                src[i] = static_cast<uint8_t>(noise >> 24);
            }
        }
        enc.SetSize(w, h);
        std::memcpy(enc.GetFramePtr(), src.data(), src.size());
        enc.ProcessOneFrame();
        std::vector<Packet> pkts;
        while (enc.PacketsOutstanding()) {
            unsigned len = 0;
            enc.ReadOnePacket(payload, len);
            pkts.push_back({std::vector<uint8_t>(payload, payload + len),
                            !enc.PacketsOutstanding(), seq});
            seq = (seq + 1) & 0xffff;
        }
        pictures.push_back(pkts);
        recon.emplace_back(enc.LastReconstruction(),
                           enc.LastReconstruction() + static_cast<size_t>(w) * h * 3 / 2);
    }
    return pictures;
}

const uint8_t *feed(H263Decoder &dec, const std::vector<Packet> &pkts)
{
    for (const Packet &p : pkts) {
        dec.DecodePacket(p.data.data(), static_cast<int>(p.data.size()), false, p.marker, p.seq);
        if (p.marker)
            dec.FinishFrame();
    }
    return dec.GetFramePtr();
}

TEST(Reassembly, ReorderedAndDuplicatedPacketsAcrossTheSequenceWrapDecodeExactly)
{
    std::vector<std::vector<uint8_t>> recon;
    auto pictures = code_sequence(352, 288, 12, 65500, recon, true);
    H263Decoder dec;
    long modes_b = 0;
    for (size_t i = 0; i < pictures.size(); i++) {
        std::vector<Packet> pkts = pictures[i];
        ASSERT_GE(pkts.size(), 2u);
        // Packets after the picture's first one come in another order; a mode B
        // run (F 1) may be among them.
        if (i % 3 == 1)
            std::reverse(pkts.begin() + 1, pkts.end());
        if (i % 3 == 2)
            pkts.insert(pkts.begin() + 1, pkts[0]); // duplicated
        // The marker packet goes last, as the codec class hands out the picture then.
        std::stable_partition(pkts.begin(), pkts.end(), [](const Packet &p) { return !p.marker; });
        modes_b += std::count_if(pkts.begin(), pkts.end(),
                                 [](const Packet &p) { return (p.data[0] & 0x80) != 0; });
        const uint8_t *pic = feed(dec, pkts);
        ASSERT_NE(pic, nullptr);
        EXPECT_EQ(h263test::max_difference(pic, recon[i].data(), 352, 288), 0) << "picture " << i;
    }
    EXPECT_GT(modes_b, 0);
}

TEST(Reassembly, APictureStartArrivingLateIsConcealedAndTheStreamRecovers)
{
    std::vector<std::vector<uint8_t>> recon;
    auto pictures = code_sequence(176, 144, 6, 7, recon);
    H263Decoder dec;
    for (size_t i = 0; i < pictures.size(); i++) {
        std::vector<Packet> pkts = pictures[i];
        if (i == 2 && pkts.size() >= 3)
            std::swap(pkts[0], pkts[1]);
        const uint8_t *pic = feed(dec, pkts);
        ASSERT_NE(pic, nullptr);
        EXPECT_GT(h263test::psnr(pic, recon[i].data(), 176, 144), 20.0) << "picture " << i;
    }
}

TEST(Reassembly, ALostPacketIsConcealedAndDecodingGoesOn)
{
    std::vector<std::vector<uint8_t>> recon;
    auto pictures = code_sequence(352, 288, 8, 100, recon);
    H263Decoder dec;
    for (size_t i = 0; i < pictures.size(); i++) {
        std::vector<Packet> pkts = pictures[i];
        if (i == 3)
            pkts.erase(pkts.begin() + 1);           // a middle packet of picture 3 is lost
        const uint8_t *pic = feed(dec, pkts);
        ASSERT_NE(pic, nullptr);
        double p = h263test::psnr(pic, recon[i].data(), 352, 288);
        if (i < 3)
            EXPECT_EQ(p, 99.0);
        else
            EXPECT_GT(p, 18.0) << "picture " << i; // the lost GOBs come from the reference
    }
}

std::vector<std::string> g_messages;
void record(const char *text) { g_messages.emplace_back(text); }

std::vector<uint8_t> qcif_stream(int pictures)
{
    std::vector<std::vector<uint8_t>> recon;
    auto pics = code_sequence(176, 144, pictures, 0, recon);
    std::vector<uint8_t> stream;
    for (auto &pkts : pics)
        for (auto &p : pkts)
            stream.insert(stream.end(), p.data.begin() + 4, p.data.end());   // all mode A
    return stream;
}

TEST(Headers, RefusedPicturesLeaveTheDecoderUsable)
{
    struct Case {
        const char *name;
        int bit;          // bit of the picture header to set
        const char *message;
    };
    const Case cases[] = {
        {"split screen", 32, "error: split-screen not supported in this version\n"},
        {"CPM", 48, "error: CPM not supported in this version\n"},
        {"source format 0", 37, nullptr},
        // The arithmetic models of syntax-based arithmetic coding are not built in.
        {"arithmetic coding", 40, "error: syntax-based arithmetic coding not supported\n"},
    };
    std::vector<uint8_t> good = qcif_stream(2);
    for (const Case &c : cases) {
        std::vector<uint8_t> bad = good;
        if (c.bit == 37)
            bad[4] &= static_cast<uint8_t>(~0x1c);  // source format 000
        else
            bad[c.bit / 8] |= static_cast<uint8_t>(0x80 >> (c.bit % 8));
        g_messages.clear();
        SetH263DebugPrint(record);
        int pictures = 0;
        H263StreamDecoder dec([&](const H263PictureView &) { pictures++; });
        dec.decode(bad.data(), bad.size(), false);
        dec.decode(good.data(), good.size(), true);
        SetH263DebugPrint(nullptr);
        EXPECT_EQ(pictures, 3) << c.name;   // the refused picture is dropped, the rest decode
        if (c.message) {
            EXPECT_NE(std::find(g_messages.begin(), g_messages.end(), c.message),
                      g_messages.end())
                << c.name;
        }
    }
}

TEST(Headers, IllegalSourceFormatInThePayloadHeaderIsDropped)
{
    g_messages.clear();
    SetH263DebugPrint(record);
    H263Decoder dec;
    uint8_t p[8] = {0x00, 0xe0, 0, 0, 0x00, 0x00, 0x80, 0x00};   // SRC 7
    dec.DecodePacket(p, 8, false, true, 1);
    std::vector<uint8_t> big(2100, 0);
    dec.DecodePacket(big.data(), static_cast<int>(big.size()), false, true, 2);
    dec.DecodePacket(p, 3, false, true, 3);
    SetH263DebugPrint(nullptr);
    dec.FinishFrame();
    EXPECT_EQ(dec.GetFramePtr(), nullptr);
    ASSERT_GE(g_messages.size(), 3u);
    EXPECT_EQ(g_messages[0], "illegal sourceformat 7!");
}

} // namespace
