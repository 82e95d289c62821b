// Decoder object and core: packets decoded in sequence order whatever the first number,
// the order they arrive in, duplicates and loss; refused headers that leave the decoder usable.
#include "support/rtp_packets.h"
#include "support/test_sequence.h"

#include "h263/decoder.h"
#include "h263/packetiser.h"
#include "h263/encoder.h"
#include "h263/print.h"
#include "h263/stream_decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

using h263test::RtpPacket;
using Pictures = std::vector<std::vector<uint8_t>>;

/** Our packets of the moving scene under heavy noise: its GOBs need several packets. */
struct NoisyStream {
    int width = 0, height = 0;
    std::vector<RtpPacket> packets;
    Pictures recon;
    NoisyStream(int w, int h, int count) : width(w), height(h)
    {
        packets = h263test::encode_packets(h263test::noisy_moving_pictures(w, h, count, 7), w, h,
                                           0, &recon);
    }
};

const NoisyStream &noisy(int width)
{
    static const NoisyStream qcif(176, 144, 12), cif(352, 288, 6);
    return width == 176 ? qcif : cif;
}

/** The first picture of a that differs from b's, -1 when none does. */
int first_difference(const Pictures &a, const Pictures &b)
{
    for (size_t i = 0; i < a.size() && i < b.size(); i++)
        if (a[i] != b[i])
            return static_cast<int>(i);
    return -1;
}

enum class Arrival { InOrder, NeighboursSwapped, OtherNeighboursSwapped, ShuffledPictures, Duplicated };

std::vector<RtpPacket> arriving(std::vector<RtpPacket> packets, Arrival how, uint32_t seed)
{
    switch (how) {
    case Arrival::InOrder:
        break;
    case Arrival::NeighboursSwapped:
        h263test::swap_neighbours(packets, 0);
        break;
    case Arrival::OtherNeighboursSwapped:
        h263test::swap_neighbours(packets, 1);
        break;
    case Arrival::ShuffledPictures:
        // The packets of each picture in a random order.
        for (size_t from = 0, to = 0; from < packets.size(); from = to) {
            while (!packets[to++].marker) {
            }
            for (size_t i = to - 1; i > from; i--) {
                seed = seed * 1103515245u + 12345u;
                std::swap(packets[i], packets[from + (seed >> 16) % (i - from + 1)]);
            }
        }
        break;
    case Arrival::Duplicated:
        for (size_t i = packets.size(); i-- > 0;)
            if (i % 3 == 1)
                packets.insert(packets.begin() + static_cast<long>(i) + 2, packets[i]);
        break;
    }
    return packets;
}

struct OrderCase {
    int width;
    Arrival arrival;
};

void PrintTo(const OrderCase &c, std::ostream *os)
{
    static const char *const names[] = {"in_order", "neighbours_swapped",
                                        "other_neighbours_swapped", "shuffled_pictures",
                                        "duplicated"};
    *os << (c.width == 176 ? "qcif_" : "cif_") << names[static_cast<int>(c.arrival)];
}

class SequenceOrder : public ::testing::TestWithParam<OrderCase> {};

