// Look-up tables for reading the H.263 variable-length codes, derived once
// from the code tables that the encoder writes with.
#pragma once

#include <cstdint>

namespace h263 {

struct VlcEntry {
    int16_t value;  ///< decoded value; -1 for a bit pattern that is no code
    uint8_t length;
};

struct DecoderTables {
    VlcEntry mcbpc_intra[512];  ///< 9 bits: value = cbpc << 4 | type, 255 stuffing
    VlcEntry mcbpc_inter[512];  ///< 9 bits
    VlcEntry cbpy[64];          ///< 6 bits: the pattern of an inter macroblock
    VlcEntry mvd[8192];         ///< 13 bits: the difference -32..31
    /** 12 bits, sign not included: value = last << 12 | run << 4 | level; 0x1bff escape. */
    VlcEntry tcoef[4096];
};

/** Builds the decoder's tables; decoder_tables() keeps the one set of the process. */
const DecoderTables *build_decoder_tables();

/** The decoder's tables, built once per process. */
inline const DecoderTables &decoder_tables()
{
    static const DecoderTables *const tables = build_decoder_tables();
    return *tables;
}

} // namespace h263
