// PVideoOutputDeviceRGB: the frame store and its whole-frame and rectangle updates.
#include <pwlib/passert.h>
#include <pwlib/video/internal/frame.h>
#include <pwlib/video/pvideooutputdevice.h>

#include <cstring>

PVideoOutputDeviceRGB::PVideoOutputDeviceRGB()
{
    colourFormat_ = "BGR24";
    frameStore_.SetSize(static_cast<PINDEX>(pwlib::video::Bgr24Bytes(frameWidth_, frameHeight_)));
}

BOOL PVideoOutputDeviceRGB::SetColourFormat(const PString &colourFormat)
{
    return colourFormat == "BGR24";
}

BOOL PVideoOutputDeviceRGB::SetColourFormatConverter(const PString &colourFormat)
{
    if (colourFormat == colourFormat_) {
        delete converter_;
        converter_ = nullptr;
        return TRUE;
    }
    PColourConverter *converter =
        PColourConverter::Create(colourFormat, colourFormat_, frameWidth_, frameHeight_);
    if (converter == nullptr)
        return FALSE;
    delete converter_;
    converter_ = converter;
    return TRUE;
}

BOOL PVideoOutputDeviceRGB::SetFrameSize(unsigned width, unsigned height)
{
    if (!PVideoOutputDevice::SetFrameSize(width, height))
        return FALSE;
    frameStore_.SetSize(0);
    frameStore_.SetSize(static_cast<PINDEX>(size_t(width) * height * bytesPerPixel_));
    return TRUE;
}

PINDEX PVideoOutputDeviceRGB::GetMaxFrameBytes()
{
    if (converter_ != nullptr)
        return converter_->GetSrcFrameBytes();
    return frameStore_.GetSize();
}

BOOL PVideoOutputDeviceRGB::SetFrameData(unsigned x, unsigned y, unsigned width,
                                         unsigned height, const BYTE *data, BOOL endFrame)
{
    if (data == nullptr || width == 0 || height == 0)
        return FALSE;
    if (PInt64(x) + width > frameWidth_ || PInt64(y) + height > frameHeight_)
        return FALSE;

    if (x == 0 && y == 0 && width == frameWidth_ && height == frameHeight_) {
        if (converter_ != nullptr) {
            if (!converter_->Convert(data, frameStore_.GetPointer(frameStore_.GetSize())))
                return FALSE;
        } else {
            std::memcpy(frameStore_.GetPointer(frameStore_.GetSize()), data,
                        static_cast<size_t>(frameStore_.GetSize()));
        }
    } else {
        if (converter_ != nullptr)
            return PAssertAlways("Converted output of partial RGB frame not supported");
        const size_t rowBytes = size_t(width) * bytesPerPixel_;
        const size_t storeRowBytes = size_t(frameWidth_) * bytesPerPixel_;
        BYTE *store = frameStore_.GetPointer(frameStore_.GetSize());
        for (unsigned row = 0; row < height; ++row)
            std::memcpy(store + (size_t(y) + row) * storeRowBytes + size_t(x) * bytesPerPixel_,
                        data + row * rowBytes, rowBytes);
    }

    if (endFrame)
        return EndFrame();
    return TRUE;
}

BOOL PVideoOutputDeviceRGB::EndFrame()
{
    return TRUE;
}
