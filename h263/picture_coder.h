// Picture coder of the encoder: picture and GOB headers, macroblock decisions
// and the macroblock layer of ITU-T H.263 (baseline, extended PTYPE for custom sizes).
#pragma once

#include "h263/bitwriter.h"
#include "h263/motion.h"
#include "h263/picture.h"
#include "h263/quant.h"

#include <cstdint>
#include <vector>

namespace h263 {

/** Macroblock coding types. */
enum MacroblockType : int16_t {
    kMbInter = 0,
    kMbInterQ = 1,
    kMbInter4V = 2,
    kMbIntra = 3,
    kMbIntraQ = 4,
    kMbNotCoded = -1,
};

/** What the packetiser needs of each macroblock of the last picture. */
struct MacroblockInfo {
    int gob_columns = 0;            ///< macroblocks per GOB
    int gob_count = 0;
    std::vector<int16_t> type;      ///< one entry per macroblock
    std::vector<int16_t> mvx, mvy;  ///< half-pel units
    std::vector<int16_t> pmvx, pmvy; ///< the vector predictors, half-pel units (0 in intra pictures)
};

/** GOB structure of a picture size: k macroblock rows per GOB (1, 2 or 4). */
int rows_per_gob(int width, int height);

/** Source format code of a picture size (1..5 standard, 6 custom), 0 when refused. */
int source_format_of(int width, int height);

/** The working state of one encoder: tables, the block matcher and counters. */
class PictureCoder {
public:
    PictureCoder();

    /**
     * Codes one picture (type 0 intra, 1 inter) into bw and leaves its
     * reconstruction in recon; returns the bits written, 0 when refused.
     */
    int H263pictureEncodeQ(int quant, int effort, int picture_type, int tr, int refresh_percent,
                           const Picture &in, const Picture &prev, const Picture &ref,
                           const uint8_t *change_vector, Picture &recon, BitWriter &bw,
                           int *mb_start, int *mb_quant, MacroblockInfo &info);

    /** Writes the picture header; returns its bits. */
    int put_picture_header(int tr, int format, int picture_type, int quant, int width,
                           int height, BitWriter &bw);
    /** Byte-aligns and writes a GOB header; returns the bits added. */
    int put_gob_header(int gn, int gfid, int quant, BitWriter &bw);

    int gfid() const { return gfid_counter_ & 3; }

private:
    int code_picture(bool intra, int quant, int effort, int tr, int refresh, const Picture &in,
                     const Picture &prev, const Picture &ref, Picture &recon, BitWriter &bw,
                     int *mb_start, int *mb_quant, MacroblockInfo &info);
    void code_intra_mb(bool intra_picture, int x, int y, const Picture &in, Picture &recon,
                       BitWriter &bw);
    void code_inter_mb(int x, int y, int effort, const Picture &in, Picture &recon,
                       const MotionVector &mv, int pred_x, int pred_y, BitWriter &bw);

    /** The C library's rand() of the platform the refresh rule was made for: 0..32767, seed 1. */
    int draw()
    {
        rand_state_ = rand_state_ * 214013u + 2531011u;
        return static_cast<int>((rand_state_ >> 16) & 0x7fff);
    }

    uint32_t rand_state_ = 1;
    int gfid_counter_ = -1;
    int previous_type_ = -1;
    Quantiser quant_;
    BlockMatcher matcher_;
    std::vector<int16_t> mb_vx_, mb_vy_;    // half-pel vectors of the picture (0 for intra)
    std::vector<uint8_t> mb_inter_;
};

} // namespace h263
