// The standard picture formats and the choice of the transmitted one.
#include <h323/codecs/video_format.h>

#include <algorithm>
#include <iterator>

namespace h323::video {

FrameSize SizeOf(Format format)
{
    switch (format) {
    case SQCIF:
        return {128, 96};
    case QCIF:
        return {176, 144};
    case CIF:
        return {352, 288};
    case CIF4:
        return {704, 576};
    case CIF16:
        return {1408, 1152};
    default:
        return {0, 0};
    }
}

Format FormatOf(unsigned width, unsigned height)
{
    for (int f = SQCIF; f < NumFormats; f++) {
        FrameSize size = SizeOf(Format(f));
        if (size.width == width && size.height == height)
            return Format(f);
    }
    return NumFormats;
}

bool PictureIntervals::Any() const
{
    return std::any_of(std::begin(mpi), std::end(mpi), [](unsigned m) { return m != 0; });
}

void PictureIntervals::Intersect(const PictureIntervals &other)
{
    for (int f = 0; f < NumFormats; f++)
        mpi[f] = mpi[f] != 0 && other.mpi[f] != 0 ? std::max(mpi[f], other.mpi[f]) : 0;
}

Format PictureIntervals::Choose(unsigned grabWidth, unsigned grabHeight) const
{
    Format grabbed = FormatOf(grabWidth, grabHeight);
    if (grabbed != NumFormats && mpi[grabbed] != 0)
        return grabbed;
    for (Format f : {QCIF, CIF, SQCIF, CIF4, CIF16})
        if (mpi[f] != 0)
            return f;
    return NumFormats;
}

} // namespace h323::video
