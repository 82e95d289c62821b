// Code tables: building, prefix test, the element writers, and agreement with the decoder's tables.
#include "h263/bitreader.h"
#include "h263/code_table.h"
#include "h263/print.h"
#include "h263/tables.h"
#include "h263/vlc_decode.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

std::vector<std::string> g_messages;
void record(const char *text) { g_messages.emplace_back(text); }

TEST(InitCode, RefusesACodeWithAPrefixAndNamesTheTable)
{
    g_messages.clear();
    SetH263DebugPrint(record);
    const char *codes[] = {"1", "01", "011"};
    int values[3] = {0, 1, 2};
    EXPECT_EQ(h263::InitCode("Broken", 3, 1, values, codes), nullptr);
    const char *reversed[] = {"011", "01", "1"};
    EXPECT_EQ(h263::InitCode("Reversed", 3, 1, values, reversed), nullptr);
    SetH263DebugPrint(nullptr);
    ASSERT_EQ(g_messages.size(), 2u);
    EXPECT_EQ(g_messages[0], "InitCode: Wrong code with title Broken\n");
    EXPECT_EQ(g_messages[1], "InitCode: Wrong code with title Reversed\n");
}

TEST(InitCode, EveryTableOfTheEncoderBuilds)
{
    const h263::EncoderTables &t = h263::encoder_tables();
    for (const h263::CodeTable *c : {t.mcbpc_intra, t.mcbpc_inter, t.cbpy_intra, t.cbpy_inter,
                                     t.intra_dc, t.tcoef, t.esc_run, t.esc_level, t.mvd})
        EXPECT_NE(c, nullptr);
    uint8_t buf[8] = {};
    BitWriter bw{buf, 64};
    EXPECT_FALSE(t.tcoef->write(103, bw));
    EXPECT_FALSE(t.tcoef->write(-1, bw));
    EXPECT_EQ(bw.position, 0);
}

TEST(PrintHook, FormatsOnlyWhenAHookIsSet)
{
    g_messages.clear();
    EXPECT_EQ(H263Printf("dropped %d", 1), 0);
    SetH263DebugPrint(record);
    EXPECT_EQ(H263Fprintf(stderr, "size %dx%d", 176, 144), 0);
    SetH263DebugPrint(nullptr);
    ASSERT_EQ(g_messages.size(), 1u);
    EXPECT_EQ(g_messages[0], "size 176x144");
}

std::string bits_of(void (*write)(BitWriter &))
{
    uint8_t buf[8] = {};
    BitWriter bw{buf, 64};
    write(bw);
    std::string s;
    for (int i = 0; i < bw.position; i++)
        s += (buf[i / 8] >> (7 - i % 8)) & 1 ? '1' : '0';
    return s;
}

TEST(ElementWriters, WriteTheCodeWordsOfH263)
{
    EXPECT_EQ(bits_of([](BitWriter &b) { h263::put_intradc(128, b); }), "11111111");
    EXPECT_EQ(bits_of([](BitWriter &b) { h263::put_intradc(1, b); }), "00000001");
    EXPECT_EQ(bits_of([](BitWriter &b) { h263::put_mcbpc(true, 3, 0, b); }), "1");
    EXPECT_EQ(bits_of([](BitWriter &b) { h263::put_mcbpc(false, 3, 3, b); }), "0000011");
    EXPECT_EQ(bits_of([](BitWriter &b) { h263::put_cbpy(3, 15, b); }), "11");
    EXPECT_EQ(bits_of([](BitWriter &b) { h263::put_cbpy(0, 0, b); }), "11");
    EXPECT_EQ(bits_of([](BitWriter &b) { h263::put_mvd(-32, b); }), "0000000000101");
    EXPECT_EQ(bits_of([](BitWriter &b) { h263::put_mvd(1, b); }), "010");
}

TEST(ElementWriters, CoefficientsUseTheTableOrAnEscape)
{
    // last 0 run 0 level -1: "10" and sign 1; last 1 run 2 level 60: escape.
    std::string s = bits_of([](BitWriter &b) {
        int16_t l[64] = {};
        l[0] = -1;
        l[3] = 60;
        h263::put_block_coefficients(l, 0, 0b1001, b);
    });
    EXPECT_EQ(s, "101" "0000011" "1" "000010" "00111100");
}

// Random blocks, sparse to dense, small levels to escapes: the mask form writes
// what the position-by-position form writes.
TEST(ElementWriters, CoefficientMaskEqualsPositionByPosition)
{
    std::mt19937 rng(5);
    for (int trial = 0; trial < 20000; trial++) {
        const int first = trial % 2;
        int16_t l[64] = {};
        uint64_t mask = 0;
        const unsigned density = 1 + rng() % 64, spread = trial % 3 ? 8 : 300;
        for (int i = first; i < 64; i++)
            if (rng() % 64 < density) {
                int v = static_cast<int>(rng() % spread) - static_cast<int>(spread / 2);
                l[i] = static_cast<int16_t>(v ? v : 1);
                mask |= 1ull << i;
            }
        const int last = mask ? 63 - __builtin_clzll(mask) : -1;
        // Some writers too short for the fast path near their end.
        uint8_t a[200] = {}, b[200] = {};
        const int capacity = trial % 4 ? 1600 : 1000;
        BitWriter wa{a, capacity}, wb{b, capacity};
        const int na = h263::put_block_coefficients(l, first, mask, wa);
        const int nb = h263::put_block_coefficients_reference(l, first, last, wb);
        ASSERT_EQ(na, nb) << "trial " << trial;
        ASSERT_EQ(wa.overflow, wb.overflow) << "trial " << trial;
        ASSERT_EQ(0, std::memcmp(a, b, sizeof a)) << "trial " << trial;
    }
}

TEST(Scan, PositionsInvertTheZigzag)
{
    for (int i = 0; i < 64; i++)
        EXPECT_EQ(h263::kScanPosition[h263::kZigzag[i]], i);
}

TEST(CostTable, EqualsTheLengthsOfTheMvdCodes)
{
    for (int d = 0; d < 64; d++)
        EXPECT_EQ(h263::kMvdBits[d], std::string(h263::kMvdCodes[d].bits).size()) << d - 32;
}

TEST(DecoderTables, ReadBackEveryCodeTheEncoderWrites)
{
    const h263::EncoderTables &e = h263::encoder_tables();
    const h263::DecoderTables &d = h263::decoder_tables();
    for (int s = 0; s < 102; s++) {
        uint32_t code = e.tcoef->bits[s] << (12 - e.tcoef->length[s]);
        const int *v = &e.tcoef->values[s * 3];
        EXPECT_EQ(d.tcoef[code].value, v[0] << 12 | v[1] << 4 | v[2]);
        EXPECT_EQ(d.tcoef[code].length, e.tcoef->length[s]);
    }
    for (int s = 0; s < 64; s++) {
        uint32_t code = e.mvd->bits[s] << (13 - e.mvd->length[s]);
        EXPECT_EQ(d.mvd[code].value, s - 32);
    }
    EXPECT_LT(d.tcoef[7].value, 0);     // 0000 0000 0111: no code
    EXPECT_LT(d.mvd[4 << 0].value, 0);  // 0 0000 0000 0100: no code
}

} // namespace
