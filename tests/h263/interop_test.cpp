// The codec against libavcodec's H.263: our encoder's stream in its decoder, its stream in ours.
#include "support/av_oracle.h"
#include "support/test_sequence.h"

#include "h263/encoder.h"
#include "h263/packetiser.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

struct Size {
    int width, height;
};

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
                                           Size{320, 240}));

} // namespace
