// Transforms for 8x8 blocks.
#include "h263/dsp.h"

#include "h263/cpu.h"
#include "h263/dsp_avx2.h"
#include "h263/simd.h"

#include <immintrin.h>

namespace h263 {

namespace {

constexpr double f0 = 0.7071068, f1 = 0.4903926, f2 = 0.4619398, f3 = 0.4157348,
                 f4 = 0.3535534, f5 = 0.2777851, f6 = 0.1913417, f7 = 0.0975452;

/** One-dimensional 8-point DCT of eight lanes at once: in[n][lane] -> out[k][lane]. */
inline void dct8_lanes(const double in[8][8], double out[8][8])
{
    for (int l = 0; l < 8; l++) {
        double s0 = in[0][l] + in[7][l], s1 = in[1][l] + in[6][l];
        double s2 = in[2][l] + in[5][l], s3 = in[3][l] + in[4][l];
        double e3 = in[3][l] - in[4][l], e2 = in[2][l] - in[5][l];
        double e1 = in[1][l] - in[6][l], e0 = in[0][l] - in[7][l];
        double a0 = s0 + s3, a1 = s1 + s2, a2 = s1 - s2, a3 = s0 - s3;
        double a5 = (e1 - e2) * f0, a6 = (e1 + e2) * f0;
        out[0][l] = (a0 + a1) * f4;
        out[4][l] = (a0 - a1) * f4;
        out[2][l] = a2 * f6 + a3 * f2;
        out[6][l] = a3 * f6 - a2 * f2;
        double c4 = e3 + a5, c7 = e0 + a6, c5 = e3 - a5, c6 = e0 - a6;
        out[1][l] = c4 * f7 + c7 * f1;
        out[5][l] = c5 * f3 + c6 * f5;
        out[7][l] = c7 * f7 - c4 * f1;
        out[3][l] = c6 * f3 - c5 * f5;
    }
}

inline void dct8_scalar(const double *in, double *out)
{
    double s0 = in[0] + in[7], s1 = in[1] + in[6], s2 = in[2] + in[5], s3 = in[3] + in[4];
    double e3 = in[3] - in[4], e2 = in[2] - in[5], e1 = in[1] - in[6], e0 = in[0] - in[7];
    double a0 = s0 + s3, a1 = s1 + s2, a2 = s1 - s2, a3 = s0 - s3;
    double a5 = (e1 - e2) * f0, a6 = (e1 + e2) * f0;
    out[0] = (a0 + a1) * f4;
    out[4] = (a0 - a1) * f4;
    out[2] = a2 * f6 + a3 * f2;
    out[6] = a3 * f6 - a2 * f2;
    double c4 = e3 + a5, c7 = e0 + a6, c5 = e3 - a5, c6 = e0 - a6;
    out[1] = c4 * f7 + c7 * f1;
    out[5] = c5 * f3 + c6 * f5;
    out[7] = c7 * f7 - c4 * f1;
    out[3] = c6 * f3 - c5 * f5;
}

/** fdct_exact with AVX2. */
__attribute__((target("avx2"))) void fdct_avx2(const int32_t *block, int32_t *coef)
{
    __m256i rows[8], out[8];
    for (int i = 0; i < 8; i++)
        rows[i] = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(block + 8 * i));
    avx2::fdct_exact(rows, out);
    for (int i = 0; i < 8; i++)
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(coef + 8 * i), out[i]);
}

/** fdct_exact on eight lanes without AVX2 (the compiler vectorises the lanes). */
void fdct_lanes(const int32_t *block, int32_t *coef)
{
    // Rows first: lanes are the rows, so the input is taken transposed.
    double in[8][8], mid[8][8], tr[8][8], out[8][8];
    for (int y = 0; y < 8; y++)
        for (int x = 0; x < 8; x++)
            in[x][y] = block[y * 8 + x];
    dct8_lanes(in, mid);                // mid[u][y]
    for (int u = 0; u < 8; u++)
        for (int y = 0; y < 8; y++)
            tr[y][u] = mid[u][y];
    dct8_lanes(tr, out);                // out[v][u]
    for (int v = 0; v < 8; v++)
        for (int u = 0; u < 8; u++)
            coef[v * 8 + u] = static_cast<int32_t>(out[v][u]);
}

} // namespace

void fdct_exact(const int32_t *block, int32_t *coef)
{
    if (avx2_kernels())
        fdct_avx2(block, coef);
    else
        fdct_lanes(block, coef);
}

