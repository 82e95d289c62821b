// Picture coder and encoder object: header layout, GOB structure, GFID, refused sizes, custom format.
#include "h263/bitreader.h"
#include "h263/encoder.h"
#include "h263/print.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

struct Coded {
    std::vector<uint8_t> bits;
    int nbits;
    std::vector<int> mb_start;
    h263::MacroblockInfo info;
};

Coded code(h263::PictureCoder &pc, int type, const std::vector<uint8_t> &src, int w, int h,
           std::vector<uint8_t> &ref, int refresh = 5)
{
    Coded c;
    c.bits.assign(200000, 0);
    BitWriter bw{c.bits.data(), static_cast<int>(c.bits.size() * 8)};
    size_t mbs = static_cast<size_t>(w / 16) * (h / 16) + 1;
    c.mb_start.assign(mbs + 1, 0);
    std::vector<int> quant(mbs);
    c.info.type.assign(mbs, 0);
    c.info.mvx.assign(mbs, 0);
    c.info.mvy.assign(mbs, 0);
    c.info.pmvx.assign(mbs, 0);
    c.info.pmvy.assign(mbs, 0);
    std::vector<uint8_t> in = src, recon(src.size()), prev = src;
    h263::Picture recon_pic = h263::Picture::over(recon.data(), w, h);
    c.nbits = pc.H263pictureEncodeQ(
        10, 3, type, 0, refresh, h263::Picture::over(in.data(), w, h),
        h263::Picture::over(prev.data(), w, h), h263::Picture::over(ref.data(), w, h), nullptr,
        recon_pic, bw, c.mb_start.data(), quant.data(), c.info);
    ref = recon;
    return c;
}

std::vector<uint8_t> grey(int w, int h, int value = 128)
{
    return std::vector<uint8_t>(static_cast<size_t>(w) * h * 3 / 2, static_cast<uint8_t>(value));
}

std::vector<std::string> g_messages;
void record(const char *text) { g_messages.emplace_back(text); }

TEST(PictureCoder, QcifIntraPictureHasNineByteAlignedGobs)
{
    h263::PictureCoder pc;
    std::vector<uint8_t> ref = grey(176, 144);
    Coded c = code(pc, 0, grey(176, 144, 90), 176, 144, ref);
    ASSERT_GT(c.nbits, 0);
    EXPECT_EQ(c.nbits % 8, 0);
    BitReader br(c.bits.data(), c.bits.size());
    EXPECT_EQ(br.getbits(22), 0x20u);       // PSC
    EXPECT_EQ(br.getbits(8), 0u);           // TR
    EXPECT_EQ(br.getbits(13), 0x1040u);     // PTYPE: 1 0 000 010 0 0000
    EXPECT_EQ(br.getbits(5), 10u);          // PQUANT
    EXPECT_EQ(br.getbits(2), 0u);           // CPM, PEI
    EXPECT_EQ(c.mb_start[11] % 8, 0);
    for (int g = 1; g < 9; g++) {
        int p = c.mb_start[g * 11];
        ASSERT_EQ(p % 8, 0);
        BitReader gb(c.bits.data() + p / 8, 8);
        EXPECT_EQ(gb.getbits(17), 1u);      // GBSC
        EXPECT_EQ(gb.getbits(5), static_cast<uint32_t>(g)); // GN
    }
}

TEST(PictureCoder, GfidChangesWithThePictureType)
{
    h263::PictureCoder pc;
    std::vector<uint8_t> ref = grey(176, 144), src = grey(176, 144, 100);
    code(pc, 0, src, 176, 144, ref);
    int first = pc.gfid();
    code(pc, 1, src, 176, 144, ref);
    int second = pc.gfid();
    code(pc, 1, src, 176, 144, ref);
    EXPECT_NE(first, second);
    EXPECT_EQ(second, pc.gfid());
}

TEST(PictureCoder, RefusesSizesThatAreNotMultiplesOf16)
{
    g_messages.clear();
    SetH263DebugPrint(record);
    h263::PictureCoder pc;
    std::vector<uint8_t> ref = grey(160, 120);
    Coded c = code(pc, 0, grey(160, 120), 160, 120, ref);
    Coded t = code(pc, 2, grey(160, 120), 160, 120, ref);
    SetH263DebugPrint(nullptr);
    EXPECT_EQ(c.nbits, 0);
    EXPECT_EQ(t.nbits, 0);
    ASSERT_EQ(g_messages.size(), 2u);
    EXPECT_EQ(g_messages[0], "Picture format 160x120 is not allowed in this H.263 coder\n");
    EXPECT_EQ(g_messages[1], "H263pictureEncodeQ: pictureCodingType >>2<< not supported\n");
}

