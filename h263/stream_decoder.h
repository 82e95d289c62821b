// H263StreamDecoder: decodes an H.263 elementary stream (pictures one after another).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace h263 {
struct H263DecState;
}

/** One decoded picture: planes with their strides, valid during the callback. */
struct H263PictureView {
    const uint8_t *y, *u, *v;
    int y_stride, c_stride;
    int width, height;
};

class H263StreamDecoder {
public:
    using PictureSink = std::function<void(const H263PictureView &)>;

    explicit H263StreamDecoder(PictureSink sink);
    ~H263StreamDecoder();
    H263StreamDecoder(const H263StreamDecoder &) = delete;
    H263StreamDecoder &operator=(const H263StreamDecoder &) = delete;

    /**
     * Decodes bytes of the stream; every completed picture goes to the sink.
     * With end_of_stream the last picture is completed (missing GOBs concealed).
     */
    void decode(const uint8_t *data, size_t length, bool end_of_stream);
    int pictures() const { return pictures_; }

private:
    void emit();

    h263::H263DecState *core_;
    PictureSink sink_;
    int pictures_ = 0;
    int emitted_headers_ = -1;
};
