// H.263 encoder and decoder against libavcodec's, same pictures, same run, one thread.
//
// Encoders: 100 pictures of a moving test sequence at a fixed quantiser of 10
// (ours: as the encoder object codes for a call; libavcodec: see
// AvEncoder::options). Decoders: the same elementary stream, ours and
// libavcodec's. Counters: pictures per second, kbit per picture, PSNR.
#include "../tests/h263/support/av_oracle.h"
#include "../tests/h263/support/test_sequence.h"

#include "h263/encoder.h"
#include "h263/packetiser.h"
#include "h263/stream_decoder.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <map>
#include <vector>

namespace {

constexpr int kPictures = 100;

struct Sequence {
    int w, h;
    std::vector<std::vector<uint8_t>> pictures;
};

const Sequence &sequence(int w, int h)
{
    static std::map<int, Sequence> cache;
    Sequence &s = cache[w];
    if (s.pictures.empty()) {
        s.w = w;
        s.h = h;
        for (int t = 0; t < kPictures; t++)
            s.pictures.push_back(h263test::moving_picture(w, h, t));
    }
    return s;
}

/** Codes the sequence with our encoder; returns the stream, total bits and mean PSNR. */
std::vector<uint8_t> our_stream(const Sequence &s, double *psnr = nullptr)
{
    H263Encoder enc(0, 0);
    std::vector<uint8_t> stream;
    uint8_t payload[H263Encoder::kMaxPayload];
    double sum = 0;
    for (const auto &pic : s.pictures) {
        enc.SetSize(s.w, s.h);
        std::memcpy(enc.GetFramePtr(), pic.data(), pic.size());
        enc.ProcessOneFrame();
        int ebit = 0;
        std::vector<uint8_t> one;
        while (enc.PacketsOutstanding()) {
            unsigned len = 0;
            enc.ReadOnePacket(payload, len);
            h263::join_payload(payload, len, one, ebit);
        }
        stream.insert(stream.end(), one.begin(), one.end());
        sum += h263test::psnr(pic.data(), enc.LastReconstruction(), s.w, s.h);
    }
    if (psnr)
        *psnr = sum / kPictures;
    return stream;
}

/** Codes the sequence with libavcodec; one buffer per picture. */
std::vector<std::vector<uint8_t>> av_pictures(const Sequence &s)
{
    h263test::AvEncoder enc(s.w, s.h, 10, false);
    std::vector<std::vector<uint8_t>> out;
    for (const auto &pic : s.pictures)
        out.push_back(enc.encode(pic.data()));
    return out;
}

void set_counters(benchmark::State &state, size_t bytes, double psnr)
{
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kPictures);
    state.counters["pictures/s"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * kPictures, benchmark::Counter::kIsRate);
    state.counters["kbit/picture"] = static_cast<double>(bytes) * 8 / 1000 / kPictures;
    state.counters["PSNR_dB"] = psnr;
}

void BM_EncodeOurs(benchmark::State &state)
{
    const Sequence &s = sequence(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    uint8_t payload[H263Encoder::kMaxPayload];
    size_t bytes = 0;
    for (auto _ : state) {
        H263Encoder enc(0, 0);
        bytes = 0;
        for (const auto &pic : s.pictures) {
            enc.SetSize(s.w, s.h);
            std::memcpy(enc.GetFramePtr(), pic.data(), pic.size());
            enc.ProcessOneFrame();
            while (enc.PacketsOutstanding()) {
                unsigned len = 0;
                enc.ReadOnePacket(payload, len);
                bytes += len;
            }
        }
        benchmark::DoNotOptimize(bytes);
    }
    double psnr = 0;
    size_t stream = our_stream(s, &psnr).size();
    set_counters(state, stream, psnr);
}

void BM_EncodeLibavcodec(benchmark::State &state)
{
    const Sequence &s = sequence(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    size_t bytes = 0;
    for (auto _ : state) {
        h263test::AvEncoder enc(s.w, s.h, 10, false);
        bytes = 0;
        for (const auto &pic : s.pictures)
            bytes += enc.encode(pic.data()).size();
        benchmark::DoNotOptimize(bytes);
    }
    // Quality: libavcodec's own decoding of its stream against the source.
    std::vector<std::vector<uint8_t>> coded = av_pictures(s);
    h263test::AvDecoder dec;
    double sum = 0;
    for (int i = 0; i < kPictures; i++) {
        std::vector<uint8_t> out;
        int w, h;
        dec.decode(coded[i].data(), coded[i].size(), out, w, h);
        sum += h263test::psnr(out.data(), s.pictures[i].data(), s.w, s.h);
    }
    set_counters(state, bytes, sum / kPictures);
}

/** The stream both decoders decode: ours (arg 2 = 0) or libavcodec's (1), one buffer a picture. */
std::vector<std::vector<uint8_t>> stream_pictures(const Sequence &s, bool libav)
{
    if (libav)
        return av_pictures(s);
    std::vector<uint8_t> all = our_stream(s);
    std::vector<std::vector<uint8_t>> out;
    size_t start = 0;
    for (size_t i = 3; i + 2 < all.size(); i++)
        if (!all[i] && !all[i + 1] && (all[i + 2] & 0xfc) == 0x80) {
            out.emplace_back(all.begin() + static_cast<long>(start), all.begin() + static_cast<long>(i));
            start = i;
        }
    out.emplace_back(all.begin() + static_cast<long>(start), all.end());
    return out;
}

void BM_DecodeOurs(benchmark::State &state)
{
    const Sequence &s = sequence(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    std::vector<std::vector<uint8_t>> pics = stream_pictures(s, state.range(2) != 0);
    std::vector<uint8_t> stream;
    for (auto &p : pics)
        stream.insert(stream.end(), p.begin(), p.end());
    int n = 0;
    for (auto _ : state) {
        H263StreamDecoder dec([&n](const H263PictureView &v) { benchmark::DoNotOptimize(v.y[0]); n++; });
        dec.decode(stream.data(), stream.size(), true);
    }
    if (n != static_cast<int>(state.iterations()) * kPictures)
        state.SkipWithError("wrong number of pictures");
    set_counters(state, stream.size(), 0);
}

void BM_DecodeLibavcodec(benchmark::State &state)
{
    const Sequence &s = sequence(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    std::vector<std::vector<uint8_t>> pics = stream_pictures(s, state.range(2) != 0);
    size_t bytes = 0;
    for (auto &p : pics) {
        bytes += p.size();
        p.resize(p.size() + h263test::av_padding(), 0);
    }
    int n = 0;
    for (auto _ : state) {
        h263test::AvDecoder dec;
        for (auto &p : pics)
            n += dec.decode_padded(p.data(), p.size() - h263test::av_padding());
    }
    if (n < static_cast<int>(state.iterations()) * (kPictures - 1))
        state.SkipWithError("wrong number of pictures");
    set_counters(state, bytes, 0);
}

} // namespace

BENCHMARK(BM_EncodeOurs)->Args({176, 144})->Args({352, 288})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodeLibavcodec)->Args({176, 144})->Args({352, 288})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeOurs)
    ->Args({176, 144, 0})->Args({352, 288, 0})->Args({176, 144, 1})->Args({352, 288, 1})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeLibavcodec)
    ->Args({176, 144, 0})->Args({352, 288, 0})->Args({176, 144, 1})->Args({352, 288, 1})
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
