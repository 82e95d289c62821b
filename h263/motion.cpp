// Motion search of the encoder.
#include "h263/motion.h"

#include "h263/cpu.h"
#include "h263/simd.h"

#include <cstddef>
#include <cstdlib>
#include <immintrin.h>

namespace h263 {

int block_sad_reference(int step, const uint8_t *a, int sa, const uint8_t *b, int sb, int bound)
{
    int sum = 0;
    for (int r = 0; r < 16; r += step) {
        for (int c = 0; c < 16; c += step)
            sum += std::abs(a[r * sa + c] - b[r * sb + c]);
        if (sum * step * step > bound)
            break;
    }
    return sum * step * step;
}

int block_activity_reference(int step, const uint8_t *a, int sa, int bound)
{
    int count = (16 / step) * (16 / step);
    int total = 0;
    for (int r = 0; r < 16; r += step)
        for (int c = 0; c < 16; c += step)
            total += a[r * sa + c];
    int mean = total / count;
    int sum = 0;
    for (int r = 0; r < 16; r += step) {
        for (int c = 0; c < 16; c += step)
            sum += std::abs(a[r * sa + c] - mean);
        if (sum * step * step > bound)
            break;
    }
    return sum * step * step;
}

void half_pel_sads_reference(int step, const uint8_t *a, int sa, const uint8_t *b, int sb,
                             bool up, bool left, int sad[8])
{
    for (int n = 0; n < 8; n++) {
        const int ox = kHalfPelOffsets[n][0], oy = kHalfPelOffsets[n][1];
        int sum = 0;
        sad[n] = 0;
        if ((oy < 0 && !up) || (ox < 0 && !left))
            continue;
        for (int r = 0; r < 16; r += step)
            for (int c = 0; c < 16; c += step)
                sum += std::abs(a[r * sa + c] - half_pel_sample(b, sb, c + (ox >> 1), r + (oy >> 1),
                                                                ox & 1, oy & 1));
        sad[n] = sum * step * step;
    }
}

namespace {

inline int sad_total(__m128i acc)
{
    return _mm_cvtsi128_si32(acc) + _mm_cvtsi128_si32(_mm_srli_si128(acc, 8));
}

} // namespace

void BlockMatcher::set_block(const uint8_t *a, int sa)
{
    a_ = a;
    sa_ = sa;
    if (step_ == 2)
        for (int i = 0; i < 4; i++)
            _mm_store_si128(reinterpret_cast<__m128i *>(packed_ + 16 * i),
                            pack_even_rows(a + 4 * i * sa, sa));
}

int BlockMatcher::sad_other(const uint8_t *b, int sb, int bound) const
{
    if (step_ == 1) {
        __m128i acc = _mm_setzero_si128();
        for (int r = 0; r < 16; r++)
            acc = _mm_add_epi64(acc, _mm_sad_epu8(load16(a_ + r * sa_), load16(b + r * sb)));
        return sad_total(acc);
    }
    return block_sad_reference(step_, a_, sa_, b, sb, bound);
}

int BlockMatcher::activity(int bound) const
{
    if (step_ == 2) {
        const __m128i z = _mm_setzero_si128();
        __m128i rows[4], acc = z;
        for (int i = 0; i < 4; i++) {
            rows[i] = _mm_load_si128(reinterpret_cast<const __m128i *>(packed_ + 16 * i));
            acc = _mm_add_epi64(acc, _mm_sad_epu8(rows[i], z));
        }
        const __m128i mean = _mm_set1_epi8(static_cast<char>(sad_total(acc) / 64));
        acc = z;
        for (int i = 0; i < 4; i++)
            acc = _mm_add_epi64(acc, _mm_sad_epu8(rows[i], mean));
        return sad_total(acc) * 4;
    }
    return block_activity_reference(step_, a_, sa_, bound);
}

namespace {

/** BlockMatcher::half_pel_sads of step 2 with SSE2, one sampled row a register. */
void half_pel_sads_sse2(const uint8_t *packed, const uint8_t *b, int sb, bool up, bool left,
                        int sad[8])
{
    // In 16-bit lanes, the even samples of one row (e) and their sums with the
    // sample right (r) and left (l) of each; the sampled rows' interpolations
    // from those of the row itself, the row above and the row below.
    struct Row {
        __m128i e, r, l;
    };
    const __m128i low = _mm_set1_epi16(0x00ff), one = _mm_set1_epi16(1), two = _mm_set1_epi16(2);
    auto row = [&](int k) {
        const uint8_t *p = b + k * sb;
        const __m128i v = load16(p), e = _mm_and_si128(v, low);
        const __m128i l = _mm_and_si128(left ? load16(p - 1) : v, low);
        return Row{e, _mm_add_epi16(e, _mm_srli_epi16(v, 8)), _mm_add_epi16(e, l)};
    };
    auto mean2 = [&](__m128i s) { return _mm_srli_epi16(_mm_add_epi16(s, one), 1); };
    auto mean4 = [&](__m128i s, __m128i t) {
        return _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(s, t), two), 2);
    };
    __m128i acc[8];
    for (__m128i &v : acc)
        v = _mm_setzero_si128();
    Row u = row(up ? -1 : 0);
    for (int i = 0; i < 4; i++) {
        __m128i c[8][2];    // the interpolations of rows 4i and 4i + 2
        for (int h = 0; h < 2; h++) {
            const Row m = row(4 * i + 2 * h), d = row(4 * i + 2 * h + 1);
            c[0][h] = _mm_avg_epu16(u.e, m.e);
            c[1][h] = mean4(u.r, m.r);
            c[2][h] = mean2(m.r);
            c[3][h] = mean4(m.r, d.r);
            c[4][h] = _mm_avg_epu16(m.e, d.e);
            c[5][h] = mean4(m.l, d.l);
            c[6][h] = mean2(m.l);
            c[7][h] = mean4(u.l, m.l);
            u = d;
        }
        const __m128i blk = _mm_load_si128(reinterpret_cast<const __m128i *>(packed + 16 * i));
        for (int n = 0; n < 8; n++)
            acc[n] = _mm_add_epi64(acc[n], _mm_sad_epu8(_mm_packus_epi16(c[n][0], c[n][1]), blk));
    }
    for (int n = 0; n < 8; n++)
        sad[n] = sad_total(acc[n]) * 4;
}

