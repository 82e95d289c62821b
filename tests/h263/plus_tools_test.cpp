// Pictures of H.263 version 2 over RTP: the tools this decoder implements are decoded as
// the encoder reconstructs them, every other one is refused and the next picture it can
// decode is waited for.
#include "support/av_oracle.h"
#include "support/ffmpeg_rtp.h"
#include "support/test_sequence.h"

#include "h263/decoder.h"
#include "h263/print.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace {

std::vector<std::string> g_messages;
void record(const char *text) { g_messages.emplace_back(text); }

const h263test::LavfiSource &testsrc2()
{
    return h263test::lavfi_sources().front();
}

/** Bit offsets of picture header fields, counted from the picture start code. */
constexpr int kUfep = 38, kOpptype = 41, kMpptype = 59;

/** The bits of a stream as a text of '0' and '1', and back (padded with zeros). */
std::string bits_of(const std::vector<uint8_t> &s)
{
    std::string b;
    for (uint8_t v : s)
        for (int i = 7; i >= 0; i--)
            b += ((v >> i) & 1) ? '1' : '0';
    return b;
}

std::vector<uint8_t> bytes_of(std::string b)
{
    b.resize((b.size() + 7) / 8 * 8, '0');
    std::vector<uint8_t> s(b.size() / 8);
    for (size_t i = 0; i < b.size(); i++)
        if (b[i] == '1')
            s[i / 8] |= static_cast<uint8_t>(0x80 >> (i % 8));
    return s;
}

/** The picture start codes of a stream's bits. */
std::vector<size_t> picture_starts(const std::string &b)
{
    std::vector<size_t> at;
    for (size_t p = b.find("0000000000000000100000"); p != std::string::npos;
         p = b.find("0000000000000000100000", p + 22))
        if (p % 8 == 0)
            at.push_back(p);
    return at;
}

/** Sets a field of every picture header: width bits at offset to value. */
std::vector<uint8_t> with_field(const std::vector<uint8_t> &stream, int offset, int width,
                                int value)
{
    std::string b = bits_of(stream);
    for (size_t p : picture_starts(b))
        for (int i = 0; i < width; i++)
            b[p + offset + i] = ((value >> (width - 1 - i)) & 1) ? '1' : '0';
    return bytes_of(b);
}

/**
 * Writes the P pictures without OPPTYPE (UFEP 000): their modes are then the
 * last OPPTYPE's. Each picture ends padded to a byte, as before a start code.
 */
std::vector<uint8_t> without_repeated_opptype(const std::vector<uint8_t> &stream)
{
    const std::string b = bits_of(stream);
    std::vector<size_t> at = picture_starts(b);
    at.push_back(b.size());
    std::string out;
    for (size_t k = 0; k + 1 < at.size(); k++) {
        std::string pic = b.substr(at[k], at[k + 1] - at[k]);
        if (pic.compare(kMpptype, 3, "001") == 0) {
            pic = pic.substr(0, kUfep) + "000" + pic.substr(kMpptype);
            while (pic.size() % 8)
                pic += '0';
        }
        out += pic;
    }
    return bytes_of(out);
}

struct ToolCase {
    const char *name;
    std::vector<std::string> options;   ///< of ffmpeg's h263p encoder
    const char *rate;
    /** What is done to the stream ffmpeg makes; -1: nothing. */
    int field_offset, field_width, field_value;
    bool drop_repeated_opptype;
    const char *refusal;                ///< the message, or null when decoded
};

void PrintTo(const ToolCase &c, std::ostream *os) { *os << c.name; }

class PlusTools : public ::testing::TestWithParam<ToolCase> {};

constexpr int kPictures = 10;

std::vector<uint8_t> ffmpeg_stream(const ToolCase &c, std::string &error,
                                   std::vector<double> *encoder_psnr = nullptr)
{
    std::vector<std::string> options = {"-q:v", "8"};
    options.insert(options.end(), c.options.begin(), c.options.end());
    return h263test::ffmpeg_h263_stream(testsrc2(), 176, 144, kPictures, "h263p", c.rate, options,
                                        error, encoder_psnr);
}