TEST(PictureCoder, CustomSizeUsesTheExtendedPtype)
{
    h263::PictureCoder pc;
    std::vector<uint8_t> ref = grey(320, 240);
    Coded c = code(pc, 0, grey(320, 240), 320, 240, ref);
    BitReader br(c.bits.data(), c.bits.size());
    br.flushbits(30);
    EXPECT_EQ(br.getbits(8), 0x87u);        // PTYPE with source format 111
    EXPECT_EQ(br.getbits(3), 1u);           // UFEP
    EXPECT_EQ(br.getbits(3), 6u);           // custom source format
    EXPECT_EQ(br.getbits(15), 8u);          // options off, 1000
    EXPECT_EQ(br.getbits(9), 1u);           // MPPTYPE I, 001
    EXPECT_EQ(br.getbits(1), 0u);           // CPM
    EXPECT_EQ(br.getbits(4), 1u);           // PAR
    EXPECT_EQ(br.getbits(9), 79u);          // PWI
    EXPECT_EQ(br.getbits(1), 1u);
    EXPECT_EQ(br.getbits(9), 60u);          // PHI
    Coded p = code(pc, 1, grey(320, 240), 320, 240, ref);
    BitReader pr(p.bits.data(), p.bits.size());
    pr.flushbits(38);
    EXPECT_EQ(pr.getbits(3), 0u);           // UFEP 000
    EXPECT_EQ(pr.getbits(3), 1u);           // inter
}

TEST(PictureCoder, StaticSceneWithoutRefreshIsAllEmptyInterMacroblocks)
{
    h263::PictureCoder pc;
    std::vector<uint8_t> ref = grey(176, 144);
    std::vector<uint8_t> src = grey(176, 144, 128);
    code(pc, 0, src, 176, 144, ref);
    Coded c = code(pc, 1, src, 176, 144, ref, 0);
    for (size_t i = 0; i < 99; i++) {
        EXPECT_EQ(c.info.type[i], h263::kMbInter);
        EXPECT_EQ(c.info.mvx[i], 0);
        EXPECT_EQ(c.info.mvy[i], 0);
    }
    // Each macroblock: COD 0, MCBPC "1", CBPY "11", MVD "1" "1": 6 bits.
    EXPECT_EQ(c.mb_start[2] - c.mb_start[1], 6);
}

// Every payload header of a picture carries its source format field (7 for the
// extended PTYPE of a custom size) and its coding type, with U, S and A off.
TEST(Encoder, SizeChangeRestartsWithAnIntraPictureAndThePayloadHeadersSayWhich)
{
    H263Encoder enc(0, 0);
    uint8_t payload[H263Encoder::kMaxPayload];
    auto picture_type = [&](int w, int h, int src) {
        enc.SetSize(w, h);
        std::memset(enc.GetFramePtr(), 100, static_cast<size_t>(w) * h * 3 / 2);
        enc.ProcessOneFrame();
        unsigned len = 0;
        std::set<int> types;
        while (enc.PacketsOutstanding()) {
            enc.ReadOnePacket(payload, len);
            EXPECT_EQ(payload[0] >> 7, 0);                  // mode A
            EXPECT_EQ(payload[1] >> 5, src) << w << "x" << h;   // SRC
            EXPECT_EQ(payload[1] & 0x0e, 0) << w << "x" << h;   // U, S, A
            types.insert((payload[1] >> 4) & 1);            // I
        }
        return types.size() == 1 ? *types.begin() : -1;
    };
    EXPECT_EQ(picture_type(176, 144, 2), 0);
    EXPECT_EQ(picture_type(176, 144, 2), 1);
    EXPECT_EQ(picture_type(352, 288, 3), 0);
    EXPECT_EQ(picture_type(352, 288, 3), 1);
    EXPECT_EQ(picture_type(320, 240, 7), 0);
    EXPECT_EQ(picture_type(320, 240, 7), 1);
    EXPECT_EQ(picture_type(320, 240, 7), 1);
}

TEST(Encoder, ReadingAnEmptyQueueGivesLengthZero)
{
    H263Encoder enc(0, 0);
    uint8_t payload[H263Encoder::kMaxPayload] = {};
    unsigned len = 99;
    enc.ReadOnePacket(payload, len);
    EXPECT_EQ(len, 0u);
    EXPECT_FALSE(enc.PacketsOutstanding());
    ASSERT_NE(enc.GetFramePtr(), nullptr);
}

} // namespace
