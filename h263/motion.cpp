// Motion search of the encoder.
#include "h263/motion.h"

#include "h263/tables.h"

#include <cstdlib>
#include <emmintrin.h>

namespace h263 {

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
    const uint8_t *r = ref.y;
    for (int y = 0; y < hgt; y++) {
        const uint8_t *__restrict a = r + y * w;
        const uint8_t *__restrict c = y + 1 < hgt ? a + w : a;    // last row repeats
        uint8_t *__restrict ph = &h[y * w], *__restrict pv = &v[y * w], *__restrict pd = &d[y * w];
        int x = 0;
        for (; x + 17 <= w; x += 16) {
            __m128i va = _mm_loadu_si128((const __m128i *)(a + x));
            __m128i vb = _mm_loadu_si128((const __m128i *)(a + x + 1));
            __m128i vc = _mm_loadu_si128((const __m128i *)(c + x));
            __m128i vd = _mm_loadu_si128((const __m128i *)(c + x + 1));
            _mm_storeu_si128((__m128i *)(ph + x), _mm_avg_epu8(va, vb));
            _mm_storeu_si128((__m128i *)(pv + x), _mm_avg_epu8(va, vc));
            const __m128i z = _mm_setzero_si128(), two = _mm_set1_epi16(2);
            __m128i lo = _mm_add_epi16(_mm_add_epi16(_mm_unpacklo_epi8(va, z), _mm_unpacklo_epi8(vb, z)),
                                       _mm_add_epi16(_mm_unpacklo_epi8(vc, z), _mm_unpacklo_epi8(vd, z)));
            __m128i hi = _mm_add_epi16(_mm_add_epi16(_mm_unpackhi_epi8(va, z), _mm_unpackhi_epi8(vb, z)),
                                       _mm_add_epi16(_mm_unpackhi_epi8(vc, z), _mm_unpackhi_epi8(vd, z)));
            lo = _mm_srli_epi16(_mm_add_epi16(lo, two), 2);
            hi = _mm_srli_epi16(_mm_add_epi16(hi, two), 2);
            _mm_storeu_si128((__m128i *)(pd + x), _mm_packus_epi16(lo, hi));
        }
        for (; x + 1 < w; x++) {
            ph[x] = static_cast<uint8_t>((a[x] + a[x + 1] + 1) >> 1);
            pv[x] = static_cast<uint8_t>((a[x] + c[x] + 1) >> 1);
            pd[x] = static_cast<uint8_t>((a[x] + a[x + 1] + c[x] + c[x + 1] + 2) >> 2);
        }
        if (w > 0) {
            // The last column repeats the nearest full-pel value.
            ph[w - 1] = a[w - 1];
            pv[w - 1] = static_cast<uint8_t>((a[w - 1] + c[w - 1] + 1) >> 1);
            pd[w - 1] = a[w - 1];
        }
        if (y + 1 == hgt)
            for (int x = 0; x < w; x++)
                pv[x] = pd[x] = a[x];
    }
}

int BlockMatcher::sad(const uint8_t *a, int sa, const uint8_t *b, int sb, int bound) const
{
    int s = step_;
    if (s == 2) {
        const __m128i even = _mm_set1_epi16(0x00ff);
        __m128i acc = _mm_setzero_si128();
        for (int r = 0; r < 16; r += 2) {
            __m128i va = _mm_and_si128(_mm_loadu_si128((const __m128i *)(a + r * sa)), even);
            __m128i vb = _mm_and_si128(_mm_loadu_si128((const __m128i *)(b + r * sb)), even);
            acc = _mm_add_epi64(acc, _mm_sad_epu8(va, vb));
            int sum = _mm_cvtsi128_si32(acc) + _mm_cvtsi128_si32(_mm_srli_si128(acc, 8));
            if (sum * 4 > bound)
                return sum * 4;
        }
        return (_mm_cvtsi128_si32(acc) + _mm_cvtsi128_si32(_mm_srli_si128(acc, 8))) * 4;
    }
    if (s == 1) {
        __m128i acc = _mm_setzero_si128();
        for (int r = 0; r < 16; r++) {
            __m128i va = _mm_loadu_si128((const __m128i *)(a + r * sa));
            __m128i vb = _mm_loadu_si128((const __m128i *)(b + r * sb));
            acc = _mm_add_epi64(acc, _mm_sad_epu8(va, vb));
            int sum = _mm_cvtsi128_si32(acc) + _mm_cvtsi128_si32(_mm_srli_si128(acc, 8));
            if (sum > bound)
                return sum;
        }
        return _mm_cvtsi128_si32(acc) + _mm_cvtsi128_si32(_mm_srli_si128(acc, 8));
    }
    int sum = 0;
    for (int r = 0; r < 16; r += s) {
        for (int c = 0; c < 16; c += s)
            sum += std::abs(a[r * sa + c] - b[r * sb + c]);
        if (sum * s * s > bound)
            break;
    }
    return sum * s * s;
}

