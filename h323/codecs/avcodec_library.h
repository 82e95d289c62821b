// libavcodec and libavutil, opened when the first H.261 codec needs them: most calls carry no
// H.261, and the libraries with the hundred they depend on take memory in every process that
// loads them.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

namespace h323 {

#define KESTRELIN_AVCODEC_FUNCTIONS(X)                                                          \
    X(avcodec_find_encoder)                                                                     \
    X(avcodec_find_decoder)                                                                     \
    X(avcodec_alloc_context3)                                                                   \
    X(avcodec_free_context)                                                                     \
    X(avcodec_open2)                                                                            \
    X(avcodec_send_frame)                                                                       \
    X(avcodec_receive_packet)                                                                   \
    X(avcodec_send_packet)                                                                      \
    X(avcodec_receive_frame)                                                                    \
    X(av_packet_alloc)                                                                          \
    X(av_packet_free)                                                                           \
    X(av_packet_unref)
#define KESTRELIN_AVUTIL_FUNCTIONS(X)                                                           \
    X(av_frame_alloc)                                                                           \
    X(av_frame_free)                                                                            \
    X(av_frame_get_buffer)                                                                      \
    X(av_frame_make_writable)                                                                   \
    X(av_frame_unref)

/// The functions the H.261 codec calls, under their own names.
struct AvCodecLibrary {
#define KESTRELIN_AV_MEMBER(name) decltype(&::name) name = nullptr;
    KESTRELIN_AVCODEC_FUNCTIONS(KESTRELIN_AV_MEMBER)
    KESTRELIN_AVUTIL_FUNCTIONS(KESTRELIN_AV_MEMBER)
#undef KESTRELIN_AV_MEMBER
};

/// The libraries of the major versions built against, opened on the first call; null (once
/// traced) when either or one of the functions is missing.
const AvCodecLibrary *AvCodec();

} // namespace h323
