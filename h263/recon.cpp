// Reconstruction and frame stores of the decoder core: motion-compensated
// prediction (ITU-T H.263 clause 6.1, Annexes D, F and G), block output, concealment.
#include "h263/dec_state.h"

#include "h263/dsp.h"
#include "h263/print.h"
#include "h263/simd.h"
#include "h263/tables.h"

#include <algorithm>
#include <cstring>
#include <emmintrin.h>

namespace h263 {

namespace {

constexpr int kLumaBorder = 32, kChromaBorder = 16;

inline int luma_stride(const H263DecState *st) { return st->width + 2 * kLumaBorder; }
inline int chroma_stride(const H263DecState *st) { return st->chroma_width + 2 * kChromaBorder; }

void set_pointers(H263DecState *st, int which, uint8_t **p)
{
    uint8_t *base = st->store[which].data();
    size_t ls = static_cast<size_t>(luma_stride(st)), cs = static_cast<size_t>(chroma_stride(st));
    size_t lsize = ls * (st->height + 2 * kLumaBorder);
    size_t csize = cs * (st->chroma_height + 2 * kChromaBorder);
    p[0] = base + kLumaBorder * ls + kLumaBorder;
    p[1] = base + lsize + kChromaBorder * cs + kChromaBorder;
    p[2] = base + lsize + csize + kChromaBorder * cs + kChromaBorder;
}

void refresh_pointers(H263DecState *st)
{
    set_pointers(st, st->current, st->cur);
    set_pointers(st, st->reference, st->ref);
    set_pointers(st, st->bpic, st->bframe);
}

/** The Annex F rule for a chroma vector from a sum of four luma vectors. */
inline int chroma_from_sum(int s)
{
    int a = s < 0 ? -s : s;
    int v = kChromaRound16[a % 16] + (a / 16) * 2;
    return s < 0 ? -v : v;
}

inline int chroma_from_vector(int v)
{
    return (v % 4 == 0) ? v / 2 : ((v >> 1) | 1);
}

inline int clamp_vector(int v)
{
    return v < -64 ? -64 : (v > 63 ? 63 : v);
}

template <int W>
inline __m128i load(const uint8_t *p)
{
    return W == 16 ? _mm_loadu_si128(reinterpret_cast<const __m128i *>(p))
                   : _mm_loadl_epi64(reinterpret_cast<const __m128i *>(p));
}

template <int W>
inline void store(uint8_t *p, __m128i v)
{
    if (W == 16)
        _mm_storeu_si128(reinterpret_cast<__m128i *>(p), v);
    else
        _mm_storel_epi64(reinterpret_cast<__m128i *>(p), v);
}

/** (a + b) >> 1: the average rounded down, for rounding type 1. */
inline __m128i avg_down_epu8(__m128i a, __m128i b)
{
    return _mm_sub_epi8(_mm_avg_epu8(a, b),
                        _mm_and_si128(_mm_xor_si128(a, b), _mm_set1_epi8(1)));
}

/** (a + b + c + d + 1) >> 2, for rounding type 1. */
inline __m128i avg4_down_epu8(__m128i a, __m128i b, __m128i c, __m128i d)
{
    const __m128i z = _mm_setzero_si128(), one = _mm_set1_epi16(1);
    __m128i lo = _mm_add_epi16(_mm_add_epi16(_mm_unpacklo_epi8(a, z), _mm_unpacklo_epi8(b, z)),
                               _mm_add_epi16(_mm_unpacklo_epi8(c, z), _mm_unpacklo_epi8(d, z)));
    __m128i hi = _mm_add_epi16(_mm_add_epi16(_mm_unpackhi_epi8(a, z), _mm_unpackhi_epi8(b, z)),
                               _mm_add_epi16(_mm_unpackhi_epi8(c, z), _mm_unpackhi_epi8(d, z)));
    lo = _mm_srli_epi16(_mm_add_epi16(lo, one), 2);
    hi = _mm_srli_epi16(_mm_add_epi16(hi, one), 2);
    return _mm_packus_epi16(lo, hi);
}

/**
 * Half-pel interpolation of a W x h block; _mm_avg_epu8 is (a + b + 1) >> 1.
 * With rounding type 1 (Down) the averages round down: (a + b) >> 1 and
 * (a + b + c + d + 1) >> 2.
 */
template <int W, bool Down>
void recon_comp_w(const uint8_t *src, uint8_t *dst, int ds, int ss, int h, int x, int y, int vx,
                  int vy)
{
    const uint8_t *s = src + (y + (vy >> 1)) * ss + x + (vx >> 1);
    uint8_t *d = dst + y * ds + x;
    int hx = vx & 1, hy = vy & 1;
    auto avg = [](__m128i a, __m128i b) { return Down ? avg_down_epu8(a, b) : _mm_avg_epu8(a, b); };
    if (!hx && !hy) {
        for (int r = 0; r < h; r++, s += ss, d += ds)
            store<W>(d, load<W>(s));
    } else if (hx && !hy) {
        for (int r = 0; r < h; r++, s += ss, d += ds)
            store<W>(d, avg(load<W>(s), load<W>(s + 1)));
    } else if (!hx) {
        // Each source row serves two output rows.
        __m128i a = load<W>(s);
        for (int r = 0; r < h; r++, d += ds) {
            s += ss;
            const __m128i c = load<W>(s);
            store<W>(d, avg(a, c));
            a = c;
        }
    } else {
        __m128i a = load<W>(s), b = load<W>(s + 1);
        for (int r = 0; r < h; r++, d += ds) {
            s += ss;
            const __m128i c = load<W>(s), e = load<W>(s + 1);
            store<W>(d, Down ? avg4_down_epu8(a, b, c, e) : avg4_epu8(a, b, c, e));
            a = c;
            b = e;
        }
    }
}

void recon_comp(const uint8_t *src, uint8_t *dst, int ds, int ss, int w, int h, int x, int y,
                int vx, int vy, bool down = false)
{
    if (down)
        w == 16 ? recon_comp_w<16, true>(src, dst, ds, ss, h, x, y, vx, vy)
                : recon_comp_w<8, true>(src, dst, ds, ss, h, x, y, vx, vy);
    else
        w == 16 ? recon_comp_w<16, false>(src, dst, ds, ss, h, x, y, vx, vy)
                : recon_comp_w<8, false>(src, dst, ds, ss, h, x, y, vx, vy);
}

/** Vector entry (0 macroblock, 1..4 blocks) of a macroblock of the map. */
inline void map_vector(const H263DecState *st, int mbx, int mby, int entry, int &vx, int &vy)
{
    int i = st->mv.idx(mbx, mby);
    vx = st->mv.x[entry][i];
    vy = st->mv.y[entry][i];
}

void recon_comp_obmc(H263DecState *st, int n, int mbx, int mby, int bx, int by)
{
    const int mode = st->mv.mode[st->mv.idx(mbx, mby)];
    int cx, cy;
    map_vector(st, mbx, mby, mode == 2 ? n + 1 : 0, cx, cy);
    // Remote vectors: {macroblock dx, dy, block 0..3}; dy 0/dx 0 is this macroblock.
    static const int remote[4][4][3] = {
        // above,      left,        right,       below
        {{0, -1, 2}, {-1, 0, 1}, {0, 0, 1}, {0, 0, 2}},
        {{0, -1, 3}, {0, 0, 0}, {1, 0, 0}, {0, 0, 3}},
        {{0, 0, 0}, {-1, 0, 3}, {0, 0, 3}, {0, 0, -1}},
        {{0, 0, 1}, {0, 0, 2}, {1, 0, 2}, {0, 0, -1}},
    };
    int vx[4], vy[4];
    for (int k = 0; k < 4; k++) {
        const int *r = remote[n][k];
        int rx = mbx + r[0], ry = mby + r[1];
        bool outside = rx < 0 || rx >= st->mb_cols || ry < 0;
        int rmode = outside ? 3 : st->mv.mode[st->mv.idx(rx, ry)];
        if (r[2] < 0 || outside || (!st->pb_frames && (rmode == 3 || rmode == 4))) {
            vx[k] = cx;
            vy[k] = cy;
        } else {
            map_vector(st, rx, ry, rmode == 2 ? r[2] + 1 : 0, vx[k], vy[k]);
        }
    }
    const int ls = luma_stride(st);
    const int round = st->rounding_type;
    uint8_t pc[64], pr[4][64];
    auto predict = [&](uint8_t *out, int mx, int my) {
        const uint8_t *s = st->ref[0] + (by + (my >> 1)) * ls + bx + (mx >> 1);
        int hx = mx & 1, hy = my & 1;
        for (int r = 0; r < 8; r++)
            for (int i = 0; i < 8; i++) {
                const uint8_t *a = s + r * ls + i;
                int p;
                if (hx && hy)
                    p = (a[0] + a[1] + a[ls] + a[ls + 1] + 2 - round) >> 2;
                else if (hx)
                    p = (a[0] + a[1] + 1 - round) >> 1;
                else if (hy)
                    p = (a[0] + a[ls] + 1 - round) >> 1;
                else
                    p = a[0];
                out[r * 8 + i] = static_cast<uint8_t>(p);
            }
    };
    predict(pc, cx, cy);
    for (int k = 0; k < 4; k++)
        predict(pr[k], vx[k], vy[k]);
    uint8_t *d = st->cur[0] + by * ls + bx;
    for (int r = 0; r < 8; r++)
        for (int c = 0; c < 8; c++) {
            int i = r * 8 + c;
            int tb = r < 4 ? pr[0][i] : pr[3][i];
            int lr = c < 4 ? pr[1][i] : pr[2][i];
            int sum = pc[i] * kObmcCurrent[r][c] + tb * kObmcTopBottom[r][c] +
                      lr * kObmcLeftRight[r][c];
            d[r * ls + c] = static_cast<uint8_t>((sum + 4) >> 3);
        }
}

} // namespace

bool init_frame_stores(H263DecState *st)
{
    int w = st->coded_width, h = st->coded_height;
    if (st->source_format >= 1 && st->source_format <= 5) {
        w = kSourceFormatWidth[st->source_format];
        h = kSourceFormatHeight[st->source_format];
    }
    if (w < 16 || h < 16 || w > 1408 || h > 1152) {
        H263Printf("ERROR: Illegal input format\n");
        return false;
    }
    st->width = w;
    st->height = h;
    st->chroma_width = w / 2;
    st->chroma_height = h / 2;
    st->mb_cols = w / 16;
    st->mb_rows = h / 16;
    int k = h > 800 ? 4 : (h > 400 ? 2 : 1);
    st->mbs_per_gob = st->mb_cols * k;
    st->gobs_per_picture = (st->mb_rows + k - 1) / k;
    size_t ls = static_cast<size_t>(luma_stride(st)), cs = static_cast<size_t>(chroma_stride(st));
    size_t bytes = ls * (h + 2 * kLumaBorder) + 2 * cs * (h / 2 + 2 * kChromaBorder);
    try {
        for (int i = 0; i < 3; i++)
            st->store[i].assign(bytes, 0);
    } catch (const std::bad_alloc &) {
        H263Printf("h263decLine %d; malloc failed\n", __LINE__);
        for (auto &s : st->store)
            std::vector<uint8_t>().swap(s);
        return false;
    }
    st->current = 0;
    st->reference = 1;
    st->bpic = 2;
    refresh_pointers(st);
    std::memset(st->store[0].data(), 128, bytes);  // the current picture starts grey
    for (int i = 0; i < 3; i++)
        st->display[i] = st->cur[i];

    MotionField &m = st->mv;
    m.cols = st->mb_cols + 2;
    m.rows = st->mb_rows + 1;
    size_t cells = static_cast<size_t>(m.cols) * m.rows;
    for (int e = 0; e < 5; e++) {
        m.x[e].assign(cells, 0);
        m.y[e].assign(cells, 0);
    }
    m.mode.assign(cells, 0);
    st->mb_done.assign(static_cast<size_t>(st->mb_cols) * st->mb_rows, 0);
    for (int c = 1; c <= st->mb_cols; c++) {
        for (int e = 0; e < 5; e++)
            m.x[e][c] = m.y[e][c] = 999;
        m.mode[c] = 3;
    }
    for (int r = 0; r < m.rows; r++) {
        for (int c : {0, st->mb_cols + 1}) {
            size_t i = static_cast<size_t>(r) * m.cols + c;
            for (int e = 0; e < 5; e++)
                m.x[e][i] = m.y[e][i] = 0;
            m.mode[i] = 3;
        }
    }
    st->store_width = w;
    st->store_height = h;
    st->no_frame_stores = 0;
    return true;
}

void free_frame_stores(H263DecState *st)
{
    for (auto &s : st->store)
        std::vector<uint8_t>().swap(s);
    for (int i = 0; i < 3; i++)
        st->cur[i] = st->ref[i] = st->bframe[i] = st->display[i] = nullptr;
    st->no_frame_stores = 1;
}

void extend_edges(uint8_t *origin, int width, int height, int stride, int border)
{
    for (int y = 0; y < height; y++) {
        uint8_t *row = origin + y * stride;
        std::memset(row - border, row[0], static_cast<size_t>(border));
        std::memset(row + width, row[width - 1], static_cast<size_t>(border));
    }
    const uint8_t *top = origin - border, *bottom = origin + (height - 1) * stride - border;
    for (int y = 1; y <= border; y++) {
        std::memcpy(origin - y * stride - border, top, static_cast<size_t>(width + 2 * border));
        std::memcpy(origin + (height - 1 + y) * stride - border, bottom,
                    static_cast<size_t>(width + 2 * border));
    }
}

void start_picture(H263DecState *st)
{
    st->awaiting_picture = 0;
    st->picture_open = 1;
    st->gob_count = 0;
    std::memset(st->gob_decoded, 0, sizeof st->gob_decoded);
    std::fill(st->mb_done.begin(), st->mb_done.end(), 0);
    std::swap(st->current, st->reference);
    refresh_pointers(st);
    for (int i = 0; i < 3; i++)
        st->display[i] = st->cur[i];
    if (st->picture_type == 1) {
        // Vectors may reach past the picture (unrestricted vectors, overlapped
        // blocks, half-pel samples at the edge): the reference's border repeats its edges.
        extend_edges(st->ref[0], st->width, st->height, luma_stride(st), kLumaBorder);
        extend_edges(st->ref[1], st->chroma_width, st->chroma_height, chroma_stride(st),
                     kChromaBorder);
        extend_edges(st->ref[2], st->chroma_width, st->chroma_height, chroma_stride(st),
                     kChromaBorder);
    }
}

void copy_gob_from_reference(H263DecState *st, int gob)
{
    if (st->no_frame_stores || gob < 0 || gob >= st->gobs_per_picture)
        return;
    int rows = st->mbs_per_gob / st->mb_cols * 16;
    int y0 = gob * rows, y1 = std::min(y0 + rows, st->mb_rows * 16);
    int ls = luma_stride(st), cs = chroma_stride(st);
    for (int y = y0; y < y1; y++)
        std::memcpy(st->cur[0] + y * ls, st->ref[0] + y * ls, static_cast<size_t>(st->width));
    for (int y = y0 / 2; y < y1 / 2; y++)
        for (int p = 1; p <= 2; p++)
            std::memcpy(st->cur[p] + y * cs, st->ref[p] + y * cs,
                        static_cast<size_t>(st->chroma_width));
}

void copy_mb_from_reference(H263DecState *st, int mbx, int mby)
{
    const int ls = luma_stride(st), cs = chroma_stride(st);
    for (int y = mby * 16; y < mby * 16 + 16; y++)
        std::memcpy(st->cur[0] + y * ls + mbx * 16, st->ref[0] + y * ls + mbx * 16, 16);
    for (int p = 1; p <= 2; p++)
        for (int y = mby * 8; y < mby * 8 + 8; y++)
            std::memcpy(st->cur[p] + y * cs + mbx * 8, st->ref[p] + y * cs + mbx * 8, 8);
}

void reconstruct(H263DecState *st, int bx, int by, bool b_picture, int mvdbx, int mvdby)
{
    int mbx = bx / 16, mby = by / 16;
    int i = st->mv.idx(mbx, mby);
    int mode = st->mv.mode[i];
    int ls = luma_stride(st), cs = chroma_stride(st);
    if (!b_picture) {
        const bool down = st->rounding_type != 0;
        if (!st->advanced_prediction) {
            int vx = st->mv.x[0][i], vy = st->mv.y[0][i];
            recon_comp(st->ref[0], st->cur[0], ls, ls, 16, 16, bx, by, vx, vy, down);
            int cvx = chroma_from_vector(vx), cvy = chroma_from_vector(vy);
            recon_comp(st->ref[1], st->cur[1], cs, cs, 8, 8, bx / 2, by / 2, cvx, cvy, down);
            recon_comp(st->ref[2], st->cur[2], cs, cs, 8, 8, bx / 2, by / 2, cvx, cvy, down);
            return;
        }
        for (int n = 0; n < 4; n++)
            recon_comp_obmc(st, n, mbx, mby, bx + (n & 1) * 8, by + (n & 2) * 4);
        int cvx, cvy;
        if (mode == 2) {
            int sx = 0, sy = 0;
            for (int e = 1; e <= 4; e++) {
                sx += st->mv.x[e][i];
                sy += st->mv.y[e][i];
            }
            cvx = chroma_from_sum(sx);
            cvy = chroma_from_sum(sy);
        } else {
            cvx = chroma_from_vector(st->mv.x[0][i]);
            cvy = chroma_from_vector(st->mv.y[0][i]);
        }
        recon_comp(st->ref[1], st->cur[1], cs, cs, 8, 8, bx / 2, by / 2, cvx, cvy, down);
        recon_comp(st->ref[2], st->cur[2], cs, cs, 8, 8, bx / 2, by / 2, cvx, cvy, down);
        return;
    }
    // B macroblock of a PB-frame: forward prediction from the reference.
    int d = st->trd, t = st->trb;
    if (d == 0)
        return;     // two pictures with one temporal reference: no scaling possible
    auto fwd = [&](int v, int mvdb) { return clamp_vector(t * v / d + mvdb); };
    if (st->advanced_prediction && mode == 2) {
        int sx = 0, sy = 0;
        for (int n = 0; n < 4; n++) {
            int fx = fwd(st->mv.x[n + 1][i], mvdbx), fy = fwd(st->mv.y[n + 1][i], mvdby);
            sx += fx;
            sy += fy;
            recon_comp(st->ref[0], st->bframe[0], ls, ls, 8, 8, bx + (n & 1) * 8,
                       by + (n & 2) * 4, fx, fy);
        }
        int cvx = chroma_from_sum(sx), cvy = chroma_from_sum(sy);
        recon_comp(st->ref[1], st->bframe[1], cs, cs, 8, 8, bx / 2, by / 2, cvx, cvy);
        recon_comp(st->ref[2], st->bframe[2], cs, cs, 8, 8, bx / 2, by / 2, cvx, cvy);
    } else {
        int fx = fwd(st->mv.x[0][i], mvdbx), fy = fwd(st->mv.y[0][i], mvdby);
        recon_comp(st->ref[0], st->bframe[0], ls, ls, 16, 16, bx, by, fx, fy);
        int cvx = chroma_from_sum(4 * fx), cvy = chroma_from_sum(4 * fy);
        recon_comp(st->ref[1], st->bframe[1], cs, cs, 8, 8, bx / 2, by / 2, cvx, cvy);
        recon_comp(st->ref[2], st->bframe[2], cs, cs, 8, 8, bx / 2, by / 2, cvx, cvy);
    }
}

void predict_b_block(H263DecState *st, int comp, int bx, int by, int mode, int mvdbx, int mvdby)
{
    int d = st->trd, t = st->trb;
    if (d == 0)
        return;
    int i = st->mv.idx(bx / 16, by / 16);
    auto fwd = [&](int v, int mvdb) { return t * v / d + mvdb; };
    auto bwd = [&](int v, int mvdb) { return mvdb == 0 ? (t - d) * v / d : fwd(v, mvdb) - v; };
    int mvbx, mvby, size, ox, oy, px, py, stride;
    uint8_t *fpic, *ppic;
    if (comp < 4) {
        int e = mode == 2 ? comp + 1 : 0;
        mvbx = bwd(st->mv.x[e][i], mvdbx);
        mvby = bwd(st->mv.y[e][i], mvdby);
        size = 16;
        ox = (comp & 1) * 8;
        oy = (comp & 2) * 4;
        px = bx + ox;
        py = by + oy;
        stride = luma_stride(st);
        fpic = st->bframe[0];
        ppic = st->cur[0];
    } else {
        int sx = 0, sy = 0;
        if (mode == 2) {
            for (int e = 1; e <= 4; e++) {
                sx += bwd(st->mv.x[e][i], mvdbx);
                sy += bwd(st->mv.y[e][i], mvdby);
            }
        } else {
            sx = 4 * bwd(st->mv.x[0][i], mvdbx);
            sy = 4 * bwd(st->mv.y[0][i], mvdby);
        }
        mvbx = chroma_from_sum(sx);
        mvby = chroma_from_sum(sy);
        size = 8;
        ox = oy = 0;
        px = bx / 2;
        py = by / 2;
        stride = chroma_stride(st);
        fpic = st->bframe[comp - 3];
        ppic = st->cur[comp - 3];
    }
    int c0 = std::max((1 - mvbx) / 2 - ox, 0), c1 = std::min(size - (mvbx + 1) / 2 - ox, 8);
    int r0 = std::max((1 - mvby) / 2 - oy, 0), r1 = std::min(size - (mvby + 1) / 2 - oy, 8);
    int hx = mvbx & 1, hy = mvby & 1;
    for (int r = r0; r < r1; r++)
        for (int c = c0; c < c1; c++) {
            const uint8_t *a = ppic + (py + r + (mvby >> 1)) * stride + px + c + (mvbx >> 1);
            int p;
            if (hx && hy)
                p = (a[0] + a[1] + a[stride] + a[stride + 1] + 2) >> 2;
            else if (hx)
                p = (a[0] + a[1] + 1) >> 1;
            else if (hy)
                p = (a[0] + a[stride] + 1) >> 1;
            else
                p = a[0];
            uint8_t &f = fpic[(py + r) * stride + px + c];
            f = static_cast<uint8_t>((p + f) >> 1);
        }
}

void output_block(H263DecState *st, int comp, int bx, int by, bool add)
{
    int n = comp % 6;
    bool b = comp >= 6;
    uint8_t **pic = b ? st->bframe : st->cur;
    uint8_t *d;
    int stride;
    if (n < 4) {
        stride = luma_stride(st);
        d = pic[0] + (by + (n & 2) * 4) * stride + bx + (n & 1) * 8;
    } else {
        stride = chroma_stride(st);
        d = pic[n - 3] + (by / 2) * stride + bx / 2;
    }
    int16_t *c = st->block[comp];
    if (b)
        add = true;
    if (st->block_last[comp] > 2) {
        idct_put(c, d, stride, add);
        return;
    }
    // Only scan positions 0, 1 and 2 (raster 0, 1 and 8): the reduced transform is exact.
    __m128i rows[8];
    idct_reduced_rows(c[0], c[1], c[8], rows);
    // Saturating 16-bit adds and the unsigned pack clip to 0..255 exactly:
    // samples are 0..255 and the transform's outputs -256..255.
    const __m128i z = _mm_setzero_si128();
    for (int r = 0; r < 8; r++, d += stride) {
        __m128i v = rows[r];
        if (add)
            v = _mm_adds_epi16(v, _mm_unpacklo_epi8(
                                      _mm_loadl_epi64(reinterpret_cast<const __m128i *>(d)), z));
        _mm_storel_epi64(reinterpret_cast<__m128i *>(d), _mm_packus_epi16(v, v));
    }
}

} // namespace h263
