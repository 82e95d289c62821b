// Transforms for 8x8 blocks: the exact and the fast forward DCT, and the integer inverse DCT.
#pragma once

#include <cstdint>

namespace h263 {

/** Orthonormal 8x8 DCT-II in double precision; each coefficient truncated toward zero. */
void fdct_exact(const int32_t *block, int32_t *coef);

/** The scalar form of fdct_exact, kept as the reference the vectorised one is checked against. */
void fdct_exact_reference(const int32_t *block, int32_t *coef);

/**
 * Estimate from the block's border: coefficients 0, 1 and 8 from the sums of
 * the first and last rows and columns; all others 0.
 */
void fdct_fast(const int32_t *block, int32_t *coef);

/**
 * Separable integer inverse DCT (Chen-Wang butterflies), in place on 64
 * values in raster order; outputs are clipped to -256..255.
 */
void idct(int16_t *block);

/** The scalar form of idct, the reference its vectorised form is checked against. */
void idct_reference(int16_t *block);

/** The inverse DCT of a block whose only non-zero coefficients are 0, 1 and 8; equals idct. */
void idct_reduced(int16_t *block);

inline uint8_t clip_pixel(int v)
{
    return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

} // namespace h263
