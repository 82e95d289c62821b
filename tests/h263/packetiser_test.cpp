// RFC 2190 packetisation: mode A at GOB boundaries, mode B inside long GOBs, shared bytes.
#include "h263/packetiser.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Layout {
    std::vector<uint8_t> bits = std::vector<uint8_t>(4000, 0);
    std::vector<int> start = std::vector<int>(100, 0);
    std::vector<int> quant = std::vector<int>(99, 10);
    h263::MacroblockInfo info;
    Layout()
    {
        info.type.assign(99, 0);
        info.mvx.assign(99, 0);
        info.mvy.assign(99, 0);
        info.pmvx.assign(99, 0);
        info.pmvy.assign(99, 0);
        // A QCIF picture header: PSC, TR 5, PTYPE QCIF inter.
        uint8_t hdr[7] = {0x00, 0x00, 0x80, 0x16, 0x0a, 0x50, 0x00};
        std::copy(hdr, hdr + 7, bits.begin());
    }
    /** GOB g takes gob_bits, spread evenly over its 11 macroblocks. */
    void gobs(const std::vector<int> &gob_bits)
    {
        int p = 0;
        for (int g = 0; g < 9; g++) {
            for (int m = 0; m < 11; m++)
                start[g * 11 + m] = p + m * gob_bits[g] / 11;
            p += gob_bits[g];
        }
        start[99] = p;
    }
    std::vector<h263::PacketRecord> cut()
    {
        return h263::H263RtpPacketise(bits.data(), start[99], 9, 11, start.data(), quant.data(),
                                      info, 1024);
    }
};

TEST(Packetiser, SmallGobsGoTogetherInModeAPayloads)
{
    Layout l;
    l.gobs(std::vector<int>(9, 2000));
    std::vector<h263::PacketRecord> r = l.cut();
    ASSERT_EQ(r.size(), 3u);    // four GOBs (8000 bits) fit below 8120
    for (const auto &p : r) {
        EXPECT_EQ(p.header_length, 4);
        EXPECT_EQ(p.header[0], 0);                  // F 0, P 0, SBIT 0, EBIT 0
        EXPECT_EQ(p.header[1] >> 5, 2);             // SRC QCIF
        EXPECT_EQ((p.header[1] >> 4) & 1, 1);       // I: inter
        EXPECT_EQ(p.header[3], 5);                  // TR
    }
    EXPECT_EQ(r[0].data, l.bits.data());
    EXPECT_EQ(r[0].data_length, 1000);
    EXPECT_EQ(r[2].data_length, 250);
}

TEST(Packetiser, ALongGobIsCutAtMacroblocksInModeB)
{
    Layout l;
    l.gobs({800, 11990, 800, 800, 800, 800, 800, 800, 800});
    l.quant[18] = 12;
    l.info.mvx[18] = 5;         // its own vector is not what the header carries
    l.info.pmvx[18] = -3;
    l.info.pmvy[18] = 2;
    std::vector<h263::PacketRecord> r = l.cut();
    ASSERT_EQ(r.size(), 4u);
    EXPECT_EQ(r[0].header_length, 4);
    EXPECT_EQ(r[0].data_length, 100);
    // Mode B at the GOB start: QUANT 0, GOBN 1, MBA 0.
    const uint8_t *b = r[1].header;
    EXPECT_EQ(r[1].header_length, 8);
    EXPECT_EQ(b[0] >> 7, 1);
    EXPECT_EQ(b[1] & 0x1f, 0);                      // QUANT
    EXPECT_EQ(b[2] >> 3, 1);                        // GOBN
    EXPECT_EQ(h263::H263GetBits(b, 21, 9), 0u);     // MBA
    // The next one starts at macroblock 7 of GOB 1 with its quantiser and vector predictor.
    b = r[2].header;
    EXPECT_EQ(h263::H263GetBits(b, 11, 5), 12u);
    EXPECT_EQ(h263::H263GetBits(b, 16, 5), 1u);
    EXPECT_EQ(h263::H263GetBits(b, 21, 9), 7u);
    EXPECT_EQ(h263::H263GetBits(b, 36, 7), 0x7du);  // -3
    EXPECT_EQ(h263::H263GetBits(b, 43, 7), 2u);
    // Cut inside a byte: both payloads carry it.
    int ebit = r[1].header[0] & 7, sbit = (r[2].header[0] >> 3) & 7;
    EXPECT_EQ(ebit + sbit, 8);
    EXPECT_EQ(r[1].data + r[1].data_length - 1, r[2].data);
    // After the long GOB's end the payloads are mode A again.
    EXPECT_EQ(r[3].header_length, 4);
    for (const auto &p : r)
        EXPECT_LE(p.header_length + p.data_length, 1024);
}

TEST(Packetiser, HeaderBitsAreOredMostSignificantFirst)
{
    uint8_t buf[4] = {};
    h263::H263PutHeaderBits(buf, 5, 2, 3);
    h263::H263PutHeaderBits(buf, 0x1ff, 21, 9);
    EXPECT_EQ(buf[0], 0x28);
    EXPECT_EQ(h263::H263GetBits(buf, 21, 9), 0x1ffu);
    EXPECT_EQ(h263::H263GetBits(buf, 2, 3), 5u);
}

} // namespace
