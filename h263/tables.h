// H.263 code tables and constant tables (ITU-T H.263), defined in tables.cpp.
#pragma once

#include <cstdint>

namespace h263 {

/** One code word of a variable-length code, as a text of '0' and '1'. */
struct CodeText {
    const char *bits;
};

/** MCBPC for I-pictures, Table 7: {mb type, cbpc} per symbol; the last is stuffing. */
extern const CodeText kMcbpcIntraCodes[9];
extern const int kMcbpcIntraValues[9][3];

/** MCBPC for P-pictures, Table 8: {mb type, cbpc} per symbol; the last is stuffing. */
extern const CodeText kMcbpcInterCodes[21];
extern const int kMcbpcInterValues[21][3];

/** CBPY, Table 9, indexed by the intra pattern of blocks 0..3 (first block most significant). */
extern const CodeText kCbpyCodes[16];

/** MVD, Table 14, for differences -32..31 in half-pel units (index = difference + 32). */
extern const CodeText kMvdCodes[64];

/** TCOEF, Table 16: 102 events {last, run, |level|} (sign bit not included), then ESCAPE. */
extern const CodeText kTcoefCodes[103];
extern const int kTcoefValues[103][3];

/** Zigzag scan, Figure 14: scan position -> raster index of the 8x8 block. */
extern const uint8_t kZigzag[64];
/** The inverse of kZigzag: raster index -> scan position. */
extern const uint8_t kScanPosition[64];

/** Code lengths of MVD for differences -32..31 (index = difference + 32). */
extern const uint8_t kMvdBits[64];

/** Picture sizes of the source formats 1..5 (index = format), 0 for the others. */
extern const int kSourceFormatWidth[8];
extern const int kSourceFormatHeight[8];

/** Annex F overlapped motion compensation weights: current, top/bottom, left/right. */
extern const uint8_t kObmcCurrent[8][8];
extern const uint8_t kObmcTopBottom[8][8];
extern const uint8_t kObmcLeftRight[8][8];

/** Annex F chroma vector rounding of a sum of four vectors, indexed by |sum| mod 16. */
extern const uint8_t kChromaRound16[16];

} // namespace h263
