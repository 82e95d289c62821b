// libavcodec's H.263 encoder and decoder behind a small interface.
#include "av_oracle.h"

#include <cstring>
#include <stdexcept>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/imgutils.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
}

namespace h263test {

namespace {

int g_log_errors = 0;

void count_errors(void *, int level, const char *, va_list)
{
    if (level <= AV_LOG_ERROR)
        g_log_errors++;
}

void copy_out(const AVFrame *f, std::vector<uint8_t> &out)
{
    int w = f->width, h = f->height;
    out.resize(static_cast<size_t>(w) * h * 3 / 2);
    uint8_t *d = out.data();
    for (int j = 0; j < h; j++)
        std::memcpy(d + j * w, f->data[0] + j * f->linesize[0], static_cast<size_t>(w));
    d += w * h;
    for (int p = 1; p <= 2; p++) {
        for (int j = 0; j < h / 2; j++)
            std::memcpy(d + j * (w / 2), f->data[p] + j * f->linesize[p],
                        static_cast<size_t>(w / 2));
        d += w * h / 4;
    }
}

} // namespace

struct AvDecoder::Impl {
    AVCodecContext *ctx = nullptr;
    AVFrame *frame = nullptr;
    AVPacket *pkt = nullptr;
};

AvDecoder::AvDecoder() : impl_(std::make_unique<Impl>())
{
    av_log_set_callback(count_errors);
    const AVCodec *codec = avcodec_find_decoder(AV_CODEC_ID_H263);
    impl_->ctx = avcodec_alloc_context3(codec);
    impl_->ctx->thread_count = 1;
    impl_->ctx->err_recognition = AV_EF_CRCCHECK | AV_EF_BITSTREAM;
    if (avcodec_open2(impl_->ctx, codec, nullptr) < 0)
        throw std::runtime_error("cannot open libavcodec's H.263 decoder");
    impl_->frame = av_frame_alloc();
    impl_->pkt = av_packet_alloc();
}

AvDecoder::~AvDecoder()
{
    av_packet_free(&impl_->pkt);
    av_frame_free(&impl_->frame);
    avcodec_free_context(&impl_->ctx);
}

bool AvDecoder::decode(const uint8_t *data, size_t size, std::vector<uint8_t> &out, int &width,
                       int &height)
{
    int before = g_log_errors;
    std::vector<uint8_t> padded(size + AV_INPUT_BUFFER_PADDING_SIZE, 0);
    std::memcpy(padded.data(), data, size);
    impl_->pkt->data = padded.data();
    impl_->pkt->size = static_cast<int>(size);
    int r = avcodec_send_packet(impl_->ctx, impl_->pkt);
    bool got = false;
    if (r >= 0 && avcodec_receive_frame(impl_->ctx, impl_->frame) >= 0) {
        width = impl_->frame->width;
        height = impl_->frame->height;
        copy_out(impl_->frame, out);
        if (impl_->frame->decode_error_flags)
            errors_++;
        got = true;
    }
    if (r < 0)
        errors_++;
    errors_ += g_log_errors - before;
    return got;
}

size_t av_padding()
{
    return AV_INPUT_BUFFER_PADDING_SIZE;
}

bool AvDecoder::decode_padded(const uint8_t *data, size_t size)
{
    impl_->pkt->data = const_cast<uint8_t *>(data);
    impl_->pkt->size = static_cast<int>(size);
    if (avcodec_send_packet(impl_->ctx, impl_->pkt) < 0)
        return false;
    return avcodec_receive_frame(impl_->ctx, impl_->frame) >= 0;
}

std::vector<std::vector<uint8_t>> AvDecoder::decode_stream(const std::vector<uint8_t> &stream,
                                                           int &width, int &height)
{
    std::vector<std::vector<uint8_t>> pictures;
    AVCodecParserContext *parser = av_parser_init(AV_CODEC_ID_H263);
    const uint8_t *p = stream.data();
    size_t left = stream.size();
    for (bool flushing = false;;) {
        uint8_t *out = nullptr;
        int out_size = 0;
        int used = av_parser_parse2(parser, impl_->ctx, &out, &out_size, p,
                                    static_cast<int>(left), AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
        p += used;
        left -= static_cast<size_t>(used);
        if (out_size > 0) {
            std::vector<uint8_t> pic;
            if (decode(out, static_cast<size_t>(out_size), pic, width, height))
                pictures.push_back(std::move(pic));
        }
        if (flushing && out_size == 0)
            break;
        if (left == 0)
            flushing = true;
    }
    av_parser_close(parser);
    return pictures;
}

struct AvEncoder::Impl {
    AVCodecContext *ctx = nullptr;
    AVFrame *frame = nullptr;
    AVPacket *pkt = nullptr;
    int64_t pts = 0;
};

std::string AvEncoder::options(bool gob_headers)
{
    return std::string("h263, qscale fixed (flags +qscale, global_quality = q*FF_QP2LAMBDA), "
                       "me_method epzs (default), mbd simple, no 4MV/OBMC/UMV/AIC, "
                       "gop 300, max_b_frames 0, threads 1") +
           (gob_headers ? ", option ps=1 (a GOB header per GOB)" : "");
}

AvEncoder::AvEncoder(int width, int height, int qscale, bool gob_headers, int gop, bool advanced)
    : impl_(std::make_unique<Impl>())
{
    const AVCodec *codec = avcodec_find_encoder(AV_CODEC_ID_H263);
    AVCodecContext *c = avcodec_alloc_context3(codec);
    impl_->ctx = c;
    c->width = width;
    c->height = height;
    c->pix_fmt = AV_PIX_FMT_YUV420P;
    c->time_base = AVRational{1, 25};
    c->framerate = AVRational{25, 1};
    c->gop_size = gop;
    c->max_b_frames = 0;
    c->thread_count = 1;
    c->flags |= AV_CODEC_FLAG_QSCALE;
    c->global_quality = qscale * FF_QP2LAMBDA;
    AVDictionary *opts = nullptr;
    if (gob_headers)
        av_dict_set(&opts, "ps", "1", 0);
    if (advanced) {
        c->flags |= AV_CODEC_FLAG_4MV;
        av_dict_set(&opts, "obmc", "1", 0);
    }
    int r = avcodec_open2(c, codec, &opts);
    av_dict_free(&opts);
    if (r < 0)
        throw std::runtime_error("cannot open libavcodec's H.263 encoder");
    impl_->frame = av_frame_alloc();
    impl_->frame->format = AV_PIX_FMT_YUV420P;
    impl_->frame->width = width;
    impl_->frame->height = height;
    av_frame_get_buffer(impl_->frame, 32);
    impl_->pkt = av_packet_alloc();
}

AvEncoder::~AvEncoder()
{
    av_packet_free(&impl_->pkt);
    av_frame_free(&impl_->frame);
    avcodec_free_context(&impl_->ctx);
}

std::vector<uint8_t> AvEncoder::encode(const uint8_t *yuv)
{
    AVFrame *f = impl_->frame;
    av_frame_make_writable(f);
    int w = f->width, h = f->height;
    for (int j = 0; j < h; j++)
        std::memcpy(f->data[0] + j * f->linesize[0], yuv + j * w, static_cast<size_t>(w));
    const uint8_t *u = yuv + w * h, *v = u + w * h / 4;
    for (int j = 0; j < h / 2; j++) {
        std::memcpy(f->data[1] + j * f->linesize[1], u + j * (w / 2), static_cast<size_t>(w / 2));
        std::memcpy(f->data[2] + j * f->linesize[2], v + j * (w / 2), static_cast<size_t>(w / 2));
    }
    f->pts = impl_->pts++;
    f->quality = impl_->ctx->global_quality;
    std::vector<uint8_t> out;
    if (avcodec_send_frame(impl_->ctx, f) < 0)
        return out;
    while (avcodec_receive_packet(impl_->ctx, impl_->pkt) >= 0) {
        out.insert(out.end(), impl_->pkt->data, impl_->pkt->data + impl_->pkt->size);
        av_packet_unref(impl_->pkt);
    }
    return out;
}

} // namespace h263test
