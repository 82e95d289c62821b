// Block coding of the encoder: transform, quantiser test, reconstruction and scan of one 8x8 block.
#pragma once

#include "h263/quant.h"

#include <cstdint>

namespace h263 {

/** The quantised levels of one block in zig-zag scan order. */
struct BlockLevels {
    /** Valid at 0 for intra blocks (the DC level 1..254) and where nonzero has a bit. */
    int16_t scan[64];
    /** Bit i set where scan[i] is a non-zero level to code (from 1 for intra blocks). */
    uint64_t nonzero;
    /** Highest scan position with a non-zero level, from 1 for intra blocks; -1 when none. */
    int last;
};

/**
 * Codes one 8x8 block: the pixels at src (intra) or src minus the prediction
 * already in rec (inter) are transformed, quantised and dequantised, and the
 * reconstruction is written to rec. Unless exact_only, the fast border estimate
 * is tried first and kept when its reconstruction error is within 20 * Q;
 * otherwise the exact transform is used. Returns whether the block is coded.
 */
bool code_block(const Quantiser &q, bool intra, bool exact_only, const uint8_t *src, int ss,
                uint8_t *rec, int rs, BlockLevels &out);

/** Where one block of a macroblock lies: the source, the reconstruction and their stride. */
struct BlockPlace {
    const uint8_t *src;
    uint8_t *rec;
    int stride;
};

/** code_block of the six blocks of a macroblock; returns the coded block pattern (bit 5-n). */
int code_macroblock(const Quantiser &q, bool intra, bool exact_only, const BlockPlace place[6],
                    BlockLevels levels[6]);

/** The scalar form of code_block, the reference the vectorised one is checked against. */
bool code_block_reference(const Quantiser &q, bool intra, bool exact_only, const uint8_t *src,
                          int ss, uint8_t *rec, int rs, BlockLevels &out);

} // namespace h263
