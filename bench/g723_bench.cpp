// G.723.1 per frame: the coder library's calls and an ACM stream against libavcodec used
// directly, on the same tone.
#include <win/g723lib.h>
#include <win/msacm.h>
#include <win/msacm_testing.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
}

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace
{

constexpr int kFrames = 64;

struct Material {
    std::vector<std::vector<int16_t>> pcm;
    std::vector<std::vector<BYTE>> coded;
};

const Material &Tone()
{
    static const Material m = [] {
        Material m;
        DWORD enc = g723_enc_init();
        for (int f = 0; f < kFrames; ++f) {
            std::vector<int16_t> block(240);
            for (int i = 0; i < 240; ++i) {
                double t = (f * 240 + i) / 8000.0;
                block[i] = int16_t(6000 * std::sin(2 * M_PI * 300 * t) +
                                   2000 * std::sin(2 * M_PI * 1700 * t));
            }
            std::vector<BYTE> frame(24);
            g723_encode(enc, block.data(), 480, frame.data(), 24);
            m.pcm.push_back(block);
            m.coded.push_back(frame);
        }
        g723_enc_cleanup(enc);
        return m;
    }();
    return m;
}

// libavcodec's G.723.1 used directly, the peer of the library calls.
class Direct
{
  public:
    explicit Direct(bool encoder)
    {
        const AVCodec *codec = encoder ? avcodec_find_encoder(AV_CODEC_ID_G723_1)
                                       : avcodec_find_decoder(AV_CODEC_ID_G723_1);
        context = avcodec_alloc_context3(codec);
        context->sample_rate = 8000;
        av_channel_layout_default(&context->ch_layout, 1);
        if (encoder) {
            context->sample_fmt = AV_SAMPLE_FMT_S16;
            context->bit_rate = 6300;
        }
        frame = av_frame_alloc();
        packet = av_packet_alloc();
        if (avcodec_open2(context, codec, nullptr) < 0)
            std::abort();
        if (encoder) {
            frame->format = AV_SAMPLE_FMT_S16;
            frame->nb_samples = 240;
            av_channel_layout_copy(&frame->ch_layout, &context->ch_layout);
            av_frame_get_buffer(frame, 0);
        }
    }
    ~Direct()
    {
        av_packet_free(&packet);
        av_frame_free(&frame);
        avcodec_free_context(&context);
    }

    void Encode(const int16_t *pcm, BYTE *out)
    {
        av_frame_make_writable(frame);
        std::memcpy(frame->data[0], pcm, 480);
        avcodec_send_frame(context, frame);
        avcodec_receive_packet(context, packet);
        std::memcpy(out, packet->data, 24);
        av_packet_unref(packet);
    }

    void Decode(const BYTE *in, int16_t *pcm)
    {
        std::memcpy(input, in, 24);
        packet->data = input;
        packet->size = 24;
        avcodec_send_packet(context, packet);
        avcodec_receive_frame(context, frame);
        std::memcpy(pcm, frame->data[0], 480);
        av_frame_unref(frame);
    }

  private:
    AVCodecContext *context;
    AVFrame *frame;
    AVPacket *packet;
    BYTE input[24 + AV_INPUT_BUFFER_PADDING_SIZE] = {};
};

// Checks before timing: the library's frames and PCM are libavcodec's, bit for bit.
bool SameAsDirect()
{
    const Material &m = Tone();
    Direct enc(true), dec(false);
    DWORD d = g723_dec_init();
    bool same = true;
    for (int f = 0; f < kFrames; ++f) {
        BYTE frame[24];
        int16_t a[240], b[240];
        enc.Encode(m.pcm[f].data(), frame);
        dec.Decode(m.coded[f].data(), a);
        g723_decode(d, m.coded[f].data(), 24, b, 480);
        same =
            same && std::memcmp(frame, m.coded[f].data(), 24) == 0 && std::memcmp(a, b, 480) == 0;
    }
    g723_dec_cleanup(d);
    return same;
}

void BM_EncodeLibrary(benchmark::State &state)
{
    const Material &m = Tone();
    DWORD enc = g723_enc_init();
    BYTE out[24];
    int f = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(g723_encode(enc, m.pcm[f].data(), 480, out, 24));
        f = (f + 1) % kFrames;
    }
    g723_enc_cleanup(enc);
}

void BM_EncodeLibavcodec(benchmark::State &state)
{
    const Material &m = Tone();
    Direct enc(true);
    BYTE out[24];
    int f = 0;
    for (auto _ : state) {
        enc.Encode(m.pcm[f].data(), out);
        benchmark::DoNotOptimize(out);
        f = (f + 1) % kFrames;
    }
}

void BM_DecodeLibrary(benchmark::State &state)
{
    const Material &m = Tone();
    DWORD dec = g723_dec_init();
    int16_t pcm[240];
    int f = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(g723_decode(dec, m.coded[f].data(), 24, pcm, 480));
        f = (f + 1) % kFrames;
    }
    g723_dec_cleanup(dec);
}

void BM_DecodeLibavcodec(benchmark::State &state)
{
    const Material &m = Tone();
    Direct dec(false);
    int16_t pcm[240];
    int f = 0;
    for (auto _ : state) {
        dec.Decode(m.coded[f].data(), pcm);
        benchmark::DoNotOptimize(pcm);
        f = (f + 1) % kFrames;
    }
}

// One frame through a decoding ACM stream, with a fresh header each time.
void BM_DecodeAcmStream(benchmark::State &state)
{
    const Material &m = Tone();
    HACMDRIVERID id = win::testing::InstallAcmDriver(win::testing::G7231AcmDriver());
    auto g7231 = win::testing::G7231AcmFormat(), pcmFormat = win::testing::PcmAcmFormat();
    HACMSTREAM stream;
    if (acmStreamOpen(&stream, nullptr, reinterpret_cast<LPWAVEFORMATEX>(g7231.data()),
                      reinterpret_cast<LPWAVEFORMATEX>(pcmFormat.data()), nullptr, 0, 0, 0))
        std::abort();
    std::vector<BYTE> pcm(480);
    int f = 0;
    for (auto _ : state) {
        ACMSTREAMHEADER h{};
        h.cbStruct = sizeof h;
        h.pbSrc = const_cast<BYTE *>(m.coded[f].data());
        h.cbSrcLength = 24;
        h.pbDst = pcm.data();
        h.cbDstLength = 480;
        acmStreamPrepareHeader(stream, &h, 0);
        acmStreamConvert(stream, &h, 0);
        acmStreamUnprepareHeader(stream, &h, 0);
        benchmark::DoNotOptimize(h.cbDstLengthUsed);
        f = (f + 1) % kFrames;
    }
    acmStreamClose(stream, 0);
    win::testing::RemoveAcmDriver(id);
}

BENCHMARK(BM_EncodeLibrary);
BENCHMARK(BM_EncodeLibavcodec);
BENCHMARK(BM_DecodeLibrary);
BENCHMARK(BM_DecodeLibavcodec);
BENCHMARK(BM_DecodeAcmStream);

} // namespace

int main(int argc, char **argv)
{
    if (!SameAsDirect()) {
        std::fprintf(stderr, "the coder library's output differs from libavcodec's\n");
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
