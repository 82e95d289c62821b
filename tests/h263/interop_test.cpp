// The codec against libavcodec's H.263: our encoder's stream in its decoder, its stream in ours,
// and ffmpeg's RFC 2190 packets in our depacketiser.
#include "support/av_oracle.h"
#include "support/ffmpeg_rtp.h"
#include "support/test_sequence.h"

#include "h263/encoder.h"
#include "h263/decoder.h"
#include "h263/packetiser.h"
#include "h263/stream_decoder.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

struct Size {
    int width, height;
};

void PrintTo(const Size &s, std::ostream *os) { *os << s.width << "x" << s.height; }

class EncoderInterop : public ::testing::TestWithParam<Size> {};

TEST_P(EncoderInterop, LibavcodecDecodesOurPicturesAsWeReconstructThem)
{
    const int w = GetParam().width, h = GetParam().height;
    H263Encoder enc(0, 0);
    h263test::AvDecoder av;
    double worst = 99;
    size_t bytes = 0;
    for (int t = 0; t < 100; t++) {
        std::vector<uint8_t> src = h263test::moving_picture(w, h, t);
        enc.SetSize(w, h);
        std::memcpy(enc.GetFramePtr(), src.data(), src.size());
        ASSERT_GT(enc.ProcessOneFrame(), 0);
        std::vector<uint8_t> stream;
        int ebit = 0;
        uint8_t payload[H263Encoder::kMaxPayload];
        while (enc.PacketsOutstanding()) {
            unsigned len = 0;
            enc.ReadOnePacket(payload, len);
            ASSERT_LE(len, 1024u);
            ASSERT_TRUE(h263::join_payload(payload, len, stream, ebit));
        }
        bytes += stream.size();
        std::vector<uint8_t> pic;
        int pw = 0, ph = 0;
        ASSERT_TRUE(av.decode(stream.data(), stream.size(), pic, pw, ph)) << "picture " << t;
        ASSERT_EQ(pw, w);
        ASSERT_EQ(ph, h);
        double p = h263test::psnr(pic.data(), enc.LastReconstruction(), w, h);
        worst = std::min(worst, p);
        EXPECT_GT(h263test::psnr(src.data(), enc.LastReconstruction(), w, h), 25.0);
    }
    EXPECT_EQ(av.errors(), 0);
    EXPECT_GT(worst, 40.0);
    std::printf("%dx%d: worst PSNR libavcodec vs our reconstruction %.2f dB, %zu bytes\n", w, h,
                worst, bytes);
}

INSTANTIATE_TEST_SUITE_P(Sizes, EncoderInterop,
                         ::testing::Values(Size{176, 144}, Size{352, 288}, Size{128, 96},
                                           Size{320, 240}),
                         ::testing::PrintToStringParamName());

} // namespace

namespace {

std::vector<uint8_t> contiguous(const H263PictureView &v)
{
    int w = v.width, h = v.height;
    std::vector<uint8_t> out(static_cast<size_t>(w) * h * 3 / 2);
    for (int j = 0; j < h; j++)
        std::memcpy(out.data() + j * w, v.y + j * v.y_stride, static_cast<size_t>(w));
    uint8_t *u = out.data() + w * h, *vv = u + w * h / 4;
    for (int j = 0; j < h / 2; j++) {
        std::memcpy(u + j * (w / 2), v.u + j * v.c_stride, static_cast<size_t>(w / 2));
        std::memcpy(vv + j * (w / 2), v.v + j * v.c_stride, static_cast<size_t>(w / 2));
    }
    return out;
}

struct AvCase {
    int width, height;
    bool gob_headers;
};

void PrintTo(const AvCase &c, std::ostream *os)
{
    *os << c.width << "x" << c.height << (c.gob_headers ? "_gob_headers" : "");
}

class LibavcodecStream : public ::testing::TestWithParam<AvCase> {};

TEST_P(LibavcodecStream, DecodesAsLibavcodecDoes)
{
    const AvCase c = GetParam();
    h263test::AvEncoder enc(c.width, c.height, 5, c.gob_headers, 30);
    std::vector<uint8_t> stream;
    for (int t = 0; t < 60; t++) {
        std::vector<uint8_t> src = h263test::moving_picture(c.width, c.height, t);
        std::vector<uint8_t> pic = enc.encode(src.data());
        stream.insert(stream.end(), pic.begin(), pic.end());
    }
    size_t start_codes = 0;
    for (size_t i = 0; i + 2 < stream.size(); i++)
        start_codes += !stream[i] && !stream[i + 1] && (stream[i + 2] & 0x80);
    const size_t gobs = c.height == 144 ? 9 : 18;
    if (c.gob_headers)
        EXPECT_EQ(start_codes, 60 * gobs);
    else
        EXPECT_EQ(start_codes, 60u);
    h263test::AvDecoder av;
    int w = 0, h = 0;
    std::vector<std::vector<uint8_t>> expected = av.decode_stream(stream, w, h);
    ASSERT_EQ(expected.size(), 60u);
    std::vector<std::vector<uint8_t>> ours;
    H263StreamDecoder dec([&](const H263PictureView &v) { ours.push_back(contiguous(v)); });
    dec.decode(stream.data(), stream.size(), true);
    ASSERT_EQ(ours.size(), expected.size());
    double worst = 99;
    for (size_t i = 0; i < ours.size(); i++)
        worst = std::min(worst, h263test::psnr(ours[i].data(), expected[i].data(), w, h));
    EXPECT_GT(worst, 45.0);
    std::printf("%dx%d%s: worst PSNR ours vs libavcodec %.2f dB\n", w, h,
                c.gob_headers ? " with GOB headers" : "", worst);
}

INSTANTIATE_TEST_SUITE_P(Streams, LibavcodecStream,
                         ::testing::Values(AvCase{176, 144, false}, AvCase{176, 144, true},
                                           AvCase{352, 288, false}, AvCase{352, 288, true}),
                         ::testing::PrintToStringParamName());

TEST(OwnStream, DecoderReproducesTheEncodersReconstruction)
{
    const int w = 176, h = 144;
    H263Encoder enc(0, 0);
    H263Decoder dec;
    for (int t = 0; t < 30; t++) {
        std::vector<uint8_t> src = h263test::moving_picture(w, h, t);
        enc.SetSize(w, h);
        std::memcpy(enc.GetFramePtr(), src.data(), src.size());
        enc.ProcessOneFrame();
        uint8_t payload[H263Encoder::kMaxPayload];
        static unsigned seq = 65530;
        while (enc.PacketsOutstanding()) {
            unsigned len = 0;
            enc.ReadOnePacket(payload, len);
            bool marker = !enc.PacketsOutstanding();
            dec.DecodePacket(payload, static_cast<int>(len), false, marker, seq++ & 0xffff,
                             static_cast<uint32_t>(t) * 3003);
            if (marker)
                dec.FinishFrame();
        }
        ASSERT_EQ(dec.width(), w);
        ASSERT_NE(dec.GetFramePtr(), nullptr);
        ASSERT_EQ(h263test::max_difference(dec.GetFramePtr(), enc.LastReconstruction(), w, h), 0)
            << "picture " << t;
    }
}

} // namespace

