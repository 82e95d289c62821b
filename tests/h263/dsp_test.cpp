// Transforms and quantiser: the vectorised DCT against its scalar reference, the
// reduced inverse against the full one, and the quantiser cases.
#include "h263/block_coder.h"
#include "h263/dsp.h"
#include "h263/quant.h"
#include "support/kernels.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

namespace {

TEST(ForwardDct, VectorisedEqualsScalarAndTheTextbookTransform)
{
    std::mt19937 rng(7);
    for (int trial = 0; trial < 2000; trial++) {
        int32_t blk[64], a[64], b[64];
        for (int &v : blk)
            v = static_cast<int>(rng() % 511) - 255;
        h263::fdct_exact_reference(blk, b);
        for (const auto &k : h263test::kKernelChoices) {
            h263test::UseKernels use(k);
            h263::fdct_exact(blk, a);
            for (int i = 0; i < 64; i++)
                ASSERT_EQ(a[i], b[i]) << k.name << ", trial " << trial;
        }
        for (int v = 0; v < 8; v++)
            for (int u = 0; u < 8; u++) {
                double s = 0;
                for (int y = 0; y < 8; y++)
                    for (int x = 0; x < 8; x++)
                        s += blk[y * 8 + x] * std::cos((2 * x + 1) * u * M_PI / 16) *
                             std::cos((2 * y + 1) * v * M_PI / 16);
                s *= (u ? 0.5 : 0.5 / std::sqrt(2.0)) * (v ? 0.5 : 0.5 / std::sqrt(2.0));
                ASSERT_NEAR(a[v * 8 + u], s, 1.01);
            }
    }
}

TEST(InverseDct, ReducedEqualsFullForBlocksWithOnlyCoefficients0_1_8)
{
    std::mt19937 rng(11);
    for (int trial = 0; trial < 60000; trial++) {
        // Encoder range, then any 16-bit value (a decoder takes what a stream gives).
        const unsigned range = trial % 2 ? 4096 : 65536;
        int16_t a[64] = {}, b[64], c[64];
        for (int i : {0, 1, 8})
            if (i == 0 || trial % 5 != 4)   // some DC-only blocks
                a[i] = static_cast<int16_t>(static_cast<int>(rng() % range) -
                                            static_cast<int>(range / 2));
        __m128i rows[8];
        h263::idct_reduced_rows(a[0], a[1], a[8], rows);
        for (int r = 0; r < 8; r++)
            _mm_storeu_si128(reinterpret_cast<__m128i *>(c + 8 * r), rows[r]);
        std::copy(a, a + 64, b);
        h263::idct(a);
        h263::idct_reduced(b);
        for (int i = 0; i < 64; i++) {
            ASSERT_EQ(a[i], b[i]) << "trial " << trial;
            ASSERT_EQ(a[i], c[i]) << "trial " << trial;
        }
    }
}

TEST(InverseDct, DcOnly1024GivesMidGrey)
{
    int16_t b[64] = {1024};
    h263::idct(b);
    for (int v : b)
        EXPECT_EQ(v, 128);
}

TEST(FastDct, EstimatesFromTheBorder)
{
    int32_t blk[64], c[64];
    for (int i = 0; i < 64; i++)
        blk[i] = 100;
    h263::fdct_fast(blk, c);
    EXPECT_EQ(c[0], 800);
    EXPECT_EQ(c[1], 0);
    EXPECT_EQ(c[8], 0);
    for (int i = 0; i < 8; i++)
        blk[i * 8] = 164;   // left column brighter: (8*64*21) >> 6
    h263::fdct_fast(blk, c);
    EXPECT_EQ(c[1], (8 * 64 * 21) >> 6);
}

TEST(Quantiser, Q10Cases)
{
    h263::Quantiser q;
    q.setup(10);
    EXPECT_EQ(q.quant_level(19), 0);
    EXPECT_EQ(q.quant_level(20), 1);
    EXPECT_EQ(q.quant_level(39), 1);
    EXPECT_EQ(q.quant_level(2040), 102);
    EXPECT_EQ(q.dequant(1), 29);
    EXPECT_EQ(q.dequant(2), 49);
    EXPECT_EQ(q.dequant(-2), -49);
    int32_t c[64] = {};
    int16_t l[64];
    c[5] = 24;
    c[6] = -24;
    EXPECT_TRUE(q.quantise_inter(c, l));
    EXPECT_EQ(l[5], 0);
    EXPECT_EQ(l[6], -1);
    c[0] = 0;
    q.quantise_intra(c, l);
    EXPECT_EQ(l[0], 1);
    c[0] = 2040;
    q.quantise_intra(c, l);
    EXPECT_EQ(l[0], 254);
}

} // namespace

