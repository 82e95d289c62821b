// The G.723.1 coder library: framing, frame kinds, concealment and independent handles.
#include <win/g723lib.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

namespace
{

constexpr unsigned kSamples = 240;
constexpr unsigned kPcmBytes = 480;
using Block = std::vector<int16_t>;
using Frame = std::vector<BYTE>;

std::vector<Block> Tone(double hertz, double amplitude, int frames)
{
    std::vector<Block> blocks(frames, Block(kSamples));
    for (int f = 0; f < frames; ++f)
        for (unsigned i = 0; i < kSamples; ++i)
            blocks[f][i] = static_cast<int16_t>(
                amplitude * std::sin(2 * M_PI * hertz * (f * kSamples + i) / 8000.0));
    return blocks;
}

double Energy(const Block &b)
{
    double sum = 0;
    for (int16_t s : b)
        sum += double(s) * s;
    return sum / b.size();
}

class Coders
{
  public:
    Coders() : encoder(g723_enc_init()), decoder(g723_dec_init()) {}
    ~Coders()
    {
        g723_enc_cleanup(encoder);
        g723_dec_cleanup(decoder);
    }

    Frame Encode(const Block &pcm)
    {
        Frame out(24);
        EXPECT_EQ(g723_encode(encoder, pcm.data(), kPcmBytes, out.data(), 24), 24);
        return out;
    }

    Block Decode(const BYTE *in, unsigned length)
    {
        Block out(kSamples);
        EXPECT_EQ(g723_decode(decoder, in, length, out.data(), kPcmBytes), int(kPcmBytes));
        return out;
    }
    Block Decode(const Frame &in) { return Decode(in.data(), unsigned(in.size())); }

