// H263DecState: the state of one H.263 decoder core (segmenter, headers,
// macroblock maps, frame stores) and the core's operations.
#pragma once

#include "h263/bitreader.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace h263 {

/** Cuts a byte string into segments that each begin with a byte-aligned start code. */
struct Segmenter {
    static constexpr size_t kInitialBytes = 32768;
    static constexpr size_t kMaxBytes = 4u << 20;   ///< longer segments are dropped

    enum State { kSearching = 0, kCollecting = 1, kAtStartCode = 2, kComplete = 3 };

    std::vector<uint8_t> buffer = std::vector<uint8_t>(kInitialBytes);
    size_t write = 0;               ///< bytes of the segment collected
    size_t end = 0;                 ///< bytes of segment data (the next start code follows)
    uint32_t shift = 0xffffffffu;   ///< the last bytes seen, for start-code detection
    uint8_t pending[3] = {};        ///< the start code that ended the last segment
    bool overlong = false;
    bool inside_gob = false;        ///< the segment begins at a macroblock, not a start code
    State state = kSearching;
};

/**
 * Where data that begins inside a GOB begins (after a lost packet, from an
 * RFC 2190 mode B header): the macroblock, its quantiser and the predictors
 * of its vectors (of block 1 and block 3 with four vectors), half-pel units.
 */
/** What an RFC 2190 payload header says of its picture, for one whose header was lost. */
struct PayloadPicture {
    int inter = 0;                  ///< I: the picture coding type
    int umv = 0, sac = 0, ap = 0;   ///< U, S, A
    int tr = -1;                    ///< TR of a mode A header, -1 from mode B
};

struct MacroblockStart {
    int gob = 0, mba = 0;           ///< GOB number and macroblock address within it
    int quant = 0;
    int hmv1 = 0, vmv1 = 0, hmv2 = 0, vmv2 = 0;
    int sbit = 0;                   ///< bits of the first byte that precede it
};

struct MotionField {
    int cols = 0, rows = 0;         ///< with the border: mb_cols + 2, mb_rows + 1
    std::vector<int> x[5], y[5];    ///< 0 the macroblock vector, 1..4 the block vectors
    std::vector<int> mode;
    int idx(int mbx, int mby) const { return (mby + 1) * cols + mbx + 1; }
};

struct H263DecState {
    Segmenter seg;
    BitReader bits;

    // Frame stores.
    std::vector<uint8_t> store[3];          ///< three pictures, each Y then U then V
    int current = 0, reference = 1, bpic = 2;
    uint8_t *cur[3] = {}, *ref[3] = {}, *bframe[3] = {}, *display[3] = {};
    std::vector<uint8_t> edge;              ///< edge-extended reference
    uint8_t *edge_origin[3] = {};

    MotionField mv;
    int16_t block[12][64] = {};
    int block_last[12] = {};                ///< highest scan position read into each block

    int no_frame_stores = 1;
    int fault = 0;
    int gfid = -1;
    int tr = 0, prev_tr = 0, trd = 0;
    int quant = 1;
    int source_format = 0;
    int coded_width = 0, coded_height = 0;
    int width = 0, height = 0, chroma_width = 0, chroma_height = 0;
    int store_width = 0, store_height = 0;  ///< the size the stores were built for
    int fixed_size = 0;                     ///< the transport fixed the size: others are refused
    int mb_cols = 0, mb_rows = 0;
    int mbs_per_gob = 0, gobs_per_picture = 100000;
    int picture_type = 0;
    int new_gob = 0;
    int gob_number = 0;
    int gob_count = 0;
    int picture_open = 0;                   ///< a picture was started and not yet ended
    uint8_t gob_decoded[32] = {};
    int picture_headers = 0;                ///< picture headers accepted so far
    int skip_to_picture = 0;                ///< a refused picture header drops GOBs until the next
    int vectors_outside = 0, long_vectors = 0, advanced_prediction = 0, pb_frames = 0, sac = 0;
    int ufep = 0, trb = 0, dbquant = 0;
    std::vector<uint8_t> mb_done;           ///< per macroblock of the picture: decoded
    int gob_headers = 1;                    ///< the last GOB after the first had a header
    MacroblockStart resume;                 ///< of a segment that begins inside a GOB
    int given_predictors = 0;               ///< the next macroblock's predictors are resume's
    int awaiting_picture = 0;               ///< a picture without header begins with the next data
    int plus_header = 0;                    ///< the last picture header had a PLUSPTYPE
    int plus_options = 0;                   ///< the optional modes of the last OPPTYPE
    int rounding_type = 0;                  ///< RTYPE of a P picture: half-pel averages round down
    int last_rounding = -1;                 ///< RTYPE of the last picture with PLUSPTYPE
    int rounding_alternates = 0;            ///< the last P one had another than the one before
};

/** Creates a core with no frame stores. */
H263DecState *decoder_core_create();
void decoder_core_destroy(H263DecState *st);

/**
 * Consumes data from pos up to end. Returns 0 when more data are needed, 1
 * when the picture's last GOB was decoded, 2 when a picture was finished with
 * concealment (it returns at once then: the picture ended is the display
 * picture) or a segment failed. With flush, the data's end ends a segment.
 */
int decode_segments(H263DecState *st, const uint8_t *&pos, const uint8_t *end, bool flush);
/** Ends the current picture: every macroblock not decoded is copied from the reference. */
void conceal_missing_gobs(H263DecState *st);
/**
 * The data fed next belong to a picture whose header was lost (with the
 * packet that carried it): it is set up from the payload header as far as
 * that tells, its rounding type from the pictures before; false when such a
 * picture cannot be decoded.
 */
bool begin_picture_without_header(H263DecState *st, const PayloadPicture &p);
/**
 * Makes the data fed next begin at a macroblock inside a GOB of the picture
 * being decoded; false (and nothing changes) when there is no such picture,
 * the position is outside it or its GOB is done.
 */
bool begin_at_macroblock(H263DecState *st, const MacroblockStart &at);

// Headers (picture_header.cpp).
/** Reads the picture or GOB header at the head of the segment; GN + 1, or 0 when it fails. */
int read_header(H263DecState *st);

// Macroblocks (macroblock.cpp).
/** Decodes the GOB of the segment from its macroblock first_mb on, into the GOBs after it with run_on. */
void decode_gob_macroblocks(H263DecState *st, bool run_on, int first_mb = 0);

// Reconstruction and frame stores (recon.cpp).
bool init_frame_stores(H263DecState *st);
void free_frame_stores(H263DecState *st);
void start_picture(H263DecState *st);
void copy_gob_from_reference(H263DecState *st, int gob);
void copy_mb_from_reference(H263DecState *st, int mbx, int mby);
void extend_edges(const uint8_t *src, uint8_t *origin, int width, int height, int border);
void reconstruct(H263DecState *st, int bx, int by, bool b_picture, int mvdbx, int mvdby);
void predict_b_block(H263DecState *st, int comp, int bx, int by, int mode, int mvdbx, int mvdby);
/**
 * Inverse-transforms coefficient block comp (0-5 P, 6-11 B) and writes it at
 * the macroblock (bx, by): into the picture (intra) or added to the prediction.
 */
void output_block(H263DecState *st, int comp, int bx, int by, bool add);

} // namespace h263
