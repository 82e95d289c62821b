// G.723.1: both capabilities on the H.245 side, frame-wise decoding of mixed payloads, the coder
// library and the ACM codec with a test driver, and the driver search.
#include <core/acm_g7231.h>
#include <core/g7231_codec.h>

#include <h323/asn1/gen/h245.h>
#include <h323/callsig/connection.h>
#include <h323/endpoint/endpoint.h>
#include <h323/rtp/rtp_frame.h>

#include <win/msacm_testing.h>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

namespace
{

using Bytes = std::vector<BYTE>;

/// A raw channel that keeps what the codec writes to it.
class PcmSink : public PChannel
{
  public:
    BOOL IsOpen() const override { return TRUE; }
    BOOL Close() override { return TRUE; }
    BOOL Read(void *, PINDEX) override { return FALSE; }
    BOOL Write(const void *buf, PINDEX len) override
    {
        const short *s = static_cast<const short *>(buf);
        blocks.emplace_back(s, s + len / 2);
        return TRUE;
    }
    std::vector<std::vector<short>> blocks;
};

double Energy(const std::vector<short> &block)
{
    double sum = 0;
    for (short s : block)
        sum += double(s) * s;
    return block.empty() ? 0 : sum / double(block.size());
}

} // namespace

// ---- capabilities ----

TEST(G7231Capabilities, NamesFrameCountsAndCloneAsRegistered)
{
    H323_G7231Capability sw;
    H323_ACMG7231Capability acm;
    EXPECT_EQ(std::string(sw.GetFormatName()), "G.723.1{sw}");
    EXPECT_EQ(std::string(acm.GetFormatName()), "G.723.1(ACM)");
    EXPECT_STREQ(sw.GetClass(), "H323_G7231Capability");
    EXPECT_STREQ(sw.GetClass(1), "H323AudioCapability");
    EXPECT_STREQ(acm.GetClass(), "H323_ACMG7231Capability");
    EXPECT_STREQ(acm.GetClass(1), "H323AudioCapability");
    EXPECT_TRUE(sw.IsDescendant("H323Capability"));
    EXPECT_EQ(sw.GetSubType(), unsigned(H245_AudioCapability::e_g7231));
    EXPECT_EQ(acm.GetSubType(), unsigned(H245_AudioCapability::e_g7231));
    EXPECT_EQ(sw.GetRxFramesInPacket(), 7u);
    EXPECT_EQ(sw.GetTxFramesInPacket(), 4u);
    EXPECT_EQ(acm.GetRxFramesInPacket(), 8u);
    EXPECT_EQ(acm.GetTxFramesInPacket(), 1u);

    sw.SetTxFramesInPacket(3);
    std::unique_ptr<H323_G7231Capability> copy(dynamic_cast<H323_G7231Capability *>(sw.Clone()));
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->GetTxFramesInPacket(), 3u);
    EXPECT_EQ(copy->GetRxFramesInPacket(), 7u);

    for (const char *name : {"G.723.1{sw}", "G.723.1(ACM)"}) {
        const H323CapabilityRegistration *reg = H323CapabilityRegistration::Find(name);
        ASSERT_NE(reg, nullptr) << name;
        std::unique_ptr<H323Capability> made(reg->Create());
        EXPECT_EQ(std::string(made->GetFormatName()), name);
    }

    OpalMediaFormat format(OPAL_G7231);
    ASSERT_TRUE(format.IsValid());
    EXPECT_EQ(format.GetPayloadType(), 4u);
    EXPECT_EQ(format.GetDefaultSessionID(), 1u);
    EXPECT_TRUE(format.NeedsJitterBuffer());
    EXPECT_EQ(format.GetBandwidth(), 6400u);
    EXPECT_EQ(format.GetFrameSize(), 24);
    EXPECT_EQ(format.GetFrameTime(), 240u);
    EXPECT_EQ(format.GetTimeUnits(), 8u);
}

