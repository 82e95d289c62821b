// H263StreamDecoder: an elementary stream through the decoder core.
#include "h263/stream_decoder.h"

#include "h263/dec_state.h"

H263StreamDecoder::H263StreamDecoder(PictureSink sink)
    : core_(h263::decoder_core_create()), sink_(std::move(sink))
{
}

H263StreamDecoder::~H263StreamDecoder()
{
    if (core_) {
        h263::free_frame_stores(core_);
        h263::decoder_core_destroy(core_);
    }
}

void H263StreamDecoder::emit()
{
    // One picture per picture header: a picture ended twice (complete, then
    // concealed at the next header) is handed out once.
    if (core_->no_frame_stores || !core_->display[0] ||
        core_->picture_headers == emitted_headers_)
        return;
    emitted_headers_ = core_->picture_headers;
    H263PictureView v{core_->display[0], core_->display[1], core_->display[2],
                      core_->width + 64,  core_->width / 2 + 32, core_->width,
                      core_->height};
    pictures_++;
    if (sink_)
        sink_(v);
}

void H263StreamDecoder::decode(const uint8_t *data, size_t length, bool end_of_stream)
{
    if (!core_)
        return;
    const uint8_t *pos = data, *end = data + length;
    for (;;) {
        int r = h263::decode_segments(core_, pos, end, end_of_stream);
        if (r != 0)
            emit();
        else if (pos >= end)
            break;
    }
    if (end_of_stream) {
        if (core_->seg.state == h263::Segmenter::kComplete) {
            const uint8_t *none = end;
            if (h263::decode_segments(core_, none, end, false) != 0)
                emit();
        }
        if (core_->picture_open)
            h263::conceal_missing_gobs(core_);
        emit();
    }
}