void fdct_exact_reference(const int32_t *block, int32_t *coef)
{
    double rows[8][8];
    for (int y = 0; y < 8; y++) {
        double in[8];
        for (int x = 0; x < 8; x++)
            in[x] = block[y * 8 + x];
        dct8_scalar(in, rows[y]);
    }
    for (int u = 0; u < 8; u++) {
        double in[8], out[8];
        for (int y = 0; y < 8; y++)
            in[y] = rows[y][u];
        dct8_scalar(in, out);
        for (int v = 0; v < 8; v++)
            coef[v * 8 + u] = static_cast<int32_t>(out[v]);
    }
}

void fdct_fast(const int32_t *block, int32_t *coef)
{
    int top = 0, bottom = 0, left = 0, right = 0;
    for (int i = 0; i < 8; i++) {
        top += block[i];
        bottom += block[56 + i];
        left += block[i * 8];
        right += block[i * 8 + 7];
    }
    for (int i = 0; i < 64; i++)
        coef[i] = 0;
    coef[0] = (top + bottom + left + right) >> 2;
    coef[1] = ((left - right) * 21) >> 6;
    coef[8] = ((top - bottom) * 21) >> 6;
}

namespace {

constexpr int W1 = 2841, W2 = 2676, W3 = 2408, W5 = 1609, W6 = 1108, W7 = 565;

inline int clip256(int v)
{
    return v < -256 ? -256 : (v > 255 ? 255 : v);
}

inline void idct_row(int16_t *b)
{
    int x1 = b[4] << 11, x2 = b[6], x3 = b[2], x4 = b[1], x5 = b[7], x6 = b[5], x7 = b[3];
    if (!(x1 | x2 | x3 | x4 | x5 | x6 | x7)) {
        int16_t v = static_cast<int16_t>(b[0] * 8);
        for (int i = 0; i < 8; i++)
            b[i] = v;
        return;
    }
    int x0 = (b[0] << 11) + 128;
    int x8 = W7 * (x4 + x5);
    x4 = x8 + (W1 - W7) * x4;
    x5 = x8 - (W1 + W7) * x5;
    x8 = W3 * (x6 + x7);
    x6 = x8 - (W3 - W5) * x6;
    x7 = x8 - (W3 + W5) * x7;
    x8 = x0 + x1;
    x0 -= x1;
    x1 = W6 * (x3 + x2);
    x2 = x1 - (W2 + W6) * x2;
    x3 = x1 + (W2 - W6) * x3;
    x1 = x4 + x6;
    x4 -= x6;
    x6 = x5 + x7;
    x5 -= x7;
    x7 = x8 + x3;
    x8 -= x3;
    x3 = x0 + x2;
    x0 -= x2;
    x2 = static_cast<int>((181LL * (x4 + x5) + 128) >> 8);
    x4 = static_cast<int>((181LL * (x4 - x5) + 128) >> 8);
    b[0] = static_cast<int16_t>((x7 + x1) >> 8);
    b[1] = static_cast<int16_t>((x3 + x2) >> 8);
    b[2] = static_cast<int16_t>((x0 + x4) >> 8);
    b[3] = static_cast<int16_t>((x8 + x6) >> 8);
    b[4] = static_cast<int16_t>((x8 - x6) >> 8);
    b[5] = static_cast<int16_t>((x0 - x4) >> 8);
    b[6] = static_cast<int16_t>((x3 - x2) >> 8);
    b[7] = static_cast<int16_t>((x7 - x1) >> 8);
}

inline void idct_col(int16_t *b)
{
    int x1 = b[8 * 4] << 8, x2 = b[8 * 6], x3 = b[8 * 2], x4 = b[8 * 1], x5 = b[8 * 7],
        x6 = b[8 * 5], x7 = b[8 * 3];
    if (!(x1 | x2 | x3 | x4 | x5 | x6 | x7)) {
        int16_t v = static_cast<int16_t>(clip256((b[0] + 32) >> 6));
        for (int i = 0; i < 8; i++)
            b[8 * i] = v;
        return;
    }
    int x0 = (b[0] << 8) + 8192;
    int x8 = W7 * (x4 + x5) + 4;
    x4 = (x8 + (W1 - W7) * x4) >> 3;
    x5 = (x8 - (W1 + W7) * x5) >> 3;
    x8 = W3 * (x6 + x7) + 4;
    x6 = (x8 - (W3 - W5) * x6) >> 3;
    x7 = (x8 - (W3 + W5) * x7) >> 3;
    x8 = x0 + x1;
    x0 -= x1;
    x1 = W6 * (x3 + x2) + 4;
    x2 = (x1 - (W2 + W6) * x2) >> 3;
    x3 = (x1 + (W2 - W6) * x3) >> 3;
    x1 = x4 + x6;
    x4 -= x6;
    x6 = x5 + x7;
    x5 -= x7;
    x7 = x8 + x3;
    x8 -= x3;
    x3 = x0 + x2;
    x0 -= x2;
    x2 = static_cast<int>((181LL * (x4 + x5) + 128) >> 8);
    x4 = static_cast<int>((181LL * (x4 - x5) + 128) >> 8);
    b[8 * 0] = static_cast<int16_t>(clip256((x7 + x1) >> 14));
    b[8 * 1] = static_cast<int16_t>(clip256((x3 + x2) >> 14));
    b[8 * 2] = static_cast<int16_t>(clip256((x0 + x4) >> 14));
    b[8 * 3] = static_cast<int16_t>(clip256((x8 + x6) >> 14));
    b[8 * 4] = static_cast<int16_t>(clip256((x8 - x6) >> 14));
    b[8 * 5] = static_cast<int16_t>(clip256((x0 - x4) >> 14));
    b[8 * 6] = static_cast<int16_t>(clip256((x3 - x2) >> 14));
    b[8 * 7] = static_cast<int16_t>(clip256((x7 - x1) >> 14));
}

} // namespace