TEST(G7231Capabilities, AdvertiseSilenceSuppressionAndReadOnlyG7231)
{
    H323_G7231Capability sw;
    H323_ACMG7231Capability acm;
    for (H323AudioCapability *cap : std::initializer_list<H323AudioCapability *>{&sw, &acm}) {
        H245_AudioCapability pdu;
        ASSERT_TRUE(cap->OnSendingPDU(pdu, 5));
        ASSERT_EQ(pdu.GetTag(), unsigned(H245_AudioCapability::e_g7231));
        EXPECT_EQ(pdu.g7231().m_maxAl_sduAudioFrames.GetValue(), 5);
        EXPECT_TRUE(bool(pdu.g7231().m_silenceSuppression));

        H245_AudioCapability received;
        received.g7231().m_maxAl_sduAudioFrames = 6;
        received.g7231().m_silenceSuppression = false;
        unsigned packet = 0;
        EXPECT_TRUE(cap->OnReceivedPDU(received, packet));
        EXPECT_EQ(packet, 6u);

        H245_AudioCapability gsm;
        gsm.gsmFullRate().m_audioUnitSize = 132;
        EXPECT_FALSE(cap->OnReceivedPDU(gsm, packet));
        H245_AudioCapability g711;
        g711.g711Ulaw64k() = 20;
        EXPECT_FALSE(cap->OnReceivedPDU(g711, packet));
    }
}

TEST(G7231Frames, LengthComesFromTheLowTwoBitsOfTheFirstByte)
{
    EXPECT_EQ(G7231FrameLength(0x00), 24u);
    EXPECT_EQ(G7231FrameLength(0xFD), 20u);
    EXPECT_EQ(G7231FrameLength(0x02), 4u);
    EXPECT_EQ(G7231FrameLength(0x7B), 1u);
}

// ---- the codecs ----

namespace
{

enum class Kind { CoderLibrary, Acm };

void PrintTo(Kind kind, std::ostream *os) { *os << (kind == Kind::Acm ? "acm" : "coderLibrary"); }

class G7231Codecs : public ::testing::TestWithParam<Kind>
{
  protected:
    G7231Codecs()
    {
        if (GetParam() == Kind::Acm) {
            driver = win::testing::InstallAcmDriver(win::testing::G7231AcmDriver());
            connection.reset(new H323Connection(endpoint, 1));
        }
        Make(H323Codec::Encoder, encoder);
        Make(H323Codec::Decoder, decoder);
        decoder->AttachChannel(sink, TRUE);
    }
    ~G7231Codecs() override
    {
        encoder.reset();
        decoder.reset();
        connection.reset();
        if (driver != nullptr)
            win::testing::RemoveAcmDriver(driver);
    }

    void Make(H323Codec::Direction direction, std::unique_ptr<H323FramedAudioCodec> &codec)
    {
        H323Capability *cap;
        if (GetParam() == Kind::Acm)
            cap = new H323_ACMG7231Capability;
        else
            cap = new H323_G7231Capability;
        codec.reset(dynamic_cast<H323FramedAudioCodec *>(cap->CreateCodec(direction)));
        delete cap;
        ASSERT_NE(codec, nullptr);
        if (GetParam() == Kind::Acm) {
            // Opens the conversion stream; the sound channel it then opens is replaced.
            ASSERT_TRUE(codec->Open(*connection));
            codec->CloseRawDataChannel();
        }
    }

    /// Frames of a 500 Hz tone, coded.
    std::vector<Bytes> Encode(int frames)
    {
        std::vector<Bytes> out;
        for (int f = 0; f < frames; f++) {
            short *pcm = PcmBlock(*encoder);
            for (unsigned i = 0; i < 240; i++)
                pcm[i] = short(6000 * std::sin(2 * M_PI * 500 * (f * 240 + i) / 8000.0));
            Bytes frame(24);
            unsigned length = 0;
            EXPECT_TRUE(encoder->EncodeFrame(frame.data(), length));
            EXPECT_EQ(length, 24u);
            EXPECT_EQ(frame[0] & 3, 0);
            out.push_back(frame);
        }
        return out;
    }

    /// The codec's sample block, as the framed codec's reading fills it.
    static short *PcmBlock(H323FramedAudioCodec &codec)
    {
        struct Access : H323FramedAudioCodec {
            static short *Of(H323FramedAudioCodec &c)
            {
                return (c.*(&Access::sampleBuffer)).GetPointer(240);
            }
        };
        return Access::Of(codec);
    }

    unsigned Write(const Bytes &payload, size_t at)
    {
        unsigned written = 999;
        RTP_DataFrame frame;
        EXPECT_TRUE(
            decoder->Write(payload.data() + at, unsigned(payload.size() - at), frame, written));
        return written;
    }

    H323EndPoint endpoint;
    std::unique_ptr<H323Connection> connection;
    HACMDRIVERID driver = nullptr;
    std::unique_ptr<H323FramedAudioCodec> encoder;
    std::unique_ptr<H323FramedAudioCodec> decoder;
    PcmSink *sink = new PcmSink;
};

} // namespace