namespace {

TEST(Quantiser, ArithmeticFormsEqualTheTables)
{
    h263::Quantiser q;
    for (int qp = 1; qp <= 31; qp++) {
        q.setup(qp);
        // The 16-bit division of the vectorised exact path, over its whole input range.
        for (uint32_t v = 0; v < 4096; v++)
            ASSERT_EQ((v * q.recip16() >> 16) >> q.shift16(), v / (2u * qp))
                << "Q " << qp << " v " << v;
        for (int base = -5000; base < 5000; base += 64) {
            int32_t c[64];
            int16_t l[64], d[64];
            for (int i = 0; i < 64; i++)
                c[i] = base + i;
            q.quantise_inter(c, l);
            for (int i = 0; i < 64; i++)
                ASSERT_EQ(l[i], q.quant_level(c[i] - (qp >> 1))) << "Q " << qp << " c " << c[i];
            q.quantise_intra(c, l);
            for (int i = 1; i < 64; i++)
                ASSERT_EQ(l[i], q.quant_level(c[i])) << "Q " << qp << " c " << c[i];
            q.dequantise_intra(l, true, d);
            for (int i = 1; i < 64; i++)
                ASSERT_EQ(d[i], q.dequant(l[i]));
            for (int i = 0; i < 64; i++)
                l[i] = static_cast<int16_t>((base / 40 + i) % 128);
            q.dequantise_inter(l, true, d);
            for (int i = 0; i < 64; i++)
                ASSERT_EQ(d[i], q.dequant(l[i]));
        }
    }
}

} // namespace

namespace {

TEST(InverseDct, VectorisedEqualsTheScalarReferenceOverTheWholeInputRange)
{
    for (const auto &k : h263test::kKernelChoices) {
        h263test::UseKernels use(k);
        SCOPED_TRACE(k.name);
        std::mt19937 rng(5);
        for (int trial = 0; trial < 100000; trial++) {
            int16_t a[64], b[64];
            int range = trial % 4 == 0 ? 65536 : (trial % 4 == 1 ? 4096 : 512);
            int sparse = trial % 3;
            for (int i = 0; i < 64; i++) {
                int v = static_cast<int>(rng() % static_cast<unsigned>(range)) - range / 2;
                a[i] = static_cast<int16_t>(sparse && rng() % 4 ? 0 : v);
            }
            std::copy(a, a + 64, b);
            // Into samples (set or added), then in place.
            uint8_t put[8 * 10], want[8 * 10];
            const bool add = trial % 2;
            for (int i = 0; i < 80; i++)
                put[i] = want[i] = static_cast<uint8_t>(rng());
            h263::idct_put(a, put, 10, add);
            h263::idct(a);
            h263::idct_reference(b);
            for (int i = 0; i < 64; i++)
                ASSERT_EQ(a[i], b[i]) << "trial " << trial << " index " << i;
            for (int r = 0; r < 8; r++)
                for (int c = 0; c < 8; c++)
                    want[r * 10 + c] =
                        h263::clip_pixel(b[r * 8 + c] + (add ? want[r * 10 + c] : 0));
            ASSERT_EQ(0, std::memcmp(put, want, sizeof put)) << "trial " << trial;
        }
    }
}

} // namespace

