// Golden hashes: the encoder's payloads and reconstructions, and the decoder's pictures, stay bit-exact.
#include "support/av_oracle.h"
#include "support/ffmpeg_source.h"
#include "support/kernels.h"
#include "support/test_sequence.h"

#include "h263/encoder.h"
#include "h263/packetiser.h"
#include "h263/stream_decoder.h"

#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>

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

/** A decoded picture's planes without gaps. */
std::vector<uint8_t> planes(const H263PictureView &v)
{
    std::vector<uint8_t> pic;
    for (int j = 0; j < v.height; j++)
        pic.insert(pic.end(), v.y + j * v.y_stride, v.y + j * v.y_stride + v.width);
    for (const uint8_t *p : {v.u, v.v})
        for (int j = 0; j < v.height / 2; j++)
            pic.insert(pic.end(), p + j * v.c_stride, p + j * v.c_stride + v.width / 2);
    return pic;
}

struct EncoderCase {
    int width, height;
    uint64_t payloads, reconstructions;
};

void PrintTo(const EncoderCase &c, std::ostream *os) { *os << c.width << "x" << c.height; }

/** One pass of code_and_hash with the kernels in use. */
void code_and_hash_once(const std::vector<std::vector<uint8_t>> &pictures, int width, int height,
                        uint64_t want_payloads, uint64_t want_reconstructions)
{
    H263Encoder enc(0, 0);
    Hash payloads, recon;
    uint8_t payload[H263Encoder::kMaxPayload];
    std::vector<uint8_t> stream;
    std::vector<std::vector<uint8_t>> recons;
    for (const std::vector<uint8_t> &src : pictures) {
        enc.SetSize(width, height);
        std::memcpy(enc.GetFramePtr(), src.data(), src.size());
        enc.ProcessOneFrame();
        int ebit = 0;
        while (enc.PacketsOutstanding()) {
            unsigned len = 0;
            enc.ReadOnePacket(payload, len);
            payloads.add_u32(len);
            payloads.add(payload, len);
            h263::join_payload(payload, len, stream, ebit);
        }
        recon.add(enc.LastReconstruction(), src.size());
        recons.emplace_back(enc.LastReconstruction(), enc.LastReconstruction() + src.size());
    }
    EXPECT_EQ(payloads.h, want_payloads) << std::hex << "payloads 0x" << payloads.h;
    EXPECT_EQ(recon.h, want_reconstructions) << std::hex << "reconstructions 0x" << recon.h;
    size_t n = 0;
    H263StreamDecoder dec([&](const H263PictureView &v) {
        ASSERT_LT(n, recons.size());
        EXPECT_EQ(h263test::max_difference(planes(v).data(), recons[n].data(), width, height), 0)
            << "picture " << n;
        n++;
    });
    dec.decode(stream.data(), stream.size(), true);
    EXPECT_EQ(n, recons.size());
}

/**
 * Codes the pictures as a call does, with the AVX2 kernels and with the baseline
 * ones; hashes every payload (with its length) and reconstruction, and checks
 * that our decoder decodes the stream to exactly those reconstructions.
 */
void code_and_hash(const std::vector<std::vector<uint8_t>> &pictures, int width, int height,
                   uint64_t want_payloads, uint64_t want_reconstructions)
{
    for (const auto &k : h263test::kKernelChoices) {
        h263test::UseKernels use(k);
        SCOPED_TRACE(k.name);
        code_and_hash_once(pictures, width, height, want_payloads, want_reconstructions);
    }
}

class EncoderGolden : public ::testing::TestWithParam<EncoderCase> {};

// Thirty pictures of the moving sequence.
TEST_P(EncoderGolden, PayloadsAndReconstructionsAreUnchanged)
{
    const EncoderCase c = GetParam();
    std::vector<std::vector<uint8_t>> pictures;
    for (int t = 0; t < 30; t++)
        pictures.push_back(h263test::moving_picture(c.width, c.height, t));
    code_and_hash(pictures, c.width, c.height, c.payloads, c.reconstructions);
}

INSTANTIATE_TEST_SUITE_P(Sizes, EncoderGolden,
                         ::testing::Values(EncoderCase{176, 144, 0x66cb4b33e6859679ull, 0x1a0d795c3208c367ull},
                                           EncoderCase{352, 288, 0xca58374b93ae1bc0ull, 0x2ddb7a4dd4c9020aull}),
                         ::testing::PrintToStringParamName());

