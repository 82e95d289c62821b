// SSE2 helpers shared by the encoder and the decoder (x86-64 baseline).
#pragma once

#include <emmintrin.h>

namespace h263 {

/**
 * (a + b + c + d + 2) >> 2 of 16 bytes, exactly, without widening: with
 * p = avg(a, b) and q = avg(c, d) (each (x + y + 1) >> 1), the result is
 * avg(p, q) minus 1 where p + q is odd and a + b or c + d is odd.
 */
inline __m128i avg4_epu8(__m128i a, __m128i b, __m128i c, __m128i d)
{
    const __m128i p = _mm_avg_epu8(a, b), q = _mm_avg_epu8(c, d);
    const __m128i odd = _mm_or_si128(_mm_xor_si128(a, b), _mm_xor_si128(c, d));
    const __m128i fix = _mm_and_si128(_mm_and_si128(_mm_xor_si128(p, q), odd), _mm_set1_epi8(1));
    return _mm_sub_epi8(_mm_avg_epu8(p, q), fix);
}

/**
 * avg4_epu8 from the pair averages p = avg(a, b), q = avg(c, d) and the pair
 * differences a ^ b, c ^ d, for callers that have them already.
 */
inline __m128i avg4_from_pairs(__m128i p, __m128i q, __m128i ab_xor, __m128i cd_xor)
{
    const __m128i odd = _mm_or_si128(ab_xor, cd_xor);
    const __m128i fix = _mm_and_si128(_mm_and_si128(_mm_xor_si128(p, q), odd), _mm_set1_epi8(1));
    return _mm_sub_epi8(_mm_avg_epu8(p, q), fix);
}

inline __m128i load16(const uint8_t *p)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
}

inline __m128i load8(const uint8_t *p)
{
    return _mm_loadl_epi64(reinterpret_cast<const __m128i *>(p));
}

inline void store16(uint8_t *p, __m128i v)
{
    _mm_storeu_si128(reinterpret_cast<__m128i *>(p), v);
}

inline void store8(uint8_t *p, __m128i v)
{
    _mm_storel_epi64(reinterpret_cast<__m128i *>(p), v);
}

} // namespace h263