int BlockMatcher::activity(const uint8_t *a, int sa, int bound) const
{
    int s = step_;
    int count = (16 / s) * (16 / s);
    int total = 0;
    for (int r = 0; r < 16; r += s)
        for (int c = 0; c < 16; c += s)
            total += a[r * sa + c];
    int mean = total / count;
    int sum = 0;
    for (int r = 0; r < 16; r += s) {
        for (int c = 0; c < 16; c += s)
            sum += std::abs(a[r * sa + c] - mean);
        if (sum * s * s > bound)
            break;
    }
    return sum * s * s;
}

namespace {

inline int fold(int d)
{
    if (d > 31)
        return d - 64;
    if (d < -32)
        return d + 64;
    return d;
}

} // namespace

int vector_cost(int q, int dx, int dy)
{
    return q * (kMvdBits[fold(dx) + 32] + kMvdBits[fold(dy) + 32]);
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
    const uint8_t *cur = pic.y + y * w + x;
    const uint8_t *base = prev.y + y * w + x;
    SearchWindow win = SearchWindow::around(x, y, pic.width, pic.height);
    int bx = 0, by = 0, cost = start_cost;
    auto measure = [&](int vx, int vy, int bound) {
        int vc = vector_cost(q, 2 * vx - pred_x, 2 * vy - pred_y);
        return bm.sad(cur, w, base + vy * w + vx, w, bound - vc) + vc;
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
    static const int dirs[4][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}};
    int came_from = -1;     // direction index back to the previous centre
    for (;;) {
        int cx = bx, cy = by, moved = -1;
        for (int d = 0; d < 4; d++) {
            if (d == came_from)
                continue;
            int vx = cx + dirs[d][0], vy = cy + dirs[d][1];
            if (!win.contains(vx, vy))
                continue;
            int c = measure(vx, vy, cost);
            if (c < cost) {
                cost = c;
                bx = vx;
                by = vy;
                moved = d;
            }
        }
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
    static const int cand[8][2] = {{0, -1}, {1, -1}, {1, 0},  {1, 1},
                                   {0, 1},  {-1, 1}, {-1, 0}, {-1, -1}};
    int w = pic.width;
    bool no_left = false, no_right = false, no_up = false, no_down = false;
    int ex = x + mv.x, ey = y + mv.y;
    if (mv.x == -16 || ex < 1)
        no_left = true;
    else if (ex >= pic.width - 17)
        no_right = true;
    if (mv.y == -16 || ey < 1)
        no_up = true;
    else if (ey >= pic.height - 17)
        no_down = true;
    const uint8_t *cur = pic.y + y * w + x;
    int fx = 2 * mv.x, fy = 2 * mv.y;
    int cost = start_cost, best = -1;
    for (int i = 0; i < 8; i++) {
        int ox = cand[i][0], oy = cand[i][1];
        if ((ox < 0 && no_left) || (ox > 0 && no_right) || (oy < 0 && no_up) ||
            (oy > 0 && no_down))
            continue;
        int vx = fx + ox, vy = fy + oy;
        const uint8_t *plane = planes.select(ref.y, vx & 1, vy & 1);
        const uint8_t *blk = plane + (y + (vy >> 1)) * w + x + (vx >> 1);
        int vc = vector_cost(q, vx - pred_x, vy - pred_y);
        int c = bm.sad(cur, w, blk, w, cost - vc) + vc;
        if (c < cost) {
            cost = c;
            best = i;
        }
    }
    if (best >= 0)
        mv = MotionVector::from_half(fx + cand[best][0], fy + cand[best][1]);
    return cost;
}

namespace {

void predict_chroma(const uint8_t *src, int stride, int cx, int cy, int vx, int vy,
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

} // namespace

void predict_macroblock(int x, int y, const Picture &ref, const HalfPelPlanes &planes,
                        const MotionVector &mv, Picture &out)
{
    int w = ref.width;
    int vx = mv.half_x(), vy = mv.half_y();
    const uint8_t *plane = planes.select(ref.y, vx & 1, vy & 1);
    const uint8_t *s = plane + (y + (vy >> 1)) * w + x + (vx >> 1);
    uint8_t *d = out.y + y * w + x;
    for (int r = 0; r < 16; r++)
        _mm_storeu_si128((__m128i *)(d + r * w), _mm_loadu_si128((const __m128i *)(s + r * w)));
    int cvx = chroma_vector(vx), cvy = chroma_vector(vy);
    int cw = w / 2;
    predict_chroma(ref.u, cw, x / 2, y / 2, cvx, cvy, out.u + (y / 2) * cw + x / 2);
    predict_chroma(ref.v, cw, x / 2, y / 2, cvx, cvy, out.v + (y / 2) * cw + x / 2);
}

} // namespace h263