namespace {

struct FfmpegRtpCase {
    const char *source;     ///< a name of lavfi_sources()
    int width, height;
    bool gob_headers;       ///< a GOB header in front of every GOB, else mode B packets
};

void PrintTo(const FfmpegRtpCase &c, std::ostream *os)
{
    *os << c.source << "_" << c.width << "x" << c.height
        << (c.gob_headers ? "_gob_headers" : "_mode_b");
}

class FfmpegRtp : public ::testing::TestWithParam<FfmpegRtpCase> {};

const h263test::LavfiSource &lavfi_source(const char *name)
{
    for (const h263test::LavfiSource &s : h263test::lavfi_sources())
        if (std::string(s.name) == name)
            return s;
    return h263test::lavfi_sources().front();
}

// ffmpeg's packetiser cuts a GOB that does not fit into a mode A packet up to the
// first cut and mode B packets after it; every payload carries its own bits of a
// shared byte. What ffmpeg's own decoder makes of the stream is the reference.
TEST_P(FfmpegRtp, DecodesAsLibavcodecDecodesTheSameStream)
{
    const FfmpegRtpCase c = GetParam();
    std::vector<std::string> options = {"-q:v", "10"};
    if (c.gob_headers)
        options.insert(options.end(), {"-ps", "1"});
    else
        options.insert(options.end(), {"-mb_info", "1004"});
    std::string error;
    std::vector<h263test::RtpPacket> packets = h263test::ffmpeg_rfc2190_packets(
        lavfi_source(c.source), c.width, c.height, 30, options, error);
    ASSERT_FALSE(packets.empty()) << error;
    size_t mode_b = 0;
    for (const h263test::RtpPacket &p : packets)
        mode_b += p.payload[0] >> 7;
    if (!c.gob_headers && c.width == 352) {
        EXPECT_GT(mode_b, 0u);
    }

    // The same options make the same stream; the packets' headers need not be
    // read to decode it.
    std::vector<uint8_t> stream = h263test::ffmpeg_h263_stream(
        lavfi_source(c.source), c.width, c.height, 30, "h263", "30000/1001", options, error);
    ASSERT_FALSE(stream.empty()) << error;
    h263test::AvDecoder av;
    int w = 0, h = 0;
    std::vector<std::vector<uint8_t>> expected = av.decode_stream(stream, w, h);
    ASSERT_EQ(expected.size(), 30u);
    H263Decoder dec;
    std::vector<std::vector<uint8_t>> ours = h263test::decode_packets(dec, packets);
    ASSERT_EQ(ours.size(), expected.size());
    const double worst = h263test::worst_psnr(ours, expected, w, h);
    EXPECT_GT(worst, 55.0);
    std::printf("%s %dx%d%s: %zu packets (%zu mode B), worst PSNR ours vs libavcodec %.2f dB\n",
                c.source, w, h, c.gob_headers ? " with GOB headers" : "", packets.size(), mode_b,
                worst);

    // Out of order they decode the same.
    for (size_t from : {0, 1}) {
        std::vector<h263test::RtpPacket> swapped = packets;
        h263test::swap_neighbours(swapped, from);
        H263Decoder again;
        EXPECT_EQ(h263test::decode_packets(again, swapped), ours) << "swapped from " << from;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sources, FfmpegRtp,
    ::testing::Values(FfmpegRtpCase{"testsrc2", 176, 144, false},
                      FfmpegRtpCase{"testsrc2", 352, 288, false},
                      FfmpegRtpCase{"mandelbrot", 176, 144, false},
                      FfmpegRtpCase{"mandelbrot", 352, 288, false},
                      FfmpegRtpCase{"noisy", 176, 144, false},
                      FfmpegRtpCase{"noisy", 352, 288, false},
                      FfmpegRtpCase{"noisy", 352, 288, true}),
    ::testing::PrintToStringParamName());

} // namespace
