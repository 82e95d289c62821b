// The standard picture formats of H.261 and H.263 and the choice of the one to send.
#pragma once

namespace h323::video {

/// The picture formats in the order of the H.245 fields.
enum Format { SQCIF, QCIF, CIF, CIF4, CIF16, NumFormats };

struct FrameSize {
    unsigned width;
    unsigned height;
};

/// The picture size of a format (128x96, 176x144, 352x288, 704x576, 1408x1152).
FrameSize SizeOf(Format format);

/// The format of a picture size; NumFormats when it is none.
Format FormatOf(unsigned width, unsigned height);

/// Minimum picture intervals per format (in units of 1001/30000 s; 0: not allowed).
struct PictureIntervals {
    unsigned mpi[NumFormats] = {};

    bool Any() const;
    /// Keeps the formats both allow, each at the longer of the two intervals.
    void Intersect(const PictureIntervals &other);
    /// The format to send: the grabbed size's own when allowed, otherwise the first allowed
    /// of QCIF, CIF, SQCIF, 4CIF, 16CIF; NumFormats when none is.
    Format Choose(unsigned grabWidth, unsigned grabHeight) const;
};

} // namespace h323::video
