// Motion search of the encoder: block matching, descent search, half-pel
// refinement and motion-compensated prediction.
#pragma once

#include "h263/picture.h"
#include "h263/simd.h"
#include "h263/tables.h"

#include <cstdint>

namespace h263 {

/** A vector held as full-pel and half-pel parts; half-pel units are 2 * full + half. */
struct MotionVector {
    int16_t x = 0, y = 0;       ///< full-pel parts
    int16_t hx = 0, hy = 0;     ///< half-pel parts (0 or 1)

    int half_x() const { return 2 * x + hx; }
    int half_y() const { return 2 * y + hy; }
    static MotionVector from_half(int vx, int vy)
    {
        MotionVector v;
        v.x = static_cast<int16_t>(vx >> 1);
        v.y = static_cast<int16_t>(vy >> 1);
        v.hx = static_cast<int16_t>(vx & 1);
        v.hy = static_cast<int16_t>(vy & 1);
        return v;
    }
};

/**
 * Block matching of 16x16 luma blocks on a grid of every step-th sample in
 * each direction: the block to match is set once, then compared with candidates.
 */
class BlockMatcher {
public:
    explicit BlockMatcher(int step = 2) : step_(step) {}
    void set_step(int step) { step_ = step; }
    int step() const { return step_; }

    /** Takes the block at a (stride sa) as the one to match; it must stay valid. */
    void set_block(const uint8_t *a, int sa);
    /**
     * SAD between the block and the block at b (stride sb), scaled by
     * step*step. Once the sum exceeds bound the result is only known to exceed
     * it (the sampled rows may be cut short), which is all a search needs.
     */
    int sad(const uint8_t *b, int sb, int bound) const
    {
        if (step_ != 2)
            return sad_other(b, sb, bound);
        // The full sum is never below a partial one, so it answers every bound
        // test the way the row-by-row stop does.
        __m128i acc = _mm_setzero_si128();
        for (int i = 0; i < 4; i++)
            acc = _mm_add_epi64(acc, _mm_sad_epu8(pack_even_rows(b + 4 * i * sb, sb),
                                                  _mm_load_si128(reinterpret_cast<const __m128i *>(
                                                      packed_ + 16 * i))));
        return (_mm_cvtsi128_si32(acc) + _mm_cvtsi128_si32(_mm_srli_si128(acc, 8))) * 4;
    }
    /** Sum of |sample - block mean| over the sampled block, scaled; as sad past bound. */
    int activity(int bound) const;
    /**
     * The whole sad of the block against each of the eight half-pel
     * displacements around the block at b (stride sb), interpolated from its
     * full-pel samples, in the order of kHalfPelOffsets. up and left: whether
     * the row above and the column left of that block may be read; where not,
     * the displacements that need them get a meaningless sum.
     */
    void half_pel_sads(const uint8_t *b, int sb, bool up, bool left, int sad[8]) const;

private:
    /** The even samples of rows r and r + 2 of a block, packed into 16 bytes. */
    static __m128i pack_even_rows(const uint8_t *p, int stride)
    {
        const __m128i even = _mm_set1_epi16(0x00ff);
        return _mm_packus_epi16(_mm_and_si128(load16(p), even),
                                _mm_and_si128(load16(p + 2 * stride), even));
    }
    int sad_other(const uint8_t *b, int sb, int bound) const;

    int step_;
    const uint8_t *a_ = nullptr;
    int sa_ = 0;
    alignas(16) uint8_t packed_[64];    // step 2: the sampled block, two rows per 16 bytes
};

/** The half-pel displacements that the refinement tries, in its order: (x, y) in half pels. */
inline constexpr int8_t kHalfPelOffsets[8][2] = {{0, -1}, {1, -1}, {1, 0},  {1, 1},
                                                 {0, 1},  {-1, 1}, {-1, 0}, {-1, -1}};

/**
 * The sample at half-pel position (2 * x + hx, 2 * y + hy) of the plane p
 * (stride s) with hx, hy 0 or 1: the full-pel sample, or the rounded mean of
 * its two or four full-pel neighbours.
 */
inline int half_pel_sample(const uint8_t *p, int s, int x, int y, int hx, int hy)
{
    const uint8_t *a = p + y * s + x, *c = a + hy * s;
    return (a[0] + a[hx] + c[0] + c[hx] + 2) >> 2;
}

/** Block matching as the sampling rule states it, row by row with the early stop. */
int block_sad_reference(int step, const uint8_t *a, int sa, const uint8_t *b, int sb, int bound);
int block_activity_reference(int step, const uint8_t *a, int sa, int bound);
/**
 * BlockMatcher::half_pel_sads of the block at a (stride sa) sampled every
 * step-th sample; 0 for the displacements that up and left rule out.
 */
void half_pel_sads_reference(int step, const uint8_t *a, int sa, const uint8_t *b, int sb,
                             bool up, bool left, int sad[8]);

/**
 * Vector cost: Q * (MVD bits of dx + MVD bits of dy), differences in half-pel
 * units, each folded into -32..31 by 64 (the mask folds every difference a
 * search can produce, -96..95, the same way).
 */
inline int vector_cost(int q, int dx, int dy)
{
    return q * (kMvdBits[(dx + 32) & 63] + kMvdBits[(dy + 32) & 63]);
}

/** Search window for the block at (x, y) in a width x height picture: full-pel bounds. */
struct SearchWindow {
    int xmin, xmax, ymin, ymax;
    static SearchWindow around(int x, int y, int width, int height);
    bool contains(int vx, int vy) const
    {
        return vx >= xmin && vx <= xmax && vy >= ymin && vy <= ymax;
    }
};

/**
 * Full-pel descent search of the block at (x, y) of pic (the matcher's block)
 * against prev, from the zero vector with start_cost; pred is the predictor in
 * half-pel units. Writes the best full-pel vector and returns its cost.
 */
int full_pel_search(const BlockMatcher &bm, int x, int y, const Picture &pic, const Picture &prev,
                    int start_cost, int q, int pred_x, int pred_y, MotionVector &best);

/**
 * Half-pel refinement of the block at (x, y) of pic (the matcher's block)
 * around the full-pel vector mv against the reference, interpolated where a
 * displacement is measured; updates mv and returns the best cost.
 */
int half_pel_refine(const BlockMatcher &bm, int x, int y, const Picture &pic, const Picture &ref,
                    int start_cost, int q, int pred_x, int pred_y, MotionVector &mv);

/** Chroma vector component (half-pel units) of a luma component: H.263 rounding. */
inline int chroma_vector(int v)
{
    return (v % 4 == 0) ? v / 2 : ((v >> 1) | 1);
}

/** Writes the motion-compensated 16x16 luma and 8x8 chroma prediction into out at (x, y). */
void predict_macroblock(int x, int y, const Picture &ref, const MotionVector &mv, Picture &out);

/**
 * The 8x8 chroma predictions of the U and V planes at (cx, cy) with the chroma
 * vector (vx, vy) in half-pel units, into du and dv (the same stride).
 */
void predict_chroma(const uint8_t *u, const uint8_t *v, int stride, int cx, int cy, int vx,
                    int vy, uint8_t *du, uint8_t *dv);

/**
 * The scalar form of the predictions: the size x size block at (x, y) of src
 * displaced by (vx, vy) half pels, into the block at dst (the same stride).
 */
void predict_block_reference(const uint8_t *src, int stride, int x, int y, int vx, int vy,
                             int size, uint8_t *dst);

} // namespace h263