/**
 * In 16-bit lanes, the even samples of two rows of a block (e) and their sums
 * with the sample right (r) and left (l) of each: the row at pa in the low
 * half, the row at pb in the high half. Without left, l is meaningless.
 */
struct RowPair {
    __m256i e, r, l;
};

__attribute__((target("avx2"))) inline __m256i load_rows(const uint8_t *pa, const uint8_t *pb)
{
    return _mm256_inserti128_si256(_mm256_castsi128_si256(load16(pa)), load16(pb), 1);
}

__attribute__((target("avx2"))) inline RowPair row_pair(const uint8_t *pa, const uint8_t *pb,
                                                        bool left)
{
    const __m256i low = _mm256_set1_epi16(0x00ff);
    const __m256i v = load_rows(pa, pb), e = _mm256_and_si256(v, low);
    const __m256i l = _mm256_and_si256(left ? load_rows(pa - 1, pb - 1) : v, low);
    return {e, _mm256_add_epi16(e, _mm256_srli_epi16(v, 8)), _mm256_add_epi16(e, l)};
}

/** The high half of a and the low half of b: the rows between those of a and b. */
__attribute__((target("avx2"))) inline RowPair rows_between(const RowPair &a, const RowPair &b)
{
    return {_mm256_permute2x128_si256(a.e, b.e, 0x21), _mm256_permute2x128_si256(a.r, b.r, 0x21),
            _mm256_permute2x128_si256(a.l, b.l, 0x21)};
}

