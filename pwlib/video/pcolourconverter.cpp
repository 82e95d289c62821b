// PColourConverter: the YUV420P to BGR24 converter and the same-format copy.
#include <pwlib/video/internal/frame.h>
#include <pwlib/video/pcolourconverter.h>

#include <cstring>

namespace
{

using namespace pwlib::video;

class Yuv420ToBgr24Converter : public PColourConverter
{
  public:
    Yuv420ToBgr24Converter(unsigned width, unsigned height)
        : PColourConverter("YUV420P", "BGR24", width, height)
    {
    }
    BOOL Convert(const BYTE *src, BYTE *dst, PINDEX *bytesReturned) override
    {
        if (src == nullptr || dst == nullptr)
            return FALSE;
        Yuv420ToBgr24(src, dst, width_, height_);
        if (bytesReturned != nullptr)
            *bytesReturned = GetDstFrameBytes();
        return TRUE;
    }
};

class CopyConverter : public PColourConverter
{
  public:
    CopyConverter(const PString &format, unsigned width, unsigned height)
        : PColourConverter(format, format, width, height)
    {
    }
    BOOL Convert(const BYTE *src, BYTE *dst, PINDEX *bytesReturned) override
    {
        if (src == nullptr || dst == nullptr)
            return FALSE;
        std::memcpy(dst, src, static_cast<size_t>(GetDstFrameBytes()));
        if (bytesReturned != nullptr)
            *bytesReturned = GetDstFrameBytes();
        return TRUE;
    }
};

} // namespace

PColourConverter::PColourConverter(const PString &srcColourFormat,
                                   const PString &dstColourFormat, unsigned width,
                                   unsigned height)
    : srcColourFormat_(srcColourFormat), dstColourFormat_(dstColourFormat), width_(width),
      height_(height)
{
}

PColourConverter *PColourConverter::Create(const PString &srcColourFormat,
                                           const PString &dstColourFormat, unsigned width,
                                           unsigned height)
{
    if (!ValidFrameSize(width, height))
        return nullptr;
    if (srcColourFormat == "YUV420P" && dstColourFormat == "BGR24")
        return new Yuv420ToBgr24Converter(width, height);
    if (srcColourFormat == dstColourFormat && FrameBytes(srcColourFormat, width, height) > 0)
        return new CopyConverter(srcColourFormat, width, height);
    return nullptr;
}

PINDEX PColourConverter::FrameBytes(const PString &colourFormat, unsigned width,
                                    unsigned height)
{
    if (!ValidFrameSize(width, height))
        return 0;
    if (colourFormat == "YUV420P")
        return static_cast<PINDEX>(Yuv420Bytes(width, height));
    if (colourFormat == "BGR24")
        return static_cast<PINDEX>(Bgr24Bytes(width, height));
    return 0;
}

BOOL PColourConverter::SetFrameSize(unsigned width, unsigned height)
{
    if (!ValidFrameSize(width, height))
        return FALSE;
    width_ = width;
    height_ = height;
    return TRUE;
}
