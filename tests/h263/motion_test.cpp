// Motion search kernels: the vectorised block matching, half-pel matching and
// predictions against their scalar forms, and the search rules at the picture edges.
#include "h263/motion.h"
#include "h263/simd.h"
#include "support/kernels.h"

#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <vector>

namespace {

std::vector<uint8_t> random_plane(std::mt19937 &rng, int w, int h, int smooth)
{
    std::vector<uint8_t> p(static_cast<size_t>(w) * h);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            p[y * w + x] = smooth ? static_cast<uint8_t>((x * 3 + y * 5) / smooth + rng() % 16)
                                  : static_cast<uint8_t>(rng());
    return p;
}

TEST(Average, FourSamplesExactlyAsTheWideSum)
{
    std::mt19937 rng(1);
    for (int trial = 0; trial < 200000; trial++) {
        alignas(16) uint8_t in[4][16], out[16];
        for (auto &row : in)
            for (uint8_t &v : row)
                v = trial < 16 ? static_cast<uint8_t>(trial % 2 ? 255 : 0) : static_cast<uint8_t>(rng());
        const __m128i a = h263::load16(in[0]), b = h263::load16(in[1]), c = h263::load16(in[2]),
                      d = h263::load16(in[3]);
        h263::store16(out, h263::avg4_epu8(a, b, c, d));
        for (int i = 0; i < 16; i++)
            ASSERT_EQ(out[i], (in[0][i] + in[1][i] + in[2][i] + in[3][i] + 2) >> 2);
        h263::store16(out, h263::avg4_from_pairs(_mm_avg_epu8(a, b), _mm_avg_epu8(c, d),
                                                 _mm_xor_si128(a, b), _mm_xor_si128(c, d)));
        for (int i = 0; i < 16; i++)
            ASSERT_EQ(out[i], (in[0][i] + in[1][i] + in[2][i] + in[3][i] + 2) >> 2);
    }
}

TEST(BlockMatcher, VectorisedEqualsTheRowByRowRule)
{
    std::mt19937 rng(2);
    const int w = 64, h = 48;
    for (int step : {1, 2, 4}) {
        h263::BlockMatcher bm(step);
        for (int trial = 0; trial < 3000; trial++) {
            // The reference as the encoder's pictures hold it, its chroma after the luma: the
            // displacements down and right of a block at the bottom edge read a row below it.
            std::vector<uint8_t> a = random_plane(rng, w, h, trial % 3),
                                 b = random_plane(rng, w, h * 3 / 2, trial % 3);
            int ax = static_cast<int>(rng() % (w - 16)), ay = static_cast<int>(rng() % (h - 16));
            int bx = static_cast<int>(rng() % (w - 16)), by = static_cast<int>(rng() % (h - 16));
            const uint8_t *pa = &a[ay * w + ax], *pb = &b[by * w + bx];
            bm.set_block(pa, w);
            int full = h263::block_sad_reference(step, pa, w, pb, w, INT_MAX);
            ASSERT_EQ(bm.sad(pb, w, INT_MAX), full);
            int bound = static_cast<int>(rng() % static_cast<unsigned>(full + 100)) - 50;
            int ref = h263::block_sad_reference(step, pa, w, pb, w, bound);
            int got = bm.sad(pb, w, bound);
            if (ref <= bound)
                ASSERT_EQ(got, ref);
            else
                ASSERT_GT(got, bound);
            int act = h263::block_activity_reference(step, pa, w, INT_MAX);
            ASSERT_EQ(bm.activity(INT_MAX), act);
            int abound = static_cast<int>(rng() % static_cast<unsigned>(act + 100)) - 50;
            if (h263::block_activity_reference(step, pa, w, abound) <= abound)
                ASSERT_EQ(bm.activity(abound), act);
            else
                ASSERT_GT(bm.activity(abound), abound);
        }
    }
}

TEST(HalfPel, DisplacementSadsEqualTheScalarForm)
{
    std::mt19937 rng(3);
    const int w = 64, h = 48;
    for (int step : {1, 2}) {
        h263::BlockMatcher bm(step);
        for (int trial = 0; trial < 2000; trial++) {
            // The reference as the encoder's pictures hold it, its chroma after the luma: the
            // displacements down and right of a block at the bottom edge read a row below it.
            std::vector<uint8_t> a = random_plane(rng, w, h, trial % 3),
                                 b = random_plane(rng, w, h * 3 / 2, trial % 3);
            // Blocks at the top and left edges too, where the row above or the column
            // left of the block is not there.
            const int ax = static_cast<int>(rng() % (w - 15)), ay = static_cast<int>(rng() % (h - 15));
            const int bx = trial % 4 == 0 ? 0 : static_cast<int>(rng() % (w - 15));
            const int by = trial % 4 == 1 ? 0 : static_cast<int>(rng() % (h - 15));
            const bool up = by > 0, left = bx > 0;
            const uint8_t *pa = &a[ay * w + ax], *pb = &b[by * w + bx];
            int want[8];
            h263::half_pel_sads_reference(step, pa, w, pb, w, up, left, want);
            for (const auto &k : h263test::kKernelChoices) {
                h263test::UseKernels use(k);
                bm.set_block(pa, w);
                int got[8];
                bm.half_pel_sads(pb, w, up, left, got);
                for (int n = 0; n < 8; n++) {
                    const int ox = h263::kHalfPelOffsets[n][0], oy = h263::kHalfPelOffsets[n][1];
                    if ((oy < 0 && !up) || (ox < 0 && !left))
                        continue;
                    ASSERT_EQ(got[n], want[n]) << "step " << step << ", displacement " << n
                                               << ", " << k.name;
                }
            }
        }
    }
}

TEST(HalfPel, MacroblockPredictionEqualsTheScalarForm)
{
    std::mt19937 rng(4);
    const int w = 64, h = 48, cw = w / 2;
    std::vector<uint8_t> buf = random_plane(rng, w, h * 3 / 2, 0);
    h263::Picture ref = h263::Picture::over(buf.data(), w, h);
    const int x = 16, y = 16;
    for (int vy = -3; vy <= 3; vy++)
        for (int vx = -3; vx <= 3; vx++) {
            std::vector<uint8_t> out(buf.size(), 0), want(buf.size(), 0);
            h263::Picture pic = h263::Picture::over(out.data(), w, h);
            h263::Picture expect = h263::Picture::over(want.data(), w, h);
            h263::predict_macroblock(x, y, ref, h263::MotionVector::from_half(vx, vy), pic);
            h263::predict_block_reference(ref.y, w, x, y, vx, vy, 16, expect.y + y * w + x);
            const int cvx = h263::chroma_vector(vx), cvy = h263::chroma_vector(vy);
            const int co = (y / 2) * cw + x / 2;
            h263::predict_block_reference(ref.u, cw, x / 2, y / 2, cvx, cvy, 8, expect.u + co);
            h263::predict_block_reference(ref.v, cw, x / 2, y / 2, cvx, cvy, 8, expect.v + co);
            ASSERT_EQ(out, want) << vx << "," << vy;
        }
}

TEST(HalfPel, ChromaPredictionEqualsTheScalarForm)
{
    std::mt19937 rng(5);
    const int cw = 40, ch = 30;
    std::vector<uint8_t> u = random_plane(rng, cw, ch, 0), v = random_plane(rng, cw, ch, 0);
    for (int vy = -3; vy <= 3; vy++)
        for (int vx = -3; vx <= 3; vx++) {
            std::vector<uint8_t> au(cw * ch, 0), av(cw * ch, 0), bu(cw * ch, 0), bv(cw * ch, 0);
            const int o = 10 * cw + 12;
            h263::predict_chroma(u.data(), v.data(), cw, 12, 10, vx, vy, au.data() + o,
                                 av.data() + o);
            h263::predict_block_reference(u.data(), cw, 12, 10, vx, vy, 8, bu.data() + o);
            h263::predict_block_reference(v.data(), cw, 12, 10, vx, vy, 8, bv.data() + o);
            ASSERT_EQ(au, bu) << vx << "," << vy;
            ASSERT_EQ(av, bv) << vx << "," << vy;
        }
}

TEST(Search, StaysInsideThePictureAndKeepsTheZeroVectorOnEqualCost)
{
    const int w = 64, h = 48;
    std::vector<uint8_t> flat(w * h * 3 / 2, 90);
    h263::Picture pic = h263::Picture::over(flat.data(), w, h);
    h263::BlockMatcher bm(2);
    // A flat picture with Q 0: every vector, the predictor's included, costs the
    // same, and only a strictly cheaper one replaces the zero vector.
    for (auto [x, y] : {std::pair{0, 0}, std::pair{48, 32}, std::pair{16, 16}}) {
        bm.set_block(flat.data() + y * w + x, w);
        h263::MotionVector mv;
        int cost = h263::full_pel_search(bm, x, y, pic, pic, 0, 0, 4, 2, mv);
        EXPECT_EQ(mv.x, 0);
        EXPECT_EQ(mv.y, 0);
        EXPECT_EQ(cost, 0);
    }
    h263::SearchWindow win = h263::SearchWindow::around(0, 0, w, h);
    EXPECT_EQ(win.xmin, 0);
    EXPECT_EQ(win.ymin, 0);
    win = h263::SearchWindow::around(48, 32, w, h);
    EXPECT_EQ(win.xmax, 0);
    EXPECT_EQ(win.ymax, 0);
    // A bright bar left of the block at the left edge: the search may not reach past x = 0.
    std::vector<uint8_t> img(w * h * 3 / 2, 0);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < 16; x++)
            img[y * w + x] = static_cast<uint8_t>(x * 16);
    std::vector<uint8_t> prev(img.size(), 0);
    for (int y = 0; y < h; y++)
        for (int x = 0; x + 3 < w; x++)
            prev[y * w + x + 3] = img[y * w + x];
    h263::Picture cur = h263::Picture::over(img.data(), w, h), pp = h263::Picture::over(prev.data(), w, h);
    bm.set_block(img.data() + 16 * w, w);
    h263::MotionVector mv;
    h263::full_pel_search(bm, 0, 16, cur, pp, bm.sad(prev.data() + 16 * w, w, INT_MAX), 2, 0, 0, mv);
    EXPECT_EQ(mv.x, 3);     // found to the right, where the content moved
}

} // namespace
