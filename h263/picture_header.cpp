// Picture and GOB headers of the decoder core (ITU-T H.263 clauses 5.1, 5.2 and 5.1.4).
#include "h263/dec_state.h"

#include "h263/print.h"
#include "h263/tables.h"

namespace h263 {

namespace {

/** What a picture header says; applied to the state only when the whole header is good. */
struct PictureHeader {
    int tr = 0;
    int source_format = 0;
    int width = 0, height = 0;
    int picture_type = 0;
    int umv = 0, sac = 0, ap = 0, pb = 0;
    int rounding_type = 0;
    int quant = 0;
    int ufep = 0, trb = 0, dbquant = 0;
};

/** The optional modes of OPPTYPE, in the order of their bits. */
enum PlusOption : int {
    kCustomPcf = 1 << 10,
    kPlusUmv = 1 << 9,
    kPlusSac = 1 << 8,
    kPlusAp = 1 << 7,
    kAdvancedIntra = 1 << 6,
    kDeblocking = 1 << 5,
    kSliceStructure = 1 << 4,
    kRefPictureSelection = 1 << 3,
    kIndependentSegments = 1 << 2,
    kAltInterVlc = 1 << 1,
    kModifiedQuant = 1 << 0,
};

/** Tools of H.263 version 2 this decoder does not implement: pictures using one are refused. */
struct MissingTool {
    int option;
    const char *name;
};
constexpr MissingTool kMissingTools[] = {
    {kCustomPcf, "custom picture clock frequency"},
    {kPlusUmv, "unrestricted motion vectors of PLUSPTYPE"},
    {kAdvancedIntra, "advanced intra coding"},
    {kDeblocking, "deblocking filter"},
    {kSliceStructure, "slice structure"},
    {kRefPictureSelection, "reference picture selection"},
    {kIndependentSegments, "independent segment decoding"},
    {kAltInterVlc, "alternative inter VLC"},
    {kModifiedQuant, "modified quantisation"},
};

/** PLUSPTYPE and what follows it up to PQUANT; false with the message on an error. */
bool read_plusptype(H263DecState *st, PictureHeader &h)
{
    BitReader &b = st->bits;
    h.ufep = static_cast<int>(b.getbits(3));            // UFEP
    int format = 7;
    if (h.ufep == 1) {
        format = static_cast<int>(b.getbits(3));        // OPPTYPE source format
        if (format == 0 || format == 7) {
            H263Printf("error: ERROR_ILLEGAL_SOURCE_FORMAT\n");
            return false;
        }
        const int options = static_cast<int>(b.getbits(11)); // PCF, UMV, SAC, AP, AIC, DF,
                                                             // SS, RPS, ISD, AIV, MQ
        if (b.getbits(4) != 8) {
            H263Printf("error: ERROR_ILLEGAL_OPPTYPE\n");
            return false;
        }
        // The modes stay in force for the pictures without OPPTYPE that follow,
        // whether this picture is decoded or not.
        st->plus_options = options;
    } else if (h.ufep != 0) {
        H263Printf("error: ERROR_ILLEGAL_UFEP\n");
        return false;
    }
    const int options = st->plus_options;
    h.sac = (options & kPlusSac) != 0;
    h.ap = (options & kPlusAp) != 0;
    h.picture_type = static_cast<int>(b.getbits(3));    // MPPTYPE picture type
    if (h.picture_type >= 6) {
        H263Printf("error: ERROR_ILLEGAL_PICTURE_TYPE\n");
        return false;
    }
    const int rpr = static_cast<int>(b.getbits1());     // reference picture resampling
    const int rru = static_cast<int>(b.getbits1());     // reduced-resolution update
    h.rounding_type = static_cast<int>(b.getbits1());   // RTYPE
    if (b.getbits(3) != 1) {
        H263Printf("error: ERROR_ILLEGAL_MPPTYPE\n");
        return false;
    }
    for (const MissingTool &t : kMissingTools) {
        if (options & t.option) {
            H263Printf("error: %s not supported\n", t.name);
            return false;
        }
    }
    static const char *const kPictureTypes[6] = {nullptr, nullptr, "improved PB-frames",
                                                 "B pictures", "EI pictures", "EP pictures"};
    if (kPictureTypes[h.picture_type]) {
        H263Printf("error: %s not supported\n", kPictureTypes[h.picture_type]);
        return false;
    }
    if (rpr || rru) {
        H263Printf("error: %s not supported\n",
                   rpr ? "reference picture resampling" : "reduced-resolution update");
        return false;
    }
    if (b.getbits1()) {                                 // CPM
        H263Printf("error: CPM not supported in this version\n");
        return false;
    }
    if (h.ufep == 1 && format == 6) {
        const int par = static_cast<int>(b.getbits(4)); // CPFMT pixel aspect ratio
        h.width = (static_cast<int>(b.getbits(9)) + 1) * 4; // PWI
        if (!b.getbits1()) {
            H263Printf("error: This bit shall be 1\n");
            return false;
        }
        h.height = static_cast<int>(b.getbits(9)) * 4;  // PHI
        if (par == 15)
            b.flushbits(16);                            // EPAR
    } else if (h.ufep == 1) {
        h.width = kSourceFormatWidth[format];
        h.height = kSourceFormatHeight[format];
    } else {
        if (st->no_frame_stores) {
            H263Printf("error: picture size unknown before the first full PLUSPTYPE\n");
            return false;
        }
        h.width = st->store_width;
        h.height = st->store_height;
    }
    h.source_format = h.ufep == 1 ? (format == 6 ? 6 : format) : st->source_format;
    return true;
}

bool read_picture_header(H263DecState *st)
{
    BitReader &b = st->bits;
    PictureHeader h;
    h.umv = st->long_vectors;
    h.pb = st->pb_frames;
    h.tr = static_cast<int>(b.getbits(8));              // TR
    if (!b.getbits1())
        H263Printf("warning: spare in picture header should be \"1\"\n");
    if (b.getbits1())
        H263Printf("warning: H.261 distinction bit should be \"0\"\n");
    if (b.getbits1()) {
        H263Printf("error: split-screen not supported in this version\n");
        return false;
    }
    if (b.getbits1())
        H263Printf("warning: document camera indicator not supported in this version\n");
    if (b.getbits1())
        H263Printf("warning: frozen picture not supported in this version\n");
    int format = static_cast<int>(b.getbits(3));        // source format
    bool plus = format == 7;
    if (plus) {
        if (!read_plusptype(st, h))
            return false;
    } else {
        if (format == 0 || format == 6) {
            H263Printf("error: illegal source format %d\n", format);
            return false;
        }
        h.source_format = format;
        h.width = kSourceFormatWidth[format];
        h.height = kSourceFormatHeight[format];
        h.picture_type = static_cast<int>(b.getbits1());
        h.umv = static_cast<int>(b.getbits1());
        h.sac = static_cast<int>(b.getbits1());
        h.ap = static_cast<int>(b.getbits1());
        h.pb = static_cast<int>(b.getbits1());
    }
    h.quant = static_cast<int>(b.getbits(5));           // PQUANT
    if (!plus && b.getbits1()) {                        // CPM
        H263Printf("error: CPM not supported in this version\n");
        return false;
    }
    if (h.pb) {
        h.trb = static_cast<int>(b.getbits(3));         // TRB
        h.dbquant = static_cast<int>(b.getbits(2));     // DBQUANT
    }
    while (b.getbits1()) {                              // PEI
        b.flushbits(8);                                 // PSPARE
        if (b.position() > b.size_bits())
            break;  // reading zeros past the data: a PEI run cannot go on for ever
    }
    if (h.quant == 0) {
        H263Printf("error: PQUANT 0\n");
        return false;
    }
    if (h.sac) {
        H263Printf("error: syntax-based arithmetic coding not supported\n");
        return false;
    }
    if (h.width < 16 || h.height < 16 || h.width > 1408 || h.height > 1152) {
        H263Printf("ERROR: Illegal input format\n");
        return false;
    }
    if (!st->no_frame_stores && (h.width != st->store_width || h.height != st->store_height)) {
        if (st->fixed_size || h.picture_type != 0) {
            H263Printf("error: picture size %dx%d differs from the stream's %dx%d\n", h.width,
                       h.height, st->store_width, st->store_height);
            return false;
        }
        free_frame_stores(st);  // an intra picture of another size: new stores follow
    }

    st->picture_headers++;
    st->prev_tr = st->tr;
    st->tr = h.tr;
    st->trd = st->tr - st->prev_tr;
    if (st->trd < 0)
        st->trd += 256;
    st->gfid = -1;
    st->source_format = h.source_format;
    st->coded_width = h.width;
    st->coded_height = h.height;
    st->picture_type = h.picture_type;
    if (!plus) {
        st->long_vectors = h.umv;
        st->vectors_outside = h.umv || h.ap;
        st->pb_frames = h.pb;
    } else {
        st->vectors_outside = st->long_vectors || h.ap;
    }
    st->plus_header = plus;
    st->sac = h.sac;
    st->advanced_prediction = h.ap;
    st->rounding_type = h.picture_type == 1 ? h.rounding_type : 0;
    if (plus) {
        if (h.picture_type == 1)
            st->rounding_alternates = st->last_rounding >= 0 && h.rounding_type != st->last_rounding;
        st->last_rounding = h.rounding_type;
    }
    st->quant = h.quant;
    st->ufep = h.ufep;
    st->trb = h.pb ? h.trb : 0;
    st->dbquant = h.dbquant;
    return true;
}

bool read_gob_header(H263DecState *st)
{
    BitReader &b = st->bits;
    int gfid = static_cast<int>(b.getbits(2));          // GFID
    int gquant = static_cast<int>(b.getbits(5));        // GQUANT
    if (st->gfid == -1)
        st->gfid = gfid;
    else if (st->gfid != gfid)
        st->gfid = 4;
    if (st->gfid != gfid)
        return false;
    if (gquant == 0)
        return false;
    st->quant = gquant;
    return true;
}

} // namespace

int read_header(H263DecState *st)
{
    BitReader &b = st->bits;
    b.flushbits(17);                                    // PSC / GBSC prefix
    int gn = static_cast<int>(b.getbits(5));            // GN
    st->gob_number = gn;
    if (gn == 31)
        return 0;                                       // end of sequence
    bool accepted = true;
    if (gn != 0) {
        if (st->no_frame_stores || st->skip_to_picture || gn >= st->gobs_per_picture)
            return 0;
        accepted = read_gob_header(st);
    } else {
        if (!read_picture_header(st)) {
            st->skip_to_picture = 1;
            return 0;
        }
        st->skip_to_picture = 0;
        if (st->no_frame_stores && !init_frame_stores(st)) {
            st->skip_to_picture = 1;
            return 0;
        }
    }
    if (!st->picture_open)
        start_picture(st);
    return accepted ? gn + 1 : 0;
}

} // namespace h263