TEST_P(G7231Codecs, ClassNamesFollowTheKind)
{
    const char *name = GetParam() == Kind::Acm ? "H323_ACMCodec" : "H323_G7231Codec";
    EXPECT_STREQ(decoder->GetClass(), name);
    EXPECT_STREQ(decoder->GetClass(1), "H323FramedAudioCodec");
    EXPECT_EQ(decoder->GetSamplesPerFrame(), 240u);
    EXPECT_EQ(decoder->GetBytesPerFrame(), 24u);
}

TEST_P(G7231Codecs, MixedPayloadIsDecodedFrameByFrame)
{
    std::vector<Bytes> frames = Encode(8);
    // A 6.3 kbit/s frame, a 5.3 kbit/s one, a silence descriptor and an untransmitted frame.
    Bytes payload = frames[7];
    Bytes rate53(frames[6].begin(), frames[6].begin() + 20);
    rate53[0] = BYTE((rate53[0] & ~3) | 1);
    payload.insert(payload.end(), rate53.begin(), rate53.end());
    payload.insert(payload.end(), {0x02, 0x11, 0x22, 0x33});
    payload.push_back(0x03);

    // Earlier frames first, so that the decoder has speech to go on from.
    for (int f = 0; f < 6; f++)
        EXPECT_EQ(Write(frames[size_t(f)], 0), 24u);
    size_t at = 0;
    std::vector<unsigned> used;
    while (at < payload.size()) {
        unsigned n = Write(payload, at);
        ASSERT_GT(n, 0u);
        used.push_back(n);
        at += n;
    }
    EXPECT_EQ(used, (std::vector<unsigned>{24, 20, 4, 1}));
    ASSERT_EQ(sink->blocks.size(), 10u);
    for (const auto &block : sink->blocks)
        EXPECT_EQ(block.size(), 240u);
    // Decoded speech carries the tone.
    EXPECT_GT(Energy(sink->blocks[5]), 1e5);
}

TEST_P(G7231Codecs, EmptyPayloadGivesOneFrameOfSilenceAndConsumesNothing)
{
    Write(Encode(1)[0], 0);
    Bytes empty;
    unsigned written = 999;
    RTP_DataFrame frame;
    ASSERT_TRUE(decoder->Write(empty.data(), 0, frame, written));
    EXPECT_EQ(written, 0u);
    ASSERT_EQ(sink->blocks.size(), 2u);
    EXPECT_EQ(sink->blocks[1], std::vector<short>(240, 0));
}

TEST_P(G7231Codecs, FrameCutShortByThePayloadEndIsNotReadPast)
{
    Bytes frame = Encode(1)[0];
    Bytes cut(frame.begin(), frame.begin() + 10);
    EXPECT_EQ(Write(cut, 0), 10u);
    EXPECT_EQ(sink->blocks.size(), 1u);
}

TEST_P(G7231Codecs, WriteOnAnEncoderFailsAndWritesNothing)
{
    PcmSink *encoderSink = new PcmSink;
    encoder->AttachChannel(encoderSink, TRUE);
    Bytes frame(24, 0);
    unsigned written = 999;
    RTP_DataFrame rtp;
    EXPECT_FALSE(encoder->Write(frame.data(), 24, rtp, written));
    EXPECT_TRUE(encoderSink->blocks.empty());
}

INSTANTIATE_TEST_SUITE_P(Kinds, G7231Codecs, ::testing::Values(Kind::CoderLibrary, Kind::Acm),
                         ::testing::PrintToStringParamName());

// ---- the ACM driver search and its failures ----

struct SearchCase {
    const char *name;
    bool install;
    DWORD support;
    win::testing::AcmDriverFault fault;
    bool g7231Listed;
    bool available;
};

static void PrintTo(const SearchCase &c, std::ostream *os) { *os << c.name; }

class AcmSearch : public ::testing::TestWithParam<SearchCase>
{
};

TEST_P(AcmSearch, FindsAnEnabledCodecDriverListingG7231)
{
    const SearchCase &c = GetParam();
    HACMDRIVERID id = nullptr;
    if (c.install) {
        win::testing::AcmTestDriver driver = win::testing::G7231AcmDriver(c.fault);
        driver.support = c.support;
        if (!c.g7231Listed) {
            driver.formats = {win::testing::PcmAcmFormat()};
            driver.tagNames.erase(0x0042);
        }
        id = win::testing::InstallAcmDriver(driver);
        ASSERT_NE(id, nullptr);
    }
    EXPECT_EQ(IsACMG7231Available(), c.available);
    if (id != nullptr)
        win::testing::RemoveAcmDriver(id);
}