void idct_reference(int16_t *block)
{
    for (int i = 0; i < 8; i++)
        idct_row(block + 8 * i);
    for (int i = 0; i < 8; i++)
        idct_col(block + i);
}

namespace {

/** idct with AVX2. */
__attribute__((target("avx2"))) void idct_avx2(int16_t *block)
{
    __m256i r[8];
    for (int i = 0; i < 8; i++)
        r[i] = _mm256_cvtepi16_epi32(
            _mm_loadu_si128(reinterpret_cast<const __m128i *>(block + 8 * i)));
    avx2::idct(r);
    for (int i = 0; i < 8; i += 2)
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(block + 8 * i),
                            avx2::pack_rows(r[i], r[i + 1]));
}

/** idct_put with AVX2: the block stays in registers from the coefficients to the samples. */
__attribute__((target("avx2"))) void idct_put_avx2(const int16_t *block, uint8_t *dst, int stride,
                                                   bool add)
{
    __m256i r[8];
    for (int i = 0; i < 8; i++)
        r[i] = _mm256_cvtepi16_epi32(
            _mm_loadu_si128(reinterpret_cast<const __m128i *>(block + 8 * i)));
    avx2::idct(r);
    // Saturating 16-bit adds and the unsigned pack clip to 0..255 exactly:
    // samples are 0..255 and the transform's outputs -256..255.
    for (int i = 0; i < 8; i += 2, dst += 2 * stride) {
        __m256i v = avx2::pack_rows(r[i], r[i + 1]);
        if (add)
            v = _mm256_adds_epi16(
                v, _mm256_cvtepu8_epi16(_mm_unpacklo_epi64(load8(dst), load8(dst + stride))));
        const __m256i b = _mm256_packus_epi16(v, v);
        store8(dst, _mm256_castsi256_si128(b));
        store8(dst + stride, _mm256_extracti128_si256(b, 1));
    }
}

} // namespace

void idct_put(const int16_t *block, uint8_t *dst, int stride, bool add)
{
    if (avx2_kernels()) {
        idct_put_avx2(block, dst, stride, add);
        return;
    }
    int16_t c[64];
    for (int i = 0; i < 64; i++)
        c[i] = block[i];
    idct_reference(c);
    for (int r = 0; r < 8; r++, dst += stride)
        for (int i = 0; i < 8; i++)
            dst[i] = clip_pixel(c[8 * r + i] + (add ? dst[i] : 0));
}

void idct(int16_t *block)
{
    if (avx2_kernels())
        idct_avx2(block);
    else
        idct_reference(block);
}

void idct_reduced(int16_t *block)
{
    // The butterflies of idct_row and idct_col with every other input zero:
    // row 0 holds b0 and b1, row 1 only its first value, the rest nothing.
    const ReducedTerms terms(block[0], block[1], block[8]);
    for (int c = 0; c < 8; c++)
        for (int i = 0; i < 8; i++)
            block[8 * i + c] = static_cast<int16_t>(clip256((terms.base[c] + terms.k[i]) >> 14));
}

} // namespace h263
