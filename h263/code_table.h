// Variable-length code tables built from code words written as text, and the
// H.263 syntax element writers that use them.
#pragma once

#include "h263/bitwriter.h"
#include "h263/tables.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace h263 {

/** A prefix-free code: per symbol its length and bits (right-aligned) and its values. */
struct CodeTable {
    struct Node {
        int symbol = -2;        ///< symbol index, -1 interior, -2 empty
        int child[2] = {-1, -1};
    };
    int n = 0;                  ///< symbols
    int m = 0;                  ///< values per symbol
    std::string title;
    std::vector<uint8_t> length;
    std::vector<uint32_t> bits;
    std::vector<int> values;    ///< n x m
    std::vector<Node> tree;     ///< tree[0] is the root

    /** Writes the code word of a symbol; false (nothing written) for an index outside. */
    bool write(int symbol, BitWriter &bw) const
    {
        if (symbol < 0 || symbol >= n)
            return false;
        bw.put_bits(bits[symbol], length[symbol]);
        return true;
    }
};

/**
 * Builds a table from n code words and n x m values. Prints "InitCode: Wrong
 * code with title %s" and returns null when the code is not prefix-free or a
 * word is longer than 32 characters.
 */
std::unique_ptr<CodeTable> InitCode(const char *title, int n, int m, const int *values,
                                    const char *const *codes);

/** One code word: its bits (right-aligned) and length; length 0 where there is none. */
struct CodeWord {
    uint32_t bits;
    uint8_t length;
};

/** The process-wide tables of the encoder, built once on first use. */
struct EncoderTables {
    const CodeTable *mcbpc_intra;
    const CodeTable *mcbpc_inter;
    const CodeTable *cbpy_intra;
    const CodeTable *cbpy_inter;
    const CodeTable *intra_dc;
    const CodeTable *tcoef;
    const CodeTable *esc_run;
    const CodeTable *esc_level;
    const CodeTable *mvd;
    /**
     * (last, run 0..63, level + 16 for levels -15..15) -> the code word with its
     * sign bit appended, shifted left by 5, ORed with its length; 0 where there
     * is none (the level 0, and events that take an escape).
     */
    uint32_t tcoef_word[2][64][32];
    /** ESCAPE followed by room for LAST, RUN and LEVEL (15 bits); its length with them. */
    uint32_t escape_code;
    int escape_len;
    /** The code words of the tables above by symbol, for writing (empty for a missing table). */
    CodeWord mcbpc_words[2][21];    ///< [intra picture]
    CodeWord cbpy_words[2][16];     ///< [intra macroblock]
    CodeWord intra_dc_words[254];
    CodeWord mvd_words[64];
};

/** The encoder tables; null members where a table failed to build. */
const EncoderTables &encoder_tables();

inline int put_code(const CodeWord &c, BitWriter &bw)
{
    bw.put_bits(c.bits, c.length);
    return c.length;
}

/** MCBPC of an I-picture (type 3 or 4) or a P-picture; returns the bits written. */
inline int put_mcbpc(bool intra_picture, int mb_type, int cbpc, BitWriter &bw)
{
    int symbol = intra_picture ? (mb_type - 3) * 4 + cbpc : mb_type * 4 + cbpc;
    if (mb_type < 0 || (intra_picture && mb_type < 3) || symbol < 0 ||
        symbol >= (intra_picture ? 9 : 21))
        return 0;
    return put_code(encoder_tables().mcbpc_words[intra_picture][symbol], bw);
}

/** CBPY for the luma coded flags (block 0 most significant); intra table for types 3, 4. */
inline int put_cbpy(int mb_type, int cbpy, BitWriter &bw)
{
    if (cbpy < 0 || cbpy > 15)
        return 0;
    return put_code(encoder_tables().cbpy_words[mb_type >= 3][cbpy], bw);
}

/** INTRADC for a DC level 1..254. */
inline int put_intradc(int level, BitWriter &bw)
{
    if (level < 1 || level > 254)
        return 0;
    return put_code(encoder_tables().intra_dc_words[level - 1], bw);
}

/** MVD for a difference -32..31 in half-pel units. */
inline int put_mvd(int diff, BitWriter &bw)
{
    if (diff < -32 || diff > 31)
        return 0;
    return put_code(encoder_tables().mvd_words[diff + 32], bw);
}
/**
 * The TCOEF events of one block's levels in scan order: one event for each bit
 * of nonzero (scan positions of the non-zero levels, none below first), the run
 * counted from position first (1 for intra blocks, 0 for inter); returns the
 * bits written.
 */
int put_block_coefficients(const int16_t *scan, int first, uint64_t nonzero, BitWriter &bw);

/**
 * The same events from the levels at positions first to last (the last
 * non-zero one), zeros included; the reference the mask form is checked against.
 */
int put_block_coefficients_reference(const int16_t *scan, int first, int last, BitWriter &bw);

} // namespace h263
