// Motion search of the encoder.
#include "h263/motion.h"

#include "h263/cpu.h"
#include "h263/simd.h"

#include <cstddef>
#include <cstdlib>
#include <immintrin.h>

namespace h263 {

namespace {

/** The horizontal, vertical and diagonal interpolations of one row, scalar. */
inline void interpolate_row_scalar(const uint8_t *a, const uint8_t *c, int from, int to,
                                   uint8_t *ph, uint8_t *pv, uint8_t *pd)
{
    for (int x = from; x < to; x++) {
        ph[x] = static_cast<uint8_t>((a[x] + a[x + 1] + 1) >> 1);
        pv[x] = static_cast<uint8_t>((a[x] + c[x] + 1) >> 1);
        pd[x] = static_cast<uint8_t>((a[x] + a[x + 1] + c[x] + c[x + 1] + 2) >> 2);
    }
}

/** The last column repeats the nearest full-pel value, the last row the row itself. */
inline void interpolate_edges(const uint8_t *a, const uint8_t *c, int w, bool last_row,
                              uint8_t *ph, uint8_t *pv, uint8_t *pd)
{
    ph[w - 1] = a[w - 1];
    pv[w - 1] = static_cast<uint8_t>((a[w - 1] + c[w - 1] + 1) >> 1);
    pd[w - 1] = a[w - 1];
    if (last_row)
        for (int x = 0; x < w; x++)
            pv[x] = pd[x] = a[x];
}

} // namespace

void interpolate_reference(const Picture &ref, uint8_t *h, uint8_t *v, uint8_t *d)
{
    int w = ref.width, hgt = ref.height;
    for (int y = 0; y < hgt; y++) {
        const uint8_t *a = ref.y + y * w, *c = y + 1 < hgt ? a + w : a;
        interpolate_row_scalar(a, c, 0, w - 1, h + y * w, v + y * w, d + y * w);
        interpolate_edges(a, c, w, y + 1 == hgt, h + y * w, v + y * w, d + y * w);
    }
}

namespace {

/** The strip loop of HalfPelPlanes::interpolate with strips of 16 columns (w >= 17). */
void interpolate_strips_sse2(const uint8_t *r, int w, int hgt, uint8_t *ph, uint8_t *pv,
                             uint8_t *pd)
{
    for (int x = 0;; x += 16) {
        if (x > w - 17)
            x = w - 17;
        __m128i va = load16(r + x), vb = load16(r + x + 1);
        __m128i ab = _mm_avg_epu8(va, vb), ab_xor = _mm_xor_si128(va, vb);
        for (int y = 0; y + 1 < hgt; y++) {
            const size_t o = static_cast<size_t>(y) * w + x;
            const __m128i vc = load16(r + o + w), vd = load16(r + o + w + 1);
            const __m128i cd = _mm_avg_epu8(vc, vd), cd_xor = _mm_xor_si128(vc, vd);
            store16(ph + o, ab);
            store16(pv + o, _mm_avg_epu8(va, vc));
            store16(pd + o, avg4_from_pairs(ab, cd, ab_xor, cd_xor));
            va = vc;
            ab = cd;
            ab_xor = cd_xor;
        }
        store16(ph + static_cast<size_t>(hgt - 1) * w + x, ab);
        if (x == w - 17)
            break;
    }
}

/**
 * The strip loop of HalfPelPlanes::interpolate with strips of 32 * N columns
 * (w >= 32 * N + 1), the same arithmetic as avg4_from_pairs on 32 bytes at a
 * time. Strips of 64 columns write whole cache lines in one pass down the picture.
 */
__attribute__((target("avx2"))) inline __m256i load32(const uint8_t *p)
{
    return _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p));
}

__attribute__((target("avx2"))) inline void store32(uint8_t *p, __m256i v)
{
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(p), v);
}

template <int N>
__attribute__((target("avx2"))) void interpolate_strips_avx2(const uint8_t *r, int w, int hgt,
                                                             uint8_t *ph, uint8_t *pv,
                                                             uint8_t *pd)
{
    const __m256i one = _mm256_set1_epi8(1);
    const int width = 32 * N;
    for (int x = 0;; x += width) {
        if (x > w - width - 1)
            x = w - width - 1;
        __m256i va[N], ab[N], ab_xor[N];
        for (int i = 0; i < N; i++) {
            va[i] = load32(r + x + 32 * i);
            const __m256i vb = load32(r + x + 32 * i + 1);
            ab[i] = _mm256_avg_epu8(va[i], vb);
            ab_xor[i] = _mm256_xor_si256(va[i], vb);
        }
        for (int y = 0; y + 1 < hgt; y++) {
            for (int i = 0; i < N; i++) {
                const size_t o = static_cast<size_t>(y) * w + x + 32 * i;
                const __m256i vc = load32(r + o + w), vd = load32(r + o + w + 1);
                const __m256i cd = _mm256_avg_epu8(vc, vd), cd_xor = _mm256_xor_si256(vc, vd);
                const __m256i odd = _mm256_or_si256(ab_xor[i], cd_xor);
                const __m256i fix =
                    _mm256_and_si256(_mm256_and_si256(_mm256_xor_si256(ab[i], cd), odd), one);
                store32(ph + o, ab[i]);
                store32(pv + o, _mm256_avg_epu8(va[i], vc));
                store32(pd + o, _mm256_sub_epi8(_mm256_avg_epu8(ab[i], cd), fix));
                va[i] = vc;
                ab[i] = cd;
                ab_xor[i] = cd_xor;
            }
        }
        for (int i = 0; i < N; i++)
            store32(ph + static_cast<size_t>(hgt - 1) * w + x + 32 * i, ab[i]);
        if (x == w - width - 1)
            break;
    }
}

} // namespace