struct RealCase {
    const char *source;     ///< a name of lavfi_sources()
    int width, height;
    uint64_t pictures, payloads, reconstructions;
};

void PrintTo(const RealCase &c, std::ostream *os)
{
    *os << c.source << "_" << c.width << "x" << c.height;
}

class RealContentGolden : public ::testing::TestWithParam<RealCase> {};

// Thirty pictures of ffmpeg's sources, where the exact transform, escapes and intra
// decisions do most of the work. Another ffmpeg version may make other pictures;
// then there is nothing to compare against.
TEST_P(RealContentGolden, PayloadsAndReconstructionsAreUnchanged)
{
    const RealCase c = GetParam();
    const h263test::LavfiSource *src = nullptr;
    for (const h263test::LavfiSource &s : h263test::lavfi_sources())
        if (std::string(s.name) == c.source)
            src = &s;
    ASSERT_NE(src, nullptr);
    std::string error;
    std::vector<std::vector<uint8_t>> pictures =
        h263test::ffmpeg_pictures(*src, c.width, c.height, 30, error);
    ASSERT_FALSE(pictures.empty()) << error;
    Hash in;
    for (const auto &p : pictures)
        in.add(p.data(), p.size());
    if (in.h != c.pictures)
        GTEST_SKIP() << std::hex << "this ffmpeg makes other pictures (0x" << in.h << ")";
    code_and_hash(pictures, c.width, c.height, c.payloads, c.reconstructions);
}

INSTANTIATE_TEST_SUITE_P(
    Sources, RealContentGolden,
    ::testing::Values(RealCase{"testsrc2", 176, 144, 0x66d9762234261717ull, 0xffcfde8fc02313ccull,
                               0x6b6fcd0f7b0a8c4eull},
                      RealCase{"testsrc2", 352, 288, 0xe9a6bd7ebde97dcdull, 0xdec2d4f5380aa250ull,
                               0x3a4073217a45072aull},
                      RealCase{"mandelbrot", 176, 144, 0x2f201c81359df092ull, 0x353c2ba13a85a4d0ull,
                               0xa64cdcf75317a62eull},
                      RealCase{"mandelbrot", 352, 288, 0xdbc6f55d0a104913ull, 0x6ab3e2ed6f95c9f1ull,
                               0xfa2e87211302fe66ull},
                      RealCase{"noisy", 176, 144, 0xf31918582a99a610ull, 0x1060a466164787b8ull,
                               0x148623cec45c2a35ull},
                      RealCase{"noisy", 352, 288, 0xa645396c96e8bd4dull, 0x548f19fb08d79327ull,
                               0x1513493339f6e1c1ull}),
    ::testing::PrintToStringParamName());

struct DecoderCase {
    int width, height;
    bool gob_headers, advanced;
    uint64_t stream, pictures;
};

void PrintTo(const DecoderCase &c, std::ostream *os)
{
    *os << c.width << "x" << c.height << (c.gob_headers ? "_gob_headers" : "")
        << (c.advanced ? "_advanced" : "");
}

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
    for (const auto &k : h263test::kKernelChoices) {
        h263test::UseKernels use(k);
        Hash out;
        size_t n = 0;
        H263StreamDecoder dec([&](const H263PictureView &v) {
            std::vector<uint8_t> pic = planes(v);
            out.add(pic.data(), pic.size());
            // The inverse transforms differ a little; the pictures must agree closely.
            if (n < expected.size()) {
                EXPECT_GT(h263test::psnr(pic.data(), expected[n].data(), w, h), 45.0) << n;
            }
            n++;
        });
        dec.decode(stream.data(), stream.size(), true);
        EXPECT_EQ(n, 30u) << k.name;
        EXPECT_EQ(out.h, c.pictures) << k.name << std::hex << ", pictures 0x" << out.h;
    }
}

INSTANTIATE_TEST_SUITE_P(Streams, DecoderGolden,
                         ::testing::Values(DecoderCase{176, 144, false, false, 0x60babd65455875f6ull, 0x666f754d9b7c0e94ull},
                                           DecoderCase{352, 288, true, false, 0xccb6d7b6a2d08265ull, 0xdddbe3b8766efb1eull},
                                           DecoderCase{176, 144, true, true, 0x2274e03169ddc7e8ull, 0xea462e9497293e8cull}),
                         ::testing::PrintToStringParamName());

} // namespace