INSTANTIATE_TEST_SUITE_P(
    Drivers, AcmSearch,
    ::testing::Values(SearchCase{"none", false, 0, win::testing::AcmDriverFault::None, true, false},
                      SearchCase{"g7231Codec", true, ACMDRIVERDETAILS_SUPPORTF_CODEC,
                                 win::testing::AcmDriverFault::None, true, true},
                      SearchCase{"converterOnly", true, ACMDRIVERDETAILS_SUPPORTF_CONVERTER,
                                 win::testing::AcmDriverFault::None, true, false},
                      SearchCase{"pcmOnly", true, ACMDRIVERDETAILS_SUPPORTF_CODEC,
                                 win::testing::AcmDriverFault::None, false, false},
                      SearchCase{"cannotOpen", true, ACMDRIVERDETAILS_SUPPORTF_CODEC,
                                 win::testing::AcmDriverFault::Open, true, false},
                      SearchCase{"noTagDetails", true, ACMDRIVERDETAILS_SUPPORTF_CODEC,
                                 win::testing::AcmDriverFault::FormatTagDetails, true, false}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(AcmCodec, StreamThatCannotOpenFailsTheOpen)
{
    HACMDRIVERID id = win::testing::InstallAcmDriver(
        win::testing::G7231AcmDriver(win::testing::AcmDriverFault::StreamOpen));
    H323EndPoint endpoint;
    H323Connection connection(endpoint, 1);
    H323_ACMCodec codec(H323Codec::Decoder);
    EXPECT_FALSE(codec.Open(connection));
    EXPECT_FALSE(codec.IsRawDataChannelOpen());
    win::testing::RemoveAcmDriver(id);
}

TEST(AcmCodec, ConversionFailuresGiveSilenceOrNoFrame)
{
    for (auto fault :
         {win::testing::AcmDriverFault::Convert, win::testing::AcmDriverFault::PrepareHeader}) {
        HACMDRIVERID id = win::testing::InstallAcmDriver(win::testing::G7231AcmDriver(fault));
        H323EndPoint endpoint;
        H323Connection connection(endpoint, 1);
        H323_ACMCodec decoder(H323Codec::Decoder);
        H323_ACMCodec encoder(H323Codec::Encoder);
        ASSERT_TRUE(decoder.Open(connection));
        ASSERT_TRUE(encoder.Open(connection));
        PcmSink *sink = new PcmSink;
        decoder.AttachChannel(sink, TRUE);

        Bytes frame(24, 0x10);
        unsigned written = 0;
        RTP_DataFrame rtp;
        ASSERT_TRUE(decoder.Write(frame.data(), 24, rtp, written));
        EXPECT_EQ(written, 24u);
        ASSERT_EQ(sink->blocks.size(), 1u);
        EXPECT_EQ(sink->blocks[0], std::vector<short>(240, 0));

        Bytes out(24);
        unsigned length = 0;
        EXPECT_FALSE(encoder.EncodeFrame(out.data(), length));
        win::testing::RemoveAcmDriver(id);
    }
}

TEST(AcmCodec, WithoutAStreamNothingIsCoded)
{
    H323_ACMCodec codec(H323Codec::Encoder);
    Bytes out(24);
    unsigned length = 0;
    EXPECT_FALSE(codec.EncodeFrame(out.data(), length));
    EXPECT_FALSE(codec.DecodeFrame(out.data(), 24, length));
}

TEST(AcmFormats, WaveFormatsAreTheDocumentedBytes)
{
    Bytes g7231 = G7231WaveFormat();
    EXPECT_EQ(g7231, (Bytes{0x42, 0x00, 0x01, 0x00, 0x40, 0x1F, 0x00, 0x00, 0x20, 0x03,
                            0x00, 0x00, 0x18, 0x00, 0x00, 0x00, 0x0A, 0x00, 0x02, 0x00,
                            0,    0,    0,    0,    0,    0,    0,    0}));
    EXPECT_EQ(PcmWaveFormat(), (Bytes{0x01, 0x00, 0x01, 0x00, 0x40, 0x1F, 0x00, 0x00, 0x80, 0x3E,
                                      0x00, 0x00, 0x02, 0x00, 0x10, 0x00, 0x00, 0x00}));
}