void HalfPelPlanes::interpolate(const Picture &ref)
{
    int w = ref.width, hgt = ref.height;
    size_t n = static_cast<size_t>(w) * hgt;
    if (w != width || hgt != height || h.size() != n) {
        width = w;
        height = hgt;
        h.assign(n, 0);
        v.assign(n, 0);
        d.assign(n, 0);
    }
    if (w < 17) {
        interpolate_reference(ref, h.data(), v.data(), d.data());
        return;
    }
    // Strips of sixteen (or 32 or 64) columns, top to bottom: each row's loads and horizontal
    // average serve the row above it too. The last strip overlaps so that it ends at w - 1.
    const uint8_t *r = ref.y;
    if (avx2_kernels() && w >= 65)
        interpolate_strips_avx2<2>(r, w, hgt, h.data(), v.data(), d.data());
    else if (avx2_kernels() && w >= 33)
        interpolate_strips_avx2<1>(r, w, hgt, h.data(), v.data(), d.data());
    else
        interpolate_strips_sse2(r, w, hgt, h.data(), v.data(), d.data());
    for (int y = 0; y < hgt; y++) {
        const uint8_t *a = r + y * w, *c = y + 1 < hgt ? a + w : a;
        interpolate_edges(a, c, w, y + 1 == hgt, &h[y * w], &v[y * w], &d[y * w]);
    }
}

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
                    const HalfPelPlanes &planes, int start_cost, int q, int pred_x, int pred_y,
                    MotionVector &mv)
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
    const ptrdiff_t base = static_cast<ptrdiff_t>(ey) * w + ex;
    const uint8_t *ph = planes.h.data(), *pv = planes.v.data(), *pd = planes.d.data();
    const int fx = 2 * mv.x - pred_x, fy = 2 * mv.y - pred_y;
    int cost = start_cost, best = -1;
    // Candidate i at half-pel offset (ox, oy): its block lies in the plane of the
    // offset's half-pel parts, one sample left or up for a negative offset.
    auto candidate = [&](int i, int ox, int oy, const uint8_t *plane) {
        if ((ox < 0 && no_left) || (ox > 0 && no_right) || (oy < 0 && no_up) ||
            (oy > 0 && no_down))
            return;
        const int vc = vector_cost(q, fx + ox, fy + oy);
        if (vc >= cost)
            return;     // no SAD can make it cheaper
        const uint8_t *blk = plane + base + (oy < 0 ? -w : 0) + (ox < 0 ? -1 : 0);
        const int c = bm.sad(blk, w, cost - vc) + vc;
        if (c < cost) {
            cost = c;
            best = i;
        }
    };
    candidate(0, 0, -1, pv);
    candidate(1, 1, -1, pd);
    candidate(2, 1, 0, ph);
    candidate(3, 1, 1, pd);
    candidate(4, 0, 1, pv);
    candidate(5, -1, 1, pd);
    candidate(6, -1, 0, ph);
    candidate(7, -1, -1, pd);
    static const int8_t offset[8][2] = {{0, -1}, {1, -1}, {1, 0},  {1, 1},
                                        {0, 1},  {-1, 1}, {-1, 0}, {-1, -1}};
    if (best >= 0)
        mv = MotionVector::from_half(2 * mv.x + offset[best][0], 2 * mv.y + offset[best][1]);
    return cost;
}

void predict_chroma_reference(const uint8_t *src, int stride, int cx, int cy, int vx, int vy,
                              uint8_t *dst)
{
    const uint8_t *s = src + (cy + (vy >> 1)) * stride + cx + (vx >> 1);
    int hx = vx & 1, hy = vy & 1;
    for (int r = 0; r < 8; r++) {
        const uint8_t *a = s + r * stride, *c = a + stride;
        uint8_t *o = dst + r * stride;
        for (int i = 0; i < 8; i++) {
            int p;
            if (hx && hy)
                p = (a[i] + a[i + 1] + c[i] + c[i + 1] + 2) >> 2;
            else if (hx)
                p = (a[i] + a[i + 1] + 1) >> 1;
            else if (hy)
                p = (a[i] + c[i] + 1) >> 1;
            else
                p = a[i];
            o[i] = static_cast<uint8_t>(p);
        }
    }
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

void predict_macroblock(int x, int y, const Picture &ref, const HalfPelPlanes &planes,
                        const MotionVector &mv, Picture &out)
{
    int w = ref.width;
    int vx = mv.half_x(), vy = mv.half_y();
    const uint8_t *plane = planes.select(ref.y, vx & 1, vy & 1);
    const uint8_t *s = plane + (y + (vy >> 1)) * w + x + (vx >> 1);
    uint8_t *d = out.y + y * w + x;
    for (int r = 0; r < 16; r++)
        store16(d + r * w, load16(s + r * w));
    int cvx = chroma_vector(vx), cvy = chroma_vector(vy);
    int cw = w / 2;
    const int co = (y / 2) * cw + x / 2;
    predict_chroma(ref.u, ref.v, cw, x / 2, y / 2, cvx, cvy, out.u + co, out.v + co);
}

} // namespace h263
