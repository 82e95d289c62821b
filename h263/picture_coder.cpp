// Picture coder of the encoder (ITU-T H.263 clauses 5.1-5.4).
#include "h263/picture_coder.h"

#include "h263/block_coder.h"
#include "h263/code_table.h"
#include "h263/dsp.h"
#include "h263/print.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <emmintrin.h>

namespace h263 {

int rows_per_gob(int width, int height)
{
    (void)width;
    if (height > 800)
        return 4;
    if (height > 400)
        return 2;
    return 1;
}

int source_format_of(int width, int height)
{
    static const int sizes[5][2] = {{128, 96}, {176, 144}, {352, 288}, {704, 576}, {1408, 1152}};
    for (int f = 0; f < 5; f++)
        if (width == sizes[f][0] && height == sizes[f][1])
            return f + 1;
    // Custom sizes: multiples of 16 that the picture header and a decoder's
    // macroblock maps can hold.
    if (width % 16 == 0 && height % 16 == 0 && width >= 16 && height >= 16 && width <= 1408 &&
        height <= 1152)
        return 6;
    return 0;
}

PictureCoder::PictureCoder() = default;

int PictureCoder::H263pictureEncodeQ(int quant, int effort, int picture_type, int tr,
                                     int refresh_percent, const Picture &in, const Picture &prev,
                                     const Picture &ref, const uint8_t *change_vector,
                                     Picture &recon, BitWriter &bw, int *mb_start, int *mb_quant,
                                     MacroblockInfo &info)
{
    (void)change_vector;
    if (picture_type != previous_type_) {
        gfid_counter_++;
        previous_type_ = picture_type;
    }
    if (picture_type == 0)
        return code_picture(true, quant, effort, tr, 0, in, prev, ref, recon, bw, mb_start,
                            mb_quant, info);
    if (picture_type == 1)
        return code_picture(false, quant, effort, tr, refresh_percent, in, prev, ref, recon, bw,
                            mb_start, mb_quant, info);
    H263Printf("H263pictureEncodeQ: pictureCodingType >>%d<< not supported\n", picture_type);
    return 0;
}

int PictureCoder::put_picture_header(int tr, int format, int picture_type, int quant, int width,
                                     int height, BitWriter &bw)
{
    int start = bw.position;
    bw.put_bits(0x20, 22);                      // PSC
    bw.put_bits(static_cast<uint32_t>(tr) & 0xff, 8); // TR
    if (format != 6) {
        // PTYPE: marker, H.261 distinction, split screen, document camera,
        // freeze release, source format, coding type, then four options off.
        bw.put_bits(0x2, 2);
        bw.put_bits(0, 3);
        bw.put_bits(static_cast<uint32_t>(format), 3);
        bw.put_bits(static_cast<uint32_t>(picture_type), 1);
        bw.put_bits(0, 4);
        bw.put_bits(static_cast<uint32_t>(quant), 5); // PQUANT
        bw.put_bits(0, 1);                      // CPM
    } else {
        bw.put_bits(0x87, 8);                   // PTYPE with source format 111
        int ufep = picture_type == 0 ? 1 : 0;
        bw.put_bits(static_cast<uint32_t>(ufep), 3); // UFEP
        if (ufep) {
            bw.put_bits(6, 3);                  // OPPTYPE: custom source format
            bw.put_bits(0, 11);                 // no optional modes
            bw.put_bits(8, 4);                  // 1000
        }
        bw.put_bits(static_cast<uint32_t>(picture_type), 3); // MPPTYPE picture type
        bw.put_bits(0, 3);                      // RPR, RRU, rounding type
        bw.put_bits(1, 3);                      // 001
        bw.put_bits(0, 1);                      // CPM
        if (ufep) {
            bw.put_bits(1, 4);                  // CPFMT: pixel aspect ratio 12:11
            bw.put_bits(static_cast<uint32_t>(width / 4 - 1), 9); // PWI
            bw.put_bits(1, 1);
            bw.put_bits(static_cast<uint32_t>(height / 4), 9);    // PHI
        }
        bw.put_bits(static_cast<uint32_t>(quant), 5); // PQUANT
    }
    bw.put_bits(0, 1);                          // PEI
    return bw.position - start;
}

int PictureCoder::put_gob_header(int gn, int gfid, int quant, BitWriter &bw)
{
    int pad = bw.byte_align();
    bw.put_bits(1, 17);                         // GBSC
    bw.put_bits(static_cast<uint32_t>(gn), 5);  // GN
    bw.put_bits(static_cast<uint32_t>(gfid), 2); // GFID
    bw.put_bits(static_cast<uint32_t>(quant), 5); // GQUANT
    return pad + 29;
}

namespace {

inline int median3(int a, int b, int c)
{
    int mx = a > b ? (a > c ? a : c) : (b > c ? b : c);
    int mn = a < b ? (a < c ? a : c) : (b < c ? b : c);
    return a + b + c - mx - mn;
}

inline int fold_mvd(int d)
{
    if (d > 31)
        return d - 64;
    if (d < -32)
        return d + 64;
    return d;
}

} // namespace

int PictureCoder::code_picture(bool intra, int quant, int effort, int tr, int refresh,
                               const Picture &in, const Picture &prev, const Picture &ref,
                               Picture &recon, BitWriter &bw, int *mb_start, int *mb_quant,
                               MacroblockInfo &info)
{
    int w = in.width, h = in.height;
    int format = source_format_of(w, h);
    if (!format) {
        H263Printf("Picture format %dx%d is not allowed in this H.263 coder\n", w, h);
        return 0;
    }
    quant_.setup(quant);
    int start = bw.position;
    int mbw = w / 16, mbh = h / 16, k = rows_per_gob(w, h);
    mb_vx_.assign(static_cast<size_t>(mbw) * mbh, 0);
    mb_vy_.assign(static_cast<size_t>(mbw) * mbh, 0);
    if (!intra)
        matcher_.set_step(effort < 1 ? 4 : (effort <= 5 ? 2 : 1));
    int refresh_limit = refresh > 0 ? refresh * 32767 / 100 : -1;
    int gfid = gfid_counter_ & 3;

    for (int r = 0; r < mbh; r++) {
        mb_start[r * mbw] = bw.position;
        if (r == 0)
            put_picture_header(tr, format, intra ? 0 : 1, quant, w, h, bw);
        else if (r % k == 0)
            put_gob_header(r / k, gfid, quant, bw);
        for (int c = 0; c < mbw; c++) {
            int idx = r * mbw + c, x = c * 16, y = r * 16;
            if (c > 0)
                mb_start[idx] = bw.position;
            mb_quant[idx] = quant;
            info.mvx[idx] = info.mvy[idx] = 0;
            info.pmvx[idx] = info.pmvy[idx] = 0;
            if (intra) {
                info.type[idx] = kMbIntra;
                code_intra_mb(true, x, y, in, recon, bw);
                continue;
            }
            // Median predictor; the first row of each GOB sees only its left neighbour.
            int p1x = c > 0 ? mb_vx_[idx - 1] : 0, p1y = c > 0 ? mb_vy_[idx - 1] : 0;
            int px = p1x, py = p1y;
            if (r % k != 0) {
                int up = idx - mbw;
                int p3x = c + 1 < mbw ? mb_vx_[up + 1] : 0, p3y = c + 1 < mbw ? mb_vy_[up + 1] : 0;
                px = median3(p1x, mb_vx_[up], p3x);
                py = median3(p1y, mb_vy_[up], p3y);
            }
            info.pmvx[idx] = static_cast<int16_t>(px);
            info.pmvy[idx] = static_cast<int16_t>(py);
            bool forced = refresh_limit >= 0 && draw() <= refresh_limit;
            bool use_intra = forced;
            MotionVector mv;
            if (!forced) {
                matcher_.set_block(in.y + y * w + x, w);
                SearchWindow win = SearchWindow::around(x, y, w, h);
                // Start cost: the predictor's displacement (kept inside the picture) on the
                // reference, with the bits of the zero vector's difference.
                int pfx = px >> 1, pfy = py >> 1;
                pfx = pfx < win.xmin ? win.xmin : (pfx > win.xmax ? win.xmax : pfx);
                pfy = pfy < win.ymin ? win.ymin : (pfy > win.ymax ? win.ymax : pfy);
                int sad0 = matcher_.sad(ref.y + (y + pfy) * w + x + pfx, w, INT_MAX);
                int c0 = quant ? sad0 + vector_cost(quant, -px, -py) : sad0 - 100;
                int cost = c0;
                if (effort >= 5) {
                    for (int vy = win.ymin; vy <= win.ymax; vy++)
                        for (int vx = win.xmin; vx <= win.xmax; vx++) {
                            int vc = vector_cost(quant, 2 * vx - px, 2 * vy - py);
                            int cc =
                                matcher_.sad(prev.y + (y + vy) * w + x + vx, w, cost - vc) + vc;
                            if (cc < cost) {
                                cost = cc;
                                mv = MotionVector{};
                                mv.x = static_cast<int16_t>(vx);
                                mv.y = static_cast<int16_t>(vy);
                            }
                        }
                } else if (effort >= 3) {
                    cost = full_pel_search(matcher_, x, y, in, prev, c0, quant, px, py, mv);
                }
                int pure = cost - vector_cost(quant, 2 * mv.x - px, 2 * mv.y - py);
                // The activity is never negative: below a SAD of 500 it cannot win.
                if (pure > 500 && matcher_.activity(pure - 500) < pure - 500) {
                    use_intra = true;
                } else {
                    // The start cost's SAD serves when the search ended where it began.
                    const uint8_t *at = ref.y + (y + mv.y) * w + x + mv.x;
                    const int sad = mv.x == pfx && mv.y == pfy ? sad0 : matcher_.sad(at, w, INT_MAX);
                    int c = sad + vector_cost(quant, 2 * mv.x - px, 2 * mv.y - py);
                    if (effort >= 2)
                        half_pel_refine(matcher_, x, y, in, ref, c, quant, px, py, mv);
                }
            }
            if (use_intra) {
                info.type[idx] = kMbIntra;
                code_intra_mb(false, x, y, in, recon, bw);
            } else {
                info.type[idx] = kMbInter;
                info.mvx[idx] = static_cast<int16_t>(mv.half_x());
                info.mvy[idx] = static_cast<int16_t>(mv.half_y());
                mb_vx_[idx] = info.mvx[idx];
                mb_vy_[idx] = info.mvy[idx];
                predict_macroblock(x, y, ref, mv, recon);
                code_inter_mb(x, y, effort, in, recon, mv, px, py, bw);
            }
        }
        if (r % k == k - 1 || r == mbh - 1)
            bw.byte_align();
    }
    return bw.position - start;
}

namespace {

void block_places(int x, int y, const Picture &in, Picture &recon, BlockPlace place[6])
{
    int w = in.width, cw = w / 2;
    for (int n = 0; n < 4; n++) {
        int bx = x + (n & 1) * 8, by = y + (n >> 1) * 8;
        place[n] = {in.y + by * w + bx, recon.y + by * w + bx, w};
    }
    int coff = (y / 2) * cw + x / 2;
    place[4] = {in.u + coff, recon.u + coff, cw};
    place[5] = {in.v + coff, recon.v + coff, cw};
}

} // namespace

void PictureCoder::code_intra_mb(bool intra_picture, int x, int y, const Picture &in,
                                 Picture &recon, BitWriter &bw)
{
    BlockPlace place[6];
    block_places(x, y, in, recon, place);
    BlockLevels levels[6];
    int cbp = code_macroblock(quant_, true, intra_picture, place, levels);
    if (!intra_picture)
        bw.put_bit(0);                          // COD
    put_mcbpc(intra_picture, kMbIntra, cbp & 3, bw);
    put_cbpy(kMbIntra, cbp >> 2, bw);
    for (int n = 0; n < 6; n++) {
        put_intradc(levels[n].scan[0], bw);     // INTRADC
        if (cbp & (32 >> n))
            put_block_coefficients(levels[n].scan, 1, levels[n].nonzero, bw);
    }
}

void PictureCoder::code_inter_mb(int x, int y, int effort, const Picture &in,
                                 Picture &recon, const MotionVector &mv, int pred_x, int pred_y,
                                 BitWriter &bw)
{
    BlockPlace place[6];
    block_places(x, y, in, recon, place);
    BlockLevels levels[6];
    int cbp = code_macroblock(quant_, false, effort >= 4, place, levels);
    // COD 0, MCBPC and CBPY in one word (at most 16 bits), then the two MVD (at most 26).
    const EncoderTables &t = encoder_tables();
    const CodeWord &mcbpc = t.mcbpc_words[0][kMbInter * 4 + (cbp & 3)];
    const CodeWord &cbpy = t.cbpy_words[0][cbp >> 2];
    bw.put_bits(mcbpc.bits << cbpy.length | cbpy.bits, 1 + mcbpc.length + cbpy.length);
    const CodeWord &mvdx = t.mvd_words[fold_mvd(mv.half_x() - pred_x) + 32];
    const CodeWord &mvdy = t.mvd_words[fold_mvd(mv.half_y() - pred_y) + 32];
    bw.put_bits(mvdx.bits << mvdy.length | mvdy.bits, mvdx.length + mvdy.length);
    for (int n = 0; n < 6; n++)
        if (cbp & (32 >> n))
            put_block_coefficients(levels[n].scan, 0, levels[n].nonzero, bw);
}

} // namespace h263
