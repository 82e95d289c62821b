// libavcodec's H.263 encoder and decoder, used as the oracle and the benchmark peer.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace h263test {

/** Decodes H.263 pictures with libavcodec, one picture per call. */
class AvDecoder {
public:
    AvDecoder();
    ~AvDecoder();
    AvDecoder(const AvDecoder &) = delete;
    AvDecoder &operator=(const AvDecoder &) = delete;

    /**
     * Decodes one coded picture; on success fills out with the YUV 4:2:0
     * picture (planes without gaps) and its size. Errors the decoder reported
     * are counted in errors().
     */
    bool decode(const uint8_t *data, size_t size, std::vector<uint8_t> &out, int &width,
                int &height);
    /** Splits an elementary stream into pictures with libavcodec's parser and decodes all. */
    std::vector<std::vector<uint8_t>> decode_stream(const std::vector<uint8_t> &stream,
                                                    int &width, int &height);
    /**
     * Decodes one picture from a buffer that carries AV_INPUT_BUFFER_PADDING_SIZE
     * zero bytes behind size, without copying the picture out (for timing).
     */
    bool decode_padded(const uint8_t *data, size_t size);
    int errors() const { return errors_; }

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    int errors_ = 0;
};

/** Bytes of zero padding libavcodec wants behind an input buffer. */
size_t av_padding();

/** libavcodec's H.263 encoder at a fixed quantiser, one thread. */
class AvEncoder {
public:
    /**
     * gob_headers: a GOB header in front of every GOB (rtp payload size 1);
     * otherwise only the picture header. gop: pictures between intra pictures.
     * advanced: four vectors per macroblock and overlapped motion compensation.
     */
    AvEncoder(int width, int height, int qscale, bool gob_headers, int gop = 300,
              bool advanced = false);
    ~AvEncoder();
    AvEncoder(const AvEncoder &) = delete;
    AvEncoder &operator=(const AvEncoder &) = delete;

    /** Codes one picture; returns its bytes. */
    std::vector<uint8_t> encode(const uint8_t *yuv);
    /** The options the encoder runs with, for reports. */
    static std::string options(bool gob_headers);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace h263test