    const DWORD encoder, decoder;
};

// Encodes and decodes the blocks; the coded frames go to *frames when given.
std::vector<Block> RoundTrip(const std::vector<Block> &in, std::vector<Frame> *frames = nullptr)
{
    Coders c;
    std::vector<Block> out;
    for (const Block &b : in) {
        Frame f = c.Encode(b);
        if (frames)
            frames->push_back(f);
        out.push_back(c.Decode(f));
    }
    return out;
}

TEST(G723Test, ToneSurvivesTheRoundTripInFullRateFrames)
{
    const int frames = 50;
    auto in = Tone(1000, 8000, frames);
    std::vector<Frame> coded;
    auto out = RoundTrip(in, &coded);
    for (const Frame &f : coded)
        EXPECT_EQ(f[0] & 3, 0) << "6.3 kbit/s frames only";

    // Past the start-up, the output follows the input (after the coder's delay).
    std::vector<double> x, y;
    for (int f = 5; f < frames; ++f) {
        x.insert(x.end(), in[f].begin(), in[f].end());
        y.insert(y.end(), out[f].begin(), out[f].end());
    }
    double best = 0;
    for (int lag = 0; lag <= 240; ++lag) {
        double xy = 0, xx = 0, yy = 0;
        for (size_t i = 0; i + lag < y.size(); ++i) {
            xy += x[i] * y[i + lag];
            xx += x[i] * x[i];
            yy += y[i + lag] * y[i + lag];
        }
        best = std::max(best, xy / std::sqrt(xx * yy));
    }
    EXPECT_GT(best, 0.9);

    // 1000 Hz: 2000 zero crossings a second.
    int crossings = 0;
    for (size_t i = 1; i < y.size(); ++i)
        crossings += (y[i - 1] < 0) != (y[i] < 0);
    double hertz = crossings / 2.0 / (y.size() / 8000.0);
    EXPECT_NEAR(hertz, 1000, 30);
}

TEST(G723Test, EachFrameKindIsDecodedFromItsOwnLengthOnly)
{
    std::vector<Frame> speech;
    RoundTrip(Tone(700, 6000, 1), &speech);
    struct Case {
        const char *kind;
        Frame frame;
    } cases[] = {
        {"6.3 kbit/s", speech[0]},
        {"5.3 kbit/s", Frame{0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"SID", Frame{0x82, 0x5A, 0x13, 0x07}},
        {"untransmitted", Frame{0x03}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.kind);
        Frame padded = c.frame;
        padded.insert(padded.end(), 30, 0xA5);
        Coders exact, longer;
        exact.Decode(speech[0]);
        longer.Decode(speech[0]);
        EXPECT_EQ(exact.Decode(c.frame), longer.Decode(padded));
    }
}

TEST(G723Test, ErasedFramesRepeatAndFadeAfterSpeechThenMute)
{
    std::vector<Frame> coded;
    RoundTrip(Tone(400, 8000, 20), &coded);
    // A full-rate frame whose first pitch lag is a forbidden code (127).
    Frame forbidden(24, 0xFF);
    forbidden[0] = 0xFC;
    const Block silence(kSamples, 0);

    struct Case {
        const char *erasure;
        std::function<Block(Coders &)> decode;
    } cases[] = {
        {"cut short", [&](Coders &c) { return c.Decode(coded[0].data(), 10); }},
        {"no bytes", [&](Coders &c) { return c.Decode(nullptr, 0); }},
        {"forbidden code", [&](Coders &c) { return c.Decode(forbidden); }},
    };
    for (const Case &erasure : cases) {
        SCOPED_TRACE(erasure.erasure);
        Coders c;
        double speech = 0;
        for (const Frame &f : coded)
            speech = Energy(c.Decode(f));
        double first = Energy(erasure.decode(c));
        double second = Energy(erasure.decode(c));
        EXPECT_GT(first, speech * 0.05) << "the first erasure repeats the speech";
        EXPECT_LT(second, first * 0.5);
        for (int i = 3; i <= 6; ++i)
            EXPECT_EQ(erasure.decode(c), silence) << "erasure " << i << " is muted";
        double recovered = 0;
        for (int i = 0; i < 4; ++i)
            recovered = Energy(c.Decode(coded[10 + i]));
        EXPECT_GT(recovered, speech * 0.05) << "speech comes back";

        Coders fresh;
        EXPECT_LT(Energy(erasure.decode(fresh)), 1.0) << "no speech yet: silence";
    }
}

TEST(G723Test, SilenceFramesAfterSpeechGiveQuietComfortNoise)
{
    std::vector<Frame> coded;
    RoundTrip(Tone(400, 8000, 10), &coded);
    Coders c;
    double speech = 0;
    for (const Frame &f : coded)
        speech = Energy(c.Decode(f));
    double sid = Energy(c.Decode(Frame{0x82, 0x5A, 0x13, 0x07}));
    double untransmitted = Energy(c.Decode(Frame{0x03}));
    EXPECT_GT(sid, 0);
    EXPECT_GT(untransmitted, 0) << "the noise goes on between descriptors";
    EXPECT_LT(sid, speech * 0.1);
    EXPECT_LT(untransmitted, speech * 0.1);
}

TEST(G723Test, HandlesAreCheckedByDirectionAndLifetime)
{
    DWORD enc = g723_enc_init(), dec = g723_dec_init();
    ASSERT_NE(enc, 0u);
    ASSERT_NE(dec, 0u);
    EXPECT_NE(enc, dec);
    Block pcm(kSamples, 100);
    BYTE out[24];
    std::memset(out, 0xEE, sizeof out);
    Frame frame{0x03};

    EXPECT_EQ(g723_encode(dec, pcm.data(), kPcmBytes, out, 24), -1);
    EXPECT_EQ(g723_encode(0, pcm.data(), kPcmBytes, out, 24), -1);
    EXPECT_EQ(g723_encode(enc, pcm.data(), kPcmBytes - 2, out, 24), -1);
    EXPECT_EQ(g723_encode(enc, pcm.data(), kPcmBytes, out, 23), -1);
    EXPECT_EQ(out[0], 0xEE) << "nothing written on failure";
    EXPECT_EQ(g723_decode(enc, frame.data(), 1, pcm.data(), kPcmBytes), -1);
    EXPECT_EQ(g723_decode(dec, frame.data(), 1, pcm.data(), kPcmBytes - 1), -1);
    EXPECT_EQ(pcm[0], 100);

    g723_enc_cleanup(dec); // the wrong direction releases nothing
    g723_dec_cleanup(enc);
    EXPECT_EQ(g723_encode(enc, pcm.data(), kPcmBytes, out, 24), 24);
    EXPECT_EQ(g723_decode(dec, frame.data(), 1, pcm.data(), kPcmBytes), int(kPcmBytes));

    g723_enc_cleanup(enc);
    g723_dec_cleanup(dec);
    g723_dec_cleanup(dec);
    g723_enc_cleanup(0);
    EXPECT_EQ(g723_encode(enc, pcm.data(), kPcmBytes, out, 24), -1);
    EXPECT_EQ(g723_decode(dec, frame.data(), 1, pcm.data(), kPcmBytes), -1);
}

TEST(G723Test, ManyHandlesAtOnceKeepTheirOwnState)
{
    auto in = Tone(600, 7000, 30);
    std::vector<Frame> reference;
    auto referenceOut = RoundTrip(in, &reference);

    // Interleaved on one thread: a second pair started later does not disturb the first.
    {
        Coders a, b;
        for (size_t f = 0; f < in.size(); ++f) {
            EXPECT_EQ(a.Encode(in[f]), reference[f]);
            EXPECT_EQ(a.Decode(reference[f]), referenceOut[f]);
            if (f >= 10) {
                EXPECT_EQ(b.Encode(in[f - 10]), reference[f - 10]);
                EXPECT_EQ(b.Decode(reference[f - 10]), referenceOut[f - 10]);
            }
        }
    }

    // Eight threads, each with its own pair, all at once.
    std::vector<int> same(8, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&, t] {
            for (int round = 0; round < 3; ++round) {
                std::vector<Frame> frames;
                same[t] += RoundTrip(in, &frames) == referenceOut && frames == reference;
            }
        });
    for (auto &t : threads)
        t.join();
    for (int t = 0; t < 8; ++t)
        EXPECT_EQ(same[t], 3) << "thread " << t;
}

} // namespace
