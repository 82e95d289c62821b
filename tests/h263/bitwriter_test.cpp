// BitWriter and BitReader: fixed cases and a seeded random round trip.
#include "h263/bitreader.h"
#include "h263/bitwriter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

TEST(BitWriter, PictureStartCodeLeavesTheLastBitsOfTheThirdByteToWhatFollows)
{
    uint8_t buf[8];
    std::memset(buf, 0xff, sizeof buf);
    BitWriter bw{buf, 64};
    bw.put_bit_string("0000000000000000100000");
    EXPECT_EQ(bw.position, 22);
    EXPECT_EQ(buf[0], 0x00);
    EXPECT_EQ(buf[1], 0x00);
    EXPECT_EQ(buf[2] & 0xfc, 0x80);
    bw.put_bits(3, 2);
    EXPECT_EQ(buf[2], 0x83);
}

TEST(BitWriter, ByteAlignWritesZerosUpToTheBoundary)
{
    uint8_t buf[16] = {};
    BitWriter bw{buf, 128};
    EXPECT_EQ(bw.byte_align(), 0);
    bw.position = 50;
    std::memset(buf, 0xff, sizeof buf);
    EXPECT_EQ(bw.byte_align(), 6);
    EXPECT_EQ(bw.position, 56);
    EXPECT_EQ(buf[6], 0xc0);    // bits 48, 49 kept, 50..55 cleared
}

TEST(BitWriter, RefusesToWritePastItsCapacity)
{
    uint8_t buf[2] = {};
    BitWriter bw{buf, 16};
    bw.put_bits(0xfff, 12);
    bw.put_bits(0xff, 8);
    EXPECT_TRUE(bw.overflow);
    EXPECT_EQ(bw.position, 12);
}

TEST(BitRoundTrip, RandomFieldsReadBackAsWritten)
{
    const unsigned seed = 20240607;
    std::mt19937 rng(seed);
    std::vector<uint8_t> buf(4096, 0);
    BitWriter bw{buf.data(), static_cast<int>(buf.size() * 8)};
    std::vector<std::pair<uint32_t, int>> fields;
    while (bw.position < 30000) {
        int n = 1 + static_cast<int>(rng() % 32);
        uint32_t v = rng() & (n == 32 ? 0xffffffffu : ((1u << n) - 1));
        fields.emplace_back(v, n);
        bw.put_bits(v, n);
    }
    BitReader br(buf.data(), (static_cast<size_t>(bw.position) + 7) / 8);
    for (auto [v, n] : fields)
        ASSERT_EQ(br.getbits(n), v) << "seed " << seed;
    EXPECT_EQ(br.getbits(32), 0u) << "past the end reads zeros";
}

// Runs of short codes from any start position over stale bytes: the appender
// leaves the bytes and the position put_bits leaves.
TEST(BitAppender, WritesWhatPutBitsWrites)
{
    std::mt19937 rng(17);
    for (int trial = 0; trial < 2000; trial++) {
        std::vector<uint8_t> a(256), b;
        for (uint8_t &x : a)
            x = static_cast<uint8_t>(rng());
        b = a;
        BitWriter wa{a.data(), 2048}, wb{b.data(), 2048};
        wa.position = wb.position = static_cast<int>(rng() % 64);
        {
            BitAppender out(wa);
            for (int i = 0; i < 30; i++) {
                const int n = 1 + static_cast<int>(rng() % 56);
                const uint64_t v = ((uint64_t{rng()} << 32) | rng()) & ((1ull << n) - 1);
                out.put(v, n);
                if (n > 32)
                    wb.put_bits(static_cast<uint32_t>(v >> 32), n - 32);
                wb.put_bits(static_cast<uint32_t>(v), n > 32 ? 32 : n);
            }
        }
        ASSERT_EQ(wa.position, wb.position) << "trial " << trial;
        ASSERT_TRUE(wa.has_room(0));
        for (int i = 0; i < wb.position; i++)
            ASSERT_EQ((a[i / 8] >> (7 - i % 8)) & 1, (b[i / 8] >> (7 - i % 8)) & 1)
                << "trial " << trial << " bit " << i;
    }
}

} // namespace