// A decoded tool's pictures must be the encoder's own reconstructions, which
// ffmpeg measures against the source: libavcodec's decoder is no oracle for
// overlapped motion compensation, where it departs from its encoder.
TEST_P(PlusTools, AreDecodedAsTheEncoderReconstructsThemOrRefused)
{
    const ToolCase &c = GetParam();
    std::string error;
    std::vector<double> encoder_psnr;
    std::vector<uint8_t> made = ffmpeg_stream(c, error, c.refusal ? nullptr : &encoder_psnr);
    ASSERT_FALSE(made.empty()) << error;
    std::vector<uint8_t> stream = made;
    if (c.field_offset >= 0)
        stream = with_field(stream, c.field_offset, c.field_width, c.field_value);
    if (c.drop_repeated_opptype)
        stream = without_repeated_opptype(stream);

    // The tool's pictures, then plain ones of the same size and rate.
    const ToolCase plain_case{"plain", {}, "30000/1001", -1, 0, 0, false, nullptr};
    std::vector<uint8_t> plain = ffmpeg_stream(plain_case, error);
    ASSERT_FALSE(plain.empty()) << error;
    std::vector<h263test::RtpPacket> packets = h263test::packets_of_stream(stream, 65000);
    std::vector<h263test::RtpPacket> more = h263test::packets_of_stream(
        plain, static_cast<uint16_t>(65000 + packets.size()));
    packets.insert(packets.end(), more.begin(), more.end());

    g_messages.clear();
    SetH263DebugPrint(record);
    H263Decoder dec;
    std::vector<std::vector<uint8_t>> ours = h263test::decode_packets(dec, packets);
    SetH263DebugPrint(nullptr);

    const size_t tool_pictures = c.refusal ? 0 : kPictures;
    ASSERT_EQ(ours.size(), tool_pictures + kPictures);
    if (c.refusal) {
        EXPECT_NE(std::find(g_messages.begin(), g_messages.end(),
                            "error: " + std::string(c.refusal) + " not supported\n"),
                  g_messages.end());
    } else {
        std::vector<std::vector<uint8_t>> source =
            h263test::ffmpeg_pictures(testsrc2(), 176, 144, kPictures, error, c.rate);
        ASSERT_EQ(source.size(), static_cast<size_t>(kPictures)) << error;
        ASSERT_EQ(encoder_psnr.size(), static_cast<size_t>(kPictures));
        double off = 0;
        for (int t = 0; t < kPictures; t++)
            off = std::max(off, std::abs(h263test::luma_psnr(ours[t].data(), source[t].data(),
                                                              176, 144) -
                                         encoder_psnr[t]));
        // The inverse transforms differ by a little.
        EXPECT_LT(off, 0.05);
        h263test::AvDecoder av;
        int w = 0, h = 0;
        std::vector<std::vector<uint8_t>> theirs = av.decode_stream(made, w, h);
        std::vector<std::vector<uint8_t>> tool(ours.begin(), ours.begin() + kPictures);
        std::printf("%s: decoded, luma PSNR against the source within %.3f dB of the encoder's; "
                    "worst PSNR ours vs libavcodec %.2f dB\n",
                    c.name, off, h263test::worst_psnr(tool, theirs, 176, 144));
    }
    // The plain pictures after them are decoded whole.
    h263test::AvDecoder av;
    int w = 0, h = 0;
    std::vector<std::vector<uint8_t>> expected = av.decode_stream(plain, w, h);
    std::vector<std::vector<uint8_t>> after(ours.end() - kPictures, ours.end());
    const double worst = h263test::worst_psnr(after, expected, w, h);
    EXPECT_GT(worst, 55.0);

    if (c.refusal)
        std::printf("%s: refused; the plain pictures after it %.2f dB against libavcodec\n",
                    c.name, worst);
}

INSTANTIATE_TEST_SUITE_P(
    Tools, PlusTools,
    ::testing::Values(
        // ffmpeg alternates the rounding type of its P pictures.
        ToolCase{"rounding_type", {}, "30000/1001", -1, 0, 0, false, nullptr},
        ToolCase{"advanced_prediction", {"-obmc", "1"}, "30000/1001", -1, 0, 0, false, nullptr},
        ToolCase{"advanced_prediction_kept_without_opptype", {"-obmc", "1"}, "30000/1001", -1, 0,
                 0, true, nullptr},
        ToolCase{"custom_picture_clock", {}, "25", -1, 0, 0, false,
                 "custom picture clock frequency"},
        ToolCase{"unrestricted_vectors", {"-umv", "1"}, "30000/1001", -1, 0, 0, false,
                 "unrestricted motion vectors of PLUSPTYPE"},
        ToolCase{"advanced_intra_coding", {"-flags", "+aic"}, "30000/1001", -1, 0, 0, false,
                 "advanced intra coding"},
        ToolCase{"deblocking_filter", {"-flags", "+loop"}, "30000/1001", -1, 0, 0, false,
                 "deblocking filter"},
        ToolCase{"deblocking_filter_kept_without_opptype", {"-flags", "+loop"}, "30000/1001", -1,
                 0, 0, true, "deblocking filter"},
        ToolCase{"slice_structure", {"-structured_slices", "1"}, "30000/1001", -1, 0, 0, false,
                 "slice structure"},
        ToolCase{"alternative_inter_vlc", {"-aiv", "1"}, "30000/1001", -1, 0, 0, false,
                 "alternative inter VLC"},
        // Tools ffmpeg does not use: their bits set in its pictures' headers.
        ToolCase{"reference_picture_selection", {}, "30000/1001", kOpptype + 10, 1, 1, false,
                 "reference picture selection"},
        ToolCase{"independent_segment_decoding", {}, "30000/1001", kOpptype + 11, 1, 1, false,
                 "independent segment decoding"},
        ToolCase{"modified_quantisation", {}, "30000/1001", kOpptype + 13, 1, 1, false,
                 "modified quantisation"},
        ToolCase{"arithmetic_coding", {}, "30000/1001", kOpptype + 5, 1, 1, false,
                 "syntax-based arithmetic coding"},
        ToolCase{"reference_picture_resampling", {}, "30000/1001", kMpptype + 3, 1, 1, false,
                 "reference picture resampling"},
        ToolCase{"reduced_resolution_update", {}, "30000/1001", kMpptype + 4, 1, 1, false,
                 "reduced-resolution update"},
        ToolCase{"improved_pb_frames", {}, "30000/1001", kMpptype, 3, 2, false,
                 "improved PB-frames"},
        ToolCase{"b_pictures", {}, "30000/1001", kMpptype, 3, 3, false, "B pictures"},
        ToolCase{"ei_pictures", {}, "30000/1001", kMpptype, 3, 4, false, "EI pictures"},
        ToolCase{"ep_pictures", {}, "30000/1001", kMpptype, 3, 5, false, "EP pictures"}),
    [](const ::testing::TestParamInfo<ToolCase> &i) { return std::string(i.param.name); });

} // namespace