/** (s + 1) >> 1 and (s + t + 2) >> 2 in 16-bit lanes: the means of two and of four samples. */
__attribute__((target("avx2"))) inline __m256i mean2(__m256i s)
{
    return _mm256_srli_epi16(_mm256_add_epi16(s, _mm256_set1_epi16(1)), 1);
}

__attribute__((target("avx2"))) inline __m256i mean4(__m256i s, __m256i t)
{
    return _mm256_srli_epi16(_mm256_add_epi16(_mm256_add_epi16(s, t), _mm256_set1_epi16(2)), 2);
}

/** The sums of the four 64-bit lanes of a and of b, as two 32-bit values. */
__attribute__((target("avx2"))) inline __m128i lane_sums(__m256i a, __m256i b)
{
    const __m256i ab = _mm256_or_si256(a, _mm256_slli_epi64(b, 32));
    const __m128i s = _mm_add_epi32(_mm256_castsi256_si128(ab), _mm256_extracti128_si256(ab, 1));
    return _mm_add_epi32(s, _mm_unpackhi_epi64(s, s));
}

/**
 * BlockMatcher::half_pel_sads of step 2 with AVX2, two sampled rows a register
 * (rows 4i and 4i + 2); packed: the matcher's sampled block.
 */
__attribute__((target("avx2"))) void half_pel_sads_avx2(const uint8_t *packed, const uint8_t *b,
                                                        int sb, bool up, bool left, int sad[8])
{
    __m256i acc[8];
    for (__m256i &v : acc)
        v = _mm256_setzero_si256();
    RowPair u = row_pair(up ? b - sb : b, b + sb, left), d;
    for (int i = 0; i < 4; i++) {
        // m: rows 4i and 4i + 2; u: the rows above them, d: the rows below.
        const uint8_t *p = b + 4 * i * sb;
        const RowPair m = row_pair(p, p + 2 * sb, left), below = row_pair(p + sb, p + 3 * sb, left);
        if (i > 0)
            u = rows_between(d, below);
        d = below;
        // The block's samples in 16-bit lanes: their sums of absolute differences
        // are those of the bytes.
        const __m256i blk = _mm256_cvtepu8_epi16(
            _mm_load_si128(reinterpret_cast<const __m128i *>(packed + 16 * i)));
        const __m256i c[8] = {_mm256_avg_epu16(u.e, m.e), mean4(u.r, m.r), mean2(m.r),
                              mean4(m.r, d.r),            _mm256_avg_epu16(m.e, d.e),
                              mean4(m.l, d.l),            mean2(m.l),
                              mean4(u.l, m.l)};
        for (int n = 0; n < 8; n++)
            acc[n] = _mm256_add_epi64(acc[n], _mm256_sad_epu8(c[n], blk));
    }
    const __m128i s01 = lane_sums(acc[0], acc[1]), s23 = lane_sums(acc[2], acc[3]);
    const __m128i s45 = lane_sums(acc[4], acc[5]), s67 = lane_sums(acc[6], acc[7]);
    _mm_storeu_si128(reinterpret_cast<__m128i *>(sad),
                     _mm_slli_epi32(_mm_unpacklo_epi64(s01, s23), 2));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(sad + 4),
                     _mm_slli_epi32(_mm_unpacklo_epi64(s45, s67), 2));
}

} // namespace

void BlockMatcher::half_pel_sads(const uint8_t *b, int sb, bool up, bool left, int sad[8]) const
{
    if (step_ != 2) {
        half_pel_sads_reference(step_, a_, sa_, b, sb, up, left, sad);
        return;
    }
    if (avx2_kernels()) {
        half_pel_sads_avx2(packed_, b, sb, up, left, sad);
        return;
    }
    half_pel_sads_sse2(packed_, b, sb, up, left, sad);
}

SearchWindow SearchWindow::around(int x, int y, int width, int height)
{
    SearchWindow w;
    w.xmin = x <= 15 ? -x : -16;
    w.xmax = width - 16 - x < 15 ? width - 16 - x : 15;
    w.ymin = y <= 15 ? -y : -16;
    w.ymax = height - 16 - y < 15 ? height - 16 - y : 15;
    return w;
}