namespace {

// Random blocks of every kind the picture coder meets: flat, smooth ramps and
// noise, over a prediction or not, so that the fast estimate is kept, coded,
// or replaced by the exact transform.
TEST(BlockCoder, VectorisedEqualsScalar)
{
    for (const auto &k : h263test::kKernelChoices) {
        h263test::UseKernels use(k);
        SCOPED_TRACE(k.name);
        std::mt19937 rng(3);
        h263::Quantiser q;
        int fast_kept = 0, exact = 0;
        for (int trial = 0; trial < 60000; trial++) {
            q.setup(1 + trial % 31);
            const bool intra = trial % 3 == 0, exact_only = trial % 7 == 0;
            uint8_t src[8 * 12], pred[8 * 10];
            const int kind = static_cast<int>(rng() % 4);
            const int base = static_cast<int>(rng() % 256), gx = static_cast<int>(rng() % 41) - 20,
                      gy = static_cast<int>(rng() % 41) - 20, noise = 1 + static_cast<int>(rng() % 64);
            for (int r = 0; r < 8; r++)
                for (int c = 0; c < 12; c++) {
                    int v = base;
                    if (kind >= 1)
                        v += (gx * c + gy * r) / 4;
                    if (kind >= 2)
                        v += static_cast<int>(rng() % static_cast<unsigned>(noise)) - noise / 2;
                    if (kind == 3)
                        v = static_cast<int>(rng() % 256);
                    src[r * 12 + c] = h263::clip_pixel(v);
                }
            for (int r = 0; r < 8; r++)
                for (int c = 0; c < 10; c++)
                    pred[r * 10 + c] = h263::clip_pixel(src[r * 12 + c] + static_cast<int>(rng() % 9) - 4 +
                                                        (kind == 0 ? static_cast<int>(rng() % 60) : 0));
            uint8_t rec_a[8 * 10], rec_b[8 * 10];
            std::copy(pred, pred + 80, rec_a);
            std::copy(pred, pred + 80, rec_b);
            h263::BlockLevels a, b;
            bool ca = h263::code_block(q, intra, exact_only, src, 12, rec_a, 10, a);
            bool cb = h263::code_block_reference(q, intra, exact_only, src, 12, rec_b, 10, b);
            ASSERT_EQ(ca, cb) << "trial " << trial;
            ASSERT_EQ(a.last, b.last) << "trial " << trial;
            ASSERT_EQ(a.nonzero, b.nonzero) << "trial " << trial;
            ASSERT_EQ(ca, a.nonzero != 0);
            ASSERT_EQ(a.last, a.nonzero ? 63 - __builtin_clzll(a.nonzero) : -1);
            if (intra) {
                ASSERT_EQ(a.scan[0], b.scan[0]) << "trial " << trial;
            }
            for (int i = intra ? 1 : 0; i <= a.last; i++)
                if (a.nonzero >> i & 1) {
                    ASSERT_NE(a.scan[i], 0) << "trial " << trial << " position " << i;
                    ASSERT_EQ(a.scan[i], b.scan[i]) << "trial " << trial << " position " << i;
                }
            for (int i = 0; i < 80; i++)
                ASSERT_EQ(rec_a[i], rec_b[i]) << "trial " << trial << " sample " << i;
            (a.last > 2 ? exact : fast_kept)++;
        }
        EXPECT_GT(fast_kept, 1000);
        EXPECT_GT(exact, 1000);
    }
}

} // namespace

