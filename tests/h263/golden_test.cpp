// Golden hashes: the encoder's payloads and reconstructions, and the decoder's pictures, stay bit-exact.
#include "support/av_oracle.h"
#include "support/test_sequence.h"

#include "h263/encoder.h"
#include "h263/stream_decoder.h"

#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <cstring>

namespace {

/** FNV-1a, 64 bits. */
struct Hash {
    uint64_t h = 1469598103934665603ull;
    void add(const uint8_t *p, size_t n)
    {
        for (size_t i = 0; i < n; i++)
            h = (h ^ p[i]) * 1099511628211ull;
    }
    void add_u32(uint32_t v)
    {
        uint8_t b[4] = {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
        add(b, 4);
    }
};

struct EncoderCase {
    int width, height;
    uint64_t payloads, reconstructions;
};

class EncoderGolden : public ::testing::TestWithParam<EncoderCase> {};

// Thirty pictures of the moving sequence as a call codes them: every payload
// (header and data, in order, with its length) and every reconstruction.
TEST_P(EncoderGolden, PayloadsAndReconstructionsAreUnchanged)
{
    const EncoderCase c = GetParam();
    H263Encoder enc(0, 0);
    Hash payloads, recon;
    uint8_t payload[H263Encoder::kMaxPayload];
    for (int t = 0; t < 30; t++) {
        std::vector<uint8_t> src = h263test::moving_picture(c.width, c.height, t);
        enc.SetSize(c.width, c.height);
        std::memcpy(enc.GetFramePtr(), src.data(), src.size());
        enc.ProcessOneFrame();
        while (enc.PacketsOutstanding()) {
            unsigned len = 0;
            enc.ReadOnePacket(payload, len);
            payloads.add_u32(len);
            payloads.add(payload, len);
        }
        recon.add(enc.LastReconstruction(), src.size());
    }
    EXPECT_EQ(payloads.h, c.payloads) << std::hex << "payloads 0x" << payloads.h;
    EXPECT_EQ(recon.h, c.reconstructions) << std::hex << "reconstructions 0x" << recon.h;
}

INSTANTIATE_TEST_SUITE_P(Sizes, EncoderGolden,
                         ::testing::Values(EncoderCase{176, 144, 0x66cb4b33e6859679ull, 0x1a0d795c3208c367ull},
                                           EncoderCase{352, 288, 0xca58374b93ae1bc0ull, 0x2ddb7a4dd4c9020aull}));

struct DecoderCase {
    int width, height;
    bool gob_headers, advanced;
    uint64_t stream, pictures;
};

class DecoderGolden : public ::testing::TestWithParam<DecoderCase> {};

// A libavcodec stream (intra every 10 pictures, quantiser 4 so that blocks
// carry many coefficients) through our decoder. Another libavcodec version may
// code the pictures differently; then there is nothing to compare against.
TEST_P(DecoderGolden, PicturesAreUnchanged)
{
    const DecoderCase c = GetParam();
    h263test::AvEncoder enc(c.width, c.height, 4, c.gob_headers, 10, c.advanced);
    std::vector<uint8_t> stream;
    for (int t = 0; t < 30; t++) {
        std::vector<uint8_t> src = h263test::moving_picture(c.width, c.height, 2 * t);
        std::vector<uint8_t> pic = enc.encode(src.data());
        stream.insert(stream.end(), pic.begin(), pic.end());
    }
    Hash in;
    in.add(stream.data(), stream.size());
    if (in.h != c.stream)
        GTEST_SKIP() << std::hex << "this libavcodec codes another stream (0x" << in.h << ")";
    h263test::AvDecoder av;
    int w = 0, h = 0;
    std::vector<std::vector<uint8_t>> expected = av.decode_stream(stream, w, h);
    ASSERT_EQ(expected.size(), 30u);
    Hash out;
    size_t n = 0;
    H263StreamDecoder dec([&](const H263PictureView &v) {
        std::vector<uint8_t> pic;
        for (int j = 0; j < v.height; j++)
            pic.insert(pic.end(), v.y + j * v.y_stride, v.y + j * v.y_stride + v.width);
        for (const uint8_t *p : {v.u, v.v})
            for (int j = 0; j < v.height / 2; j++)
                pic.insert(pic.end(), p + j * v.c_stride, p + j * v.c_stride + v.width / 2);
        out.add(pic.data(), pic.size());
        // The inverse transforms differ a little; the pictures must agree closely.
        if (n < expected.size()) {
            EXPECT_GT(h263test::psnr(pic.data(), expected[n].data(), w, h), 45.0) << n;
        }
        n++;
    });
    dec.decode(stream.data(), stream.size(), true);
    EXPECT_EQ(n, 30u);
    EXPECT_EQ(out.h, c.pictures) << std::hex << "pictures 0x" << out.h;
}

INSTANTIATE_TEST_SUITE_P(Streams, DecoderGolden,
                         ::testing::Values(DecoderCase{176, 144, false, false, 0x60babd65455875f6ull, 0x666f754d9b7c0e94ull},
                                           DecoderCase{352, 288, true, false, 0xccb6d7b6a2d08265ull, 0xdddbe3b8766efb1eull},
                                           DecoderCase{176, 144, true, true, 0x2274e03169ddc7e8ull, 0xea462e9497293e8cull}));

} // namespace