int full_pel_search(const BlockMatcher &bm, int x, int y, const Picture &pic, const Picture &prev,
                    int start_cost, int q, int pred_x, int pred_y, MotionVector &best)
{
    int w = pic.width;
    const uint8_t *base = prev.y + y * w + x;
    SearchWindow win = SearchWindow::around(x, y, pic.width, pic.height);
    int bx = 0, by = 0, cost = start_cost;
    auto measure = [&](int vx, int vy, int bound) {
        int vc = vector_cost(q, 2 * vx - pred_x, 2 * vy - pred_y);
        if (vc >= bound)
            return vc;  // no SAD can make it cheaper than the bound
        return bm.sad(base + vy * w + vx, w, bound - vc) + vc;
    };
    int px = pred_x >> 1, py = pred_y >> 1;
    if ((px || py) && win.contains(px, py)) {
        int c = measure(px, py, cost);
        if (c < cost) {
            cost = c;
            bx = px;
            by = py;
        }
    }
    // Directions +x, -x, +y, -y (0..3); d ^ 1 is the way back.
    int came_from = -1;
    for (;;) {
        const int cx = bx, cy = by;
        int moved = -1;
        auto neighbour = [&](int d, int vx, int vy, bool inside) {
            if (d == came_from || !inside)
                return;
            int c = measure(vx, vy, cost);
            if (c < cost) {
                cost = c;
                bx = vx;
                by = vy;
                moved = d;
            }
        };
        neighbour(0, cx + 1, cy, cx + 1 <= win.xmax);
        neighbour(1, cx - 1, cy, cx - 1 >= win.xmin);
        neighbour(2, cx, cy + 1, cy + 1 <= win.ymax);
        neighbour(3, cx, cy - 1, cy - 1 >= win.ymin);
        if (moved < 0)
            break;
        came_from = moved ^ 1;
    }
    best = MotionVector{};
    best.x = static_cast<int16_t>(bx);
    best.y = static_cast<int16_t>(by);
    return cost;
}

int half_pel_refine(const BlockMatcher &bm, int x, int y, const Picture &pic, const Picture &ref,
                    int start_cost, int q, int pred_x, int pred_y, MotionVector &mv)
{
    const int w = pic.width;
    bool no_left = false, no_right = false, no_up = false, no_down = false;
    const int ex = x + mv.x, ey = y + mv.y;
    if (mv.x == -16 || ex < 1)
        no_left = true;
    else if (ex >= pic.width - 17)
        no_right = true;
    if (mv.y == -16 || ey < 1)
        no_up = true;
    else if (ey >= pic.height - 17)
        no_down = true;
    int sads[8];
    bm.half_pel_sads(ref.y + static_cast<ptrdiff_t>(ey) * w + ex, w, !no_up, !no_left, sads);
    const int fx = 2 * mv.x - pred_x, fy = 2 * mv.y - pred_y;
    int cost = start_cost, best = -1;
    // Displacement i, unless it leaves the limits; called with constants, so each
    // call folds into its own tests.
    auto candidate = [&](int i) {
        const int ox = kHalfPelOffsets[i][0], oy = kHalfPelOffsets[i][1];
        if ((ox < 0 && no_left) || (ox > 0 && no_right) || (oy < 0 && no_up) ||
            (oy > 0 && no_down))
            return;
        const int c = sads[i] + vector_cost(q, fx + ox, fy + oy);
        if (c < cost) {
            cost = c;
            best = i;
        }
    };
    candidate(0);
    candidate(1);
    candidate(2);
    candidate(3);
    candidate(4);
    candidate(5);
    candidate(6);
    candidate(7);
    if (best >= 0)
        mv = MotionVector::from_half(2 * mv.x + kHalfPelOffsets[best][0],
                                     2 * mv.y + kHalfPelOffsets[best][1]);
    return cost;
}