namespace {

// Whole macroblocks, mostly close to their prediction: the six blocks coded
// together give what each block coded alone by the scalar form gives.
TEST(BlockCoder, MacroblockEqualsBlockByBlockScalar)
{
    for (const auto &k : h263test::kKernelChoices) {
        h263test::UseKernels use(k);
        SCOPED_TRACE(k.name);
        std::mt19937 rng(11);
        h263::Quantiser q;
        int skipped = 0, coded = 0;
        for (int trial = 0; trial < 20000; trial++) {
            q.setup(1 + trial % 31);
            const bool intra = trial % 11 == 0, exact_only = trial % 13 == 0;
            const int spread = 1 + static_cast<int>(rng() % (trial % 4 == 0 ? 120 : 12));
            // Luma in 16 rows at stride 20, U and V 8x8 at stride 10; rec[1] for the scalar form.
            uint8_t src_y[16 * 20], src_u[8 * 10], src_v[8 * 10];
            uint8_t rec_y[2][16 * 20], rec_u[2][8 * 10], rec_v[2][8 * 10];
            auto fill = [&](uint8_t *src, uint8_t *rec0, uint8_t *rec1, int n) {
                const int base = static_cast<int>(rng() % 256);
                for (int i = 0; i < n; i++) {
                    src[i] = h263::clip_pixel(base + static_cast<int>(rng() % 17) - 8);
                    rec0[i] = rec1[i] = h263::clip_pixel(
                        src[i] + static_cast<int>(rng() % static_cast<unsigned>(spread)) - spread / 2);
                }
            };
            fill(src_y, rec_y[0], rec_y[1], 16 * 20);
            fill(src_u, rec_u[0], rec_u[1], 8 * 10);
            fill(src_v, rec_v[0], rec_v[1], 8 * 10);
            // Luma blocks as in a picture, or the lower two moved right by two samples.
            h263::BlockPlace place[6], scalar[6];
            for (int n = 0; n < 4; n++) {
                const int off = (n >> 1) * (8 * 20 + (trial % 2) * 2) + (n & 1) * 8;
                place[n] = {src_y + off, rec_y[0] + off, 20};
                scalar[n] = {src_y + off, rec_y[1] + off, 20};
            }
            place[4] = {src_u, rec_u[0], 10};
            place[5] = {src_v, rec_v[0], 10};
            scalar[4] = {src_u, rec_u[1], 10};
            scalar[5] = {src_v, rec_v[1], 10};
            h263::BlockLevels got[6];
            const int cbp = h263::code_macroblock(q, intra, exact_only, place, got);
            for (int n = 0; n < 6; n++) {
                h263::BlockLevels want;
                const bool c = h263::code_block_reference(q, intra, exact_only, scalar[n].src,
                                                          scalar[n].stride, scalar[n].rec,
                                                          scalar[n].stride, want);
                ASSERT_EQ((cbp >> (5 - n)) & 1, c ? 1 : 0) << "trial " << trial << " block " << n;
                ASSERT_EQ(got[n].last, want.last) << "trial " << trial << " block " << n;
                ASSERT_EQ(got[n].nonzero, want.nonzero) << "trial " << trial << " block " << n;
                if (intra) {
                    ASSERT_EQ(got[n].scan[0], want.scan[0]) << "trial " << trial << " block " << n;
                }
                for (int i = intra ? 1 : 0; i <= want.last; i++)
                    if (want.nonzero >> i & 1) {
                        ASSERT_EQ(got[n].scan[i], want.scan[i]) << "trial " << trial << " block " << n;
                    }
                (c ? coded : skipped)++;
            }
            ASSERT_EQ(0, std::memcmp(rec_y[0], rec_y[1], sizeof rec_y[0])) << "trial " << trial;
            ASSERT_EQ(0, std::memcmp(rec_u[0], rec_u[1], sizeof rec_u[0])) << "trial " << trial;
            ASSERT_EQ(0, std::memcmp(rec_v[0], rec_v[1], sizeof rec_v[0])) << "trial " << trial;
        }
        EXPECT_GT(skipped, 10000);
        EXPECT_GT(coded, 10000);
    }
}

} // namespace