// Every first sequence number around the wrap, so that runs of packets lie
// across every place of the slot ring.
TEST_P(SequenceOrder, PacketsDecodeExactlyAsCodedWhateverTheFirstSequenceNumber)
{
    const NoisyStream &s = noisy(GetParam().width);
    size_t mode_b = 0;
    for (const RtpPacket &p : s.packets)
        mode_b += p.payload[0] >> 7;
    ASSERT_GT(mode_b, s.recon.size());
    for (int k = 0; k < 64; k++) {
        const uint16_t first = static_cast<uint16_t>(65500 + k);
        std::vector<RtpPacket> packets = s.packets;
        h263test::renumber(packets, first);
        H263Decoder dec;
        Pictures out =
            h263test::decode_packets(dec, arriving(packets, GetParam().arrival, first));
        ASSERT_EQ(out.size(), s.recon.size()) << "first sequence number " << first;
        ASSERT_EQ(first_difference(out, s.recon), -1) << "first sequence number " << first;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Arrivals, SequenceOrder,
    ::testing::Values(OrderCase{176, Arrival::InOrder}, OrderCase{352, Arrival::InOrder},
                      OrderCase{176, Arrival::NeighboursSwapped},
                      OrderCase{352, Arrival::NeighboursSwapped},
                      OrderCase{176, Arrival::OtherNeighboursSwapped},
                      OrderCase{352, Arrival::OtherNeighboursSwapped},
                      OrderCase{176, Arrival::ShuffledPictures},
                      OrderCase{352, Arrival::ShuffledPictures},
                      OrderCase{352, Arrival::Duplicated}),
    ::testing::PrintToStringParamName());

/** Rows [y0, y1) of the luma of two pictures are the same. */
bool same_rows(const std::vector<uint8_t> &a, const std::vector<uint8_t> &b, int width, int y0,
               int y1)
{
    return std::equal(a.begin() + y0 * width, a.begin() + y1 * width, b.begin() + y0 * width);
}

// Our packets of whole GOBs (mode A): one lost, whether it began its picture (whose
// coding type the next packet's payload header then tells) or not.
TEST(Reassembly, ALostPacketCostsOnlyTheGobsItCarried)
{
    const int w = 352, h = 288, n = 8;
    Pictures src;
    for (int t = 0; t < n; t++)
        src.push_back(h263test::moving_picture(w, h, t));
    Pictures recon;
    const std::vector<RtpPacket> coded = h263test::encode_packets(src, w, h, 40000, &recon);
    struct Loss {
        int picture;
        size_t packet;      // of the picture
    };
    // Picture 1 is the first inter picture: its GOB frame identifier is new.
    for (const Loss loss : {Loss{4, 1}, Loss{1, 0}, Loss{5, 0}}) {
        SCOPED_TRACE("packet " + std::to_string(loss.packet) + " of picture " +
                     std::to_string(loss.picture) + " lost");
        std::vector<RtpPacket> packets = coded;
        size_t lost = 0;
        for (int m = 0; m < loss.picture; lost++)
            m += packets[lost].marker;
        lost += loss.packet;
        ASSERT_EQ(packets[lost].payload[0] >> 7, 0);
        ASSERT_FALSE(packets[lost].marker);
        // Its GOBs: from the GOB number in its start code up to the next packet's.
        auto gob_of = [](const RtpPacket &p) { return (p.payload[4 + 2] >> 2) & 31; };
        const int g0 = gob_of(packets[lost]), g1 = gob_of(packets[lost + 1]);
        ASSERT_LT(g0, g1);
        packets.erase(packets.begin() + static_cast<long>(lost));

        H263Decoder dec;
        Pictures out = h263test::decode_packets(dec, packets);
        ASSERT_EQ(out.size(), recon.size());
        const int t = loss.picture;
        EXPECT_EQ(first_difference(Pictures(out.begin(), out.begin() + t), recon), -1);
        // The lost GOBs are the picture before's, every other GOB is whole.
        EXPECT_TRUE(same_rows(out[t], recon[t], w, 0, g0 * 16));
        EXPECT_TRUE(same_rows(out[t], recon[t - 1], w, g0 * 16, g1 * 16));
        EXPECT_TRUE(same_rows(out[t], recon[t], w, g1 * 16, h));
        // The next picture predicts at most 16 rows (and one for interpolation) across a GOB edge.
        EXPECT_TRUE(same_rows(out[t + 1], recon[t + 1], w, 0, std::max(0, g0 - 2) * 16));
        EXPECT_TRUE(same_rows(out[t + 1], recon[t + 1], w, std::min(h, (g1 + 2) * 16), h));
    }
}

/** Macroblock (mbx, mby) of two pictures: the same luma and chroma. */
bool same_macroblock(const std::vector<uint8_t> &a, const std::vector<uint8_t> &b, int width,
                     int height, int mbx, int mby)
{
    for (int j = 0; j < 16; j++)
        for (int i = 0; i < 16; i++) {
            size_t at = static_cast<size_t>(mby * 16 + j) * width + mbx * 16 + i;
            if (a[at] != b[at])
                return false;
        }
    const size_t cw = static_cast<size_t>(width) / 2, plane = cw * height / 2;
    for (size_t p = 0; p < 2; p++)
        for (int j = 0; j < 8; j++)
            for (int i = 0; i < 8; i++) {
                size_t at = static_cast<size_t>(width) * height + p * plane +
                            static_cast<size_t>(mby * 8 + j) * cw + mbx * 8 + i;
                if (a[at] != b[at])
                    return false;
            }
    return true;
}

// A packet lost before one that begins inside a GOB (mode B): that one says where it
// begins, with its quantiser and vector predictors, so decoding goes on from there.
TEST(Reassembly, ALostPacketBeforeOneInsideAGobCostsOnlyTheMacroblocksBeforeThatOne)
{
    const NoisyStream &s = noisy(352);
    auto mba = [](const RtpPacket &p) {
        return (p.payload[0] >> 7) ? static_cast<int>(h263::H263GetBits(p.payload.data(), 21, 9))
                                   : 0;
    };
    int cases = 0;
    size_t first = 0;   // of the picture
    for (int picture = 0; picture + 2 < static_cast<int>(s.recon.size()); picture++) {
        size_t last = first;
        while (!s.packets[last].marker)
            last++;
        for (size_t at = first + 1; at < last; at++) {
            if (mba(s.packets[at + 1]) == 0)
                continue;
            const int gob =
                static_cast<int>(h263::H263GetBits(s.packets[at + 1].payload.data(), 16, 5));
            const int resume = mba(s.packets[at + 1]);
            std::vector<RtpPacket> packets = s.packets;
            packets.erase(packets.begin() + static_cast<long>(at));
            H263Decoder dec;
            Pictures out = h263test::decode_packets(dec, packets);
            ASSERT_EQ(out.size(), s.recon.size());
            // What the packet carried of its GOB before the next one's first macroblock
            // comes from the picture before; every other macroblock is as coded.
            int wrong = 0;
            for (int y = 0; y < 18; y++)
                for (int x = 0; x < 22; x++) {
                    const bool lost = y == gob && x < resume;
                    const std::vector<uint8_t> &expect = lost && picture > 0
                                                             ? s.recon[picture - 1]
                                                             : s.recon[picture];
                    if (!lost || picture > 0)
                        wrong += !same_macroblock(out[picture], expect, 352, 288, x, y);
                }
            EXPECT_EQ(wrong, 0) << "packet " << at << " of picture " << picture << " lost";
            EXPECT_EQ(first_difference(Pictures(out.begin(), out.begin() + picture), s.recon), -1);
            cases++;
        }
        first = last + 1;
    }
    EXPECT_GT(cases, 4);
}

std::vector<std::string> g_messages;
void record(const char *text) { g_messages.emplace_back(text); }

std::vector<uint8_t> qcif_stream(int pictures)
{
    Pictures src;
    for (int t = 0; t < pictures; t++)
        src.push_back(h263test::moving_picture(176, 144, t));
    std::vector<uint8_t> stream;
    for (const RtpPacket &p : h263test::encode_packets(src, 176, 144, 0))
        stream.insert(stream.end(), p.payload.begin() + 4, p.payload.end());   // all mode A
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

TEST(Headers, IllegalSourceFormatsAndOverlongPayloadsAreDropped)
{
    g_messages.clear();
    SetH263DebugPrint(record);
    H263Decoder dec;
    uint8_t p[8] = {0x00, 0x00, 0, 0, 0x00, 0x00, 0x80, 0x00};   // SRC 0
    dec.DecodePacket(p, 8, false, true, 1, 0);
    p[1] = 0xc0;                                                // SRC 6
    dec.DecodePacket(p, 8, false, true, 2, 3003);
    std::vector<uint8_t> big(2100, 0);
    big[1] = 0x40;
    dec.DecodePacket(big.data(), static_cast<int>(big.size()), false, true, 3, 6006);
    dec.DecodePacket(p, 3, false, true, 4, 9009);
    SetH263DebugPrint(nullptr);
    EXPECT_FALSE(dec.PictureReady());
    dec.FinishFrame();
    EXPECT_EQ(dec.GetFramePtr(), nullptr);
    ASSERT_EQ(g_messages.size(), 4u);
    EXPECT_EQ(g_messages[0], "illegal sourceformat 0!\n");
    EXPECT_EQ(g_messages[1], "illegal sourceformat 6!\n");
}

// Custom sizes travel with source format 7; the size is the picture header's own,
// and may change at an intra picture, to another custom size or a standard one.
TEST(CustomSizes, RoundTripThroughThePacketsAndFollowSizeChanges)
{
    const int sizes[][2] = {{320, 240}, {320, 240}, {320, 240}, {160, 128}, {160, 128},
                            {176, 144}, {176, 144}, {320, 240}, {320, 240}};
    std::vector<RtpPacket> packets;
    Pictures recon;
    uint16_t seq = 65530;
    for (int t = 0; t < 9;) {
        // One encoder per size, as a call restarts it: each begins intra.
        const int w = sizes[t][0], h = sizes[t][1];
        Pictures src;
        for (; t < 9 && sizes[t][0] == w && sizes[t][1] == h; t++)
            src.push_back(h263test::moving_picture(w, h, t));
        std::vector<RtpPacket> more = h263test::encode_packets(src, w, h, seq, &recon);
        seq = static_cast<uint16_t>(seq + more.size());
        packets.insert(packets.end(), more.begin(), more.end());
    }
    H263Decoder dec;
    std::vector<std::pair<int, int>> shown;
    Pictures out;
    dec.SetPictureSink([&](const uint8_t *yuv, int w, int h) {
        shown.emplace_back(w, h);
        out.emplace_back(yuv, yuv + w * h * 3 / 2);
        EXPECT_EQ(w, dec.width());
        EXPECT_EQ(h, dec.height());
    });
    for (const RtpPacket &p : packets)
        dec.DecodePacket(p.payload.data(), static_cast<int>(p.payload.size()), false, p.marker,
                         p.sequence, p.timestamp);
    ASSERT_EQ(out.size(), 9u);
    for (size_t t = 0; t < out.size(); t++) {
        EXPECT_EQ(shown[t], std::make_pair(sizes[t][0], sizes[t][1])) << "picture " << t;
        EXPECT_TRUE(out[t] == recon[t]) << "picture " << t;
    }
}

} // namespace