void predict_block_reference(const uint8_t *src, int stride, int x, int y, int vx, int vy,
                             int size, uint8_t *dst)
{
    for (int r = 0; r < size; r++)
        for (int c = 0; c < size; c++)
            dst[r * stride + c] = static_cast<uint8_t>(half_pel_sample(
                src, stride, x + c + (vx >> 1), y + r + (vy >> 1), vx & 1, vy & 1));
}

void predict_chroma(const uint8_t *u, const uint8_t *v, int stride, int cx, int cy, int vx,
                    int vy, uint8_t *du, uint8_t *dv)
{
    // Both planes at once: U in the low eight bytes, V in the high eight.
    const ptrdiff_t off = static_cast<ptrdiff_t>(cy + (vy >> 1)) * stride + cx + (vx >> 1);
    const uint8_t *su = u + off, *sv = v + off;
    auto load = [&](int r, int dx) {
        return _mm_unpacklo_epi64(load8(su + r * stride + dx), load8(sv + r * stride + dx));
    };
    auto put = [&](int r, __m128i p) {
        store8(du + r * stride, p);
        store8(dv + r * stride, _mm_unpackhi_epi64(p, p));
    };
    const int hx = vx & 1, hy = vy & 1;
    if (!hx && !hy) {
        for (int r = 0; r < 8; r++)
            put(r, load(r, 0));
    } else if (!hy) {
        for (int r = 0; r < 8; r++)
            put(r, _mm_avg_epu8(load(r, 0), load(r, 1)));
    } else if (!hx) {
        __m128i a = load(0, 0);
        for (int r = 0; r < 8; r++) {
            const __m128i c = load(r + 1, 0);
            put(r, _mm_avg_epu8(a, c));
            a = c;
        }
    } else {
        __m128i a = load(0, 0), b = load(0, 1);
        for (int r = 0; r < 8; r++) {
            const __m128i c = load(r + 1, 0), d = load(r + 1, 1);
            put(r, avg4_epu8(a, b, c, d));
            a = c;
            b = d;
        }
    }
}

void predict_macroblock(int x, int y, const Picture &ref, const MotionVector &mv, Picture &out)
{
    const int w = ref.width;
    const int vx = mv.half_x(), vy = mv.half_y();
    const uint8_t *s = ref.y + (y + (vy >> 1)) * w + x + (vx >> 1);
    uint8_t *d = out.y + y * w + x;
    if (!mv.hx && !mv.hy) {
        for (int r = 0; r < 16; r++)
            store16(d + r * w, load16(s + r * w));
    } else if (!mv.hy) {
        for (int r = 0; r < 16; r++)
            store16(d + r * w, _mm_avg_epu8(load16(s + r * w), load16(s + r * w + 1)));
    } else if (!mv.hx) {
        __m128i a = load16(s);
        for (int r = 0; r < 16; r++) {
            const __m128i c = load16(s + (r + 1) * w);
            store16(d + r * w, _mm_avg_epu8(a, c));
            a = c;
        }
    } else {
        __m128i a = load16(s), b = load16(s + 1);
        __m128i ab = _mm_avg_epu8(a, b), ab_xor = _mm_xor_si128(a, b);
        for (int r = 0; r < 16; r++) {
            const __m128i c = load16(s + (r + 1) * w), e = load16(s + (r + 1) * w + 1);
            const __m128i ce = _mm_avg_epu8(c, e), ce_xor = _mm_xor_si128(c, e);
            store16(d + r * w, avg4_from_pairs(ab, ce, ab_xor, ce_xor));
            ab = ce;
            ab_xor = ce_xor;
        }
    }
    const int cvx = chroma_vector(vx), cvy = chroma_vector(vy);
    const int cw = w / 2;
    const int co = (y / 2) * cw + x / 2;
    predict_chroma(ref.u, ref.v, cw, x / 2, y / 2, cvx, cvy, out.u + co, out.v + co);
}

} // namespace h263
