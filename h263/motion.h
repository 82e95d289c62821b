// Motion search of the encoder: block matching, descent search, half-pel
// refinement, half-pel interpolation and motion-compensated prediction.
#pragma once

#include "h263/picture.h"

#include <cstdint>
#include <vector>

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

/** The horizontal, vertical and diagonal half-pel interpolations of a reference luma plane. */
struct HalfPelPlanes {
    int width = 0, height = 0;
    std::vector<uint8_t> h, v, d;

    /** Builds the three planes from the reference (reallocating when the size changed). */
    void interpolate(const Picture &ref);
    /** The plane that a vector's half-pel parts select; the reference itself for full-pel. */
    const uint8_t *select(const uint8_t *ref, int hx, int hy) const
    {
        if (hx && hy)
            return d.data();
        if (hx)
            return h.data();
        if (hy)
            return v.data();
        return ref;
    }
};

/** Block matching of 16x16 luma blocks on a grid of every step-th sample in each direction. */
class BlockMatcher {
public:
    explicit BlockMatcher(int step = 2) : step_(step) {}
    void set_step(int step) { step_ = step; }
    int step() const { return step_; }

    /**
     * SAD between the block at a (stride sa) and the block at b (stride sb),
     * scaled by step*step; stops once the scaled sum exceeds bound.
     */
    int sad(const uint8_t *a, int sa, const uint8_t *b, int sb, int bound) const;
    /** Sum of |sample - block mean| over the sampled block, scaled; stops past bound. */
    int activity(const uint8_t *a, int sa, int bound) const;

private:
    int step_;
};

/** Vector cost: Q * (MVD bits of dx + MVD bits of dy), differences in half-pel units. */
int vector_cost(int q, int dx, int dy);

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
 * Full-pel descent search of the block at (x, y) of pic against prev, from the
 * zero vector with start_cost; pred is the predictor in half-pel units.
 * Writes the best full-pel vector and returns its cost.
 */
int full_pel_search(const BlockMatcher &bm, int x, int y, const Picture &pic, const Picture &prev,
                    int start_cost, int q, int pred_x, int pred_y, MotionVector &best);

/**
 * Half-pel refinement around the full-pel vector mv against the reference and
 * its half-pel planes; updates mv and returns the best cost.
 */
int half_pel_refine(const BlockMatcher &bm, int x, int y, const Picture &pic, const Picture &ref,
                    const HalfPelPlanes &planes, int start_cost, int q, int pred_x, int pred_y,
                    MotionVector &mv);

/** Chroma vector component (half-pel units) of a luma component: H.263 rounding. */
inline int chroma_vector(int v)
{
    return (v % 4 == 0) ? v / 2 : ((v >> 1) | 1);
}

/** Writes the motion-compensated 16x16 luma and 8x8 chroma prediction into out at (x, y). */
void predict_macroblock(int x, int y, const Picture &ref, const HalfPelPlanes &planes,
                        const MotionVector &mv, Picture &out);

} // namespace h263
