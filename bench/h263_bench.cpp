// H.263 encoder and decoder against libavcodec's on real pictures: same pictures, same run,
// one thread, the same fixed quantiser.
//
// Sources: ffmpeg's testsrc2, mandelbrot and testsrc2 with noise (ffmpeg_source.h), made by
// ffmpeg's command line when the bench starts, at QCIF and CIF. Before anything is timed the
// streams are checked: our stream decodes in libavcodec without errors as our encoder
// reconstructed it, and our decoder decodes libavcodec's stream as libavcodec does. Then the
// encoders (ours as the encoder object codes for a call; libavcodec: AvEncoder::options) and
// both decoders on both streams run in interleaved repetitions. The summary at the end gives
// the medians of pictures per second, the ratio ours / libavcodec and bits per picture.
#include "../tests/h263/support/av_oracle.h"
#include "../tests/h263/support/ffmpeg_source.h"
#include "../tests/h263/support/test_sequence.h"

#include "h263/encoder.h"
#include "h263/packetiser.h"
#include "h263/stream_decoder.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

namespace {

constexpr int kPictures = 100;
constexpr int kQuant = 10;
/** Lowest PSNR of any picture between two decodings of one stream that counts as the same. */
constexpr double kMatchDb = 45.0;

using Clock = std::chrono::steady_clock;
using Coded = std::vector<std::vector<uint8_t>>;    // one buffer per coded picture

struct Clip {
    std::string source;
    int w = 0, h = 0;
    std::vector<std::vector<uint8_t>> pictures;
    Coded ours, av;
    std::vector<std::vector<uint8_t>> our_recon;     // our encoder's reconstructions
    double our_psnr = 0, av_psnr = 0;                // mean, against the source
    size_t bytes(const Coded &c) const
    {
        size_t n = 0;
        for (const auto &p : c)
            n += p.size();
        return n;
    }
    std::string label() const { return source + "/" + std::to_string(w) + "x" + std::to_string(h); }
};

std::vector<uint8_t> concat(const Coded &c)
{
    std::vector<uint8_t> all;
    for (const auto &p : c)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

std::vector<uint8_t> planes(const H263PictureView &v)
{
    std::vector<uint8_t> pic;
    pic.reserve(static_cast<size_t>(v.width) * v.height * 3 / 2);
    for (int j = 0; j < v.height; j++)
        pic.insert(pic.end(), v.y + j * v.y_stride, v.y + j * v.y_stride + v.width);
    for (const uint8_t *p : {v.u, v.v})
        for (int j = 0; j < v.height / 2; j++)
            pic.insert(pic.end(), p + j * v.c_stride, p + j * v.c_stride + v.width / 2);
    return pic;
}

/** Codes the clip with both encoders; keeps the coded pictures and our reconstructions. */
void code(Clip &c)
{
    H263Encoder enc(0, 0);
    uint8_t payload[H263Encoder::kMaxPayload];
    h263test::AvEncoder av(c.w, c.h, kQuant, false);
    h263test::AvDecoder avdec;
    double ours = 0, theirs = 0;
    for (const auto &pic : c.pictures) {
        enc.SetSize(c.w, c.h);
        std::memcpy(enc.GetFramePtr(), pic.data(), pic.size());
        enc.ProcessOneFrame();
        std::vector<uint8_t> one;
        int ebit = 0;
        while (enc.PacketsOutstanding()) {
            unsigned len = 0;
            enc.ReadOnePacket(payload, len);
            h263::join_payload(payload, len, one, ebit);
        }
        c.ours.push_back(std::move(one));
        c.our_recon.emplace_back(enc.LastReconstruction(), enc.LastReconstruction() + pic.size());
        ours += h263test::psnr(pic.data(), c.our_recon.back().data(), c.w, c.h);
        c.av.push_back(av.encode(pic.data()));
        std::vector<uint8_t> out;
        int w = 0, h = 0;
        if (avdec.decode(c.av.back().data(), c.av.back().size(), out, w, h) && w == c.w && h == c.h)
            theirs += h263test::psnr(pic.data(), out.data(), c.w, c.h);
    }
    c.our_psnr = ours / kPictures;
    c.av_psnr = theirs / kPictures;
}

/** Lowest and mean PSNR of decoded pictures against expected ones; the count must match. */
struct Match {
    size_t n = 0;
    double min = 99, mean = 0;
    bool ok(size_t want) const { return n == want && min >= kMatchDb; }
};

Match compare(const std::vector<std::vector<uint8_t>> &got,
              const std::vector<std::vector<uint8_t>> &want, int w, int h)
{
    Match m;
    m.n = got.size();
    for (size_t i = 0; i < got.size() && i < want.size(); i++) {
        const bool same_size = got[i].size() == want[i].size();
        const double p = same_size ? h263test::psnr(got[i].data(), want[i].data(), w, h) : 0;
        m.min = std::min(m.min, p);
        m.mean += p / static_cast<double>(got.size());
    }
    return m;
}

std::vector<std::vector<uint8_t>> decode_ours(const Coded &c)
{
    std::vector<std::vector<uint8_t>> out;
    H263StreamDecoder dec([&](const H263PictureView &v) { out.push_back(planes(v)); });
    std::vector<uint8_t> all = concat(c);
    dec.decode(all.data(), all.size(), true);
    return out;
}

std::vector<std::vector<uint8_t>> decode_av(const Coded &c, int &errors)
{
    std::vector<std::vector<uint8_t>> out;
    h263test::AvDecoder dec;
    for (const auto &p : c) {
        std::vector<uint8_t> pic;
        int w = 0, h = 0;
        if (dec.decode(p.data(), p.size(), pic, w, h))
            out.push_back(std::move(pic));
    }
    errors = dec.errors();
    return out;
}

/** The checks before timing; prints one line per clip and returns whether all passed. */
bool check(const Clip &c)
{
    int av_errors = 0;
    // Our stream in libavcodec against our encoder's reconstruction.
    Match in_av = compare(decode_av(c.ours, av_errors), c.our_recon, c.w, c.h);
    // libavcodec's stream in our decoder against libavcodec's own decoding.
    int own_errors = 0;
    Match in_ours = compare(decode_ours(c.av), decode_av(c.av, own_errors), c.w, c.h);
    // Our stream in our decoder against our encoder's reconstruction.
    Match ours_ours = compare(decode_ours(c.ours), c.our_recon, c.w, c.h);
    const size_t n = c.pictures.size();
    bool ok = in_av.ok(n) && av_errors == 0 && in_ours.ok(n) && own_errors == 0 && ours_ours.ok(n);
    std::printf("%-20s %6.1f / %-6.1f %6.1f / %-6.1f %6.1f / %-6.1f %6.1f / %-6.1f %s\n",
                c.label().c_str(), c.our_psnr, c.av_psnr, in_av.min, in_av.mean, in_ours.min,
                in_ours.mean, ours_ours.min, ours_ours.mean, ok ? "ok" : "FAILED");
    if (!ok)
        std::printf("  pictures %zu %zu %zu of %zu, libavcodec errors %d %d\n", in_av.n, in_ours.n,
                    ours_ours.n, n, av_errors, own_errors);
    return ok;
}

/** Times body() once per iteration; reports pictures per second and bits per picture. */
template <typename Setup, typename Body>
void timed(benchmark::State &state, size_t coded_bytes, Setup setup, Body body)
{
    double seconds = 0;
    for (auto _ : state) {
        auto ctx = setup();
        const Clock::time_point t0 = Clock::now();
        body(*ctx);
        const double t = std::chrono::duration<double>(Clock::now() - t0).count();
        state.SetIterationTime(t);
        seconds += t;
    }
    state.counters["pictures/s"] = static_cast<double>(state.iterations()) * kPictures / seconds;
    state.counters["bits/picture"] = static_cast<double>(coded_bytes) * 8 / kPictures;
}

void encode_ours(benchmark::State &state, const Clip *c)
{
    timed(state, c->bytes(c->ours), [] { return std::make_unique<H263Encoder>(0, 0); },
          [c](H263Encoder &enc) {
              uint8_t payload[H263Encoder::kMaxPayload];
              size_t bytes = 0;
              for (const auto &pic : c->pictures) {
                  enc.SetSize(c->w, c->h);
                  std::memcpy(enc.GetFramePtr(), pic.data(), pic.size());
                  enc.ProcessOneFrame();
                  while (enc.PacketsOutstanding()) {
                      unsigned len = 0;
                      enc.ReadOnePacket(payload, len);
                      bytes += len;
                  }
              }
              benchmark::DoNotOptimize(bytes);
          });
}

void encode_av(benchmark::State &state, const Clip *c)
{
    timed(state, c->bytes(c->av),
          [c] { return std::make_unique<h263test::AvEncoder>(c->w, c->h, kQuant, false); },
          [c](h263test::AvEncoder &enc) {
              size_t bytes = 0;
              for (const auto &pic : c->pictures)
                  bytes += enc.encode(pic.data()).size();
              benchmark::DoNotOptimize(bytes);
          });
}

void decode_ours_bench(benchmark::State &state, const Clip *c, bool av_stream)
{
    const Coded &coded = av_stream ? c->av : c->ours;
    const std::vector<uint8_t> stream = concat(coded);
    int n = 0;
    timed(state, stream.size(),
          [&n] {
              return std::make_unique<H263StreamDecoder>(
                  [&n](const H263PictureView &v) { benchmark::DoNotOptimize(v.y[0]); n++; });
          },
          [&stream](H263StreamDecoder &dec) { dec.decode(stream.data(), stream.size(), true); });
    if (n != static_cast<int>(state.iterations()) * kPictures)
        state.SkipWithError("wrong number of pictures");
}

void decode_av_bench(benchmark::State &state, const Clip *c, bool av_stream)
{
    Coded padded = av_stream ? c->av : c->ours;
    for (auto &p : padded)
        p.resize(p.size() + h263test::av_padding(), 0);
    int n = 0;
    timed(state, c->bytes(av_stream ? c->av : c->ours),
          [] { return std::make_unique<h263test::AvDecoder>(); },
          [&](h263test::AvDecoder &dec) {
              for (const auto &p : padded)
                  n += dec.decode_padded(p.data(), p.size() - h263test::av_padding());
          });
    if (n != static_cast<int>(state.iterations()) * kPictures)
        state.SkipWithError("wrong number of pictures");
}

/** What one benchmark measures, for the summary. */
struct Key {
    std::string clip;
    std::string what;   ///< "encode", "decode ours", "decode libavcodec's"
    bool ours;
    bool operator<(const Key &o) const
    {
        return std::tie(clip, what, ours) < std::tie(o.clip, o.what, o.ours);
    }
};

struct Figures {
    double fps = 0, cv = 0, bits = 0;
};

/** The console output, and the median and spread of every benchmark for the summary. */
class SummaryReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, Key> keys;    // benchmark name -> what it measures
    std::map<Key, Figures> figures;

    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &r : runs) {
            auto k = keys.find(r.run_name.function_name);
            if (k == keys.end() || r.error_occurred || r.run_type != Run::RT_Aggregate)
                continue;
            Figures &f = figures[k->second];
            auto fps = r.counters.find("pictures/s");
            if (fps == r.counters.end())
                continue;
            if (r.aggregate_name == "median") {
                f.fps = fps->second.value;
                f.bits = r.counters.at("bits/picture").value;
            } else if (r.aggregate_name == "cv") {
                f.cv = fps->second.value;
            }
        }
    }

    void summary(const std::vector<Clip> &clips) const
    {
        std::printf("\nMedians of the repetitions; ratio = ours / libavcodec; "
                    "cv = their spread.\n");
        std::printf("%-20s %-20s %9s %9s %6s %11s %11s %7s %7s\n", "clip", "", "ours/s",
                    "libav/s", "ratio", "bits ours", "bits libav", "cv ours", "libav");
        for (const Clip &c : clips)
            for (const char *what : {"encode", "decode our stream", "decode libav stream"}) {
                auto o = figures.find({c.label(), what, true});
                auto a = figures.find({c.label(), what, false});
                if (o == figures.end() || a == figures.end() || a->second.fps == 0)
                    continue;
                std::printf("%-20s %-20s %9.0f %9.0f %6.2f %11.0f %11.0f %6.1f%% %6.1f%%\n",
                            c.label().c_str(), what, o->second.fps, a->second.fps,
                            o->second.fps / a->second.fps, o->second.bits, a->second.bits,
                            100 * o->second.cv, 100 * a->second.cv);
            }
    }
};

} // namespace

int main(int argc, char **argv)
{
    // Defaults: interleaved repetitions, medians; arguments given override them.
    std::vector<char *> args = {argv[0]};
    std::string defaults[] = {"--benchmark_repetitions=9",
                              "--benchmark_enable_random_interleaving=true",
                              "--benchmark_min_time=0.2",
                              "--benchmark_report_aggregates_only=true"};
    for (std::string &d : defaults)
        args.push_back(d.data());
    for (int i = 1; i < argc; i++)
        args.push_back(argv[i]);
    int n = static_cast<int>(args.size());
    benchmark::Initialize(&n, args.data());
    if (benchmark::ReportUnrecognizedArguments(n, args.data()))
        return 1;

    std::vector<Clip> clips;
    for (const h263test::LavfiSource &src : h263test::lavfi_sources())
        for (auto [w, h] : {std::pair{176, 144}, std::pair{352, 288}}) {
            Clip c;
            c.source = src.name;
            c.w = w;
            c.h = h;
            std::string error;
            c.pictures = h263test::ffmpeg_pictures(src, w, h, kPictures, error);
            if (c.pictures.empty()) {
                std::fprintf(stderr, "%s\n", error.c_str());
                return 1;
            }
            code(c);
            clips.push_back(std::move(c));
        }

    std::printf("%d pictures a clip, quantiser %d; libavcodec: %s\n", kPictures, kQuant,
                h263test::AvEncoder::options(false).c_str());
    std::printf("PSNR in dB: source = each encoder's reconstruction against the source (mean);\n"
                "A in B = stream of A decoded by B against A's own decoding (min / mean).\n");
    std::printf("%-20s %-15s %-15s %-15s %-15s\n", "clip", "source ours/lav", "ours in lav",
                "lav in ours", "ours in ours");
    bool ok = true;
    for (const Clip &c : clips)
        ok = check(c) && ok;
    if (!ok) {
        std::fprintf(stderr, "a stream does not decode as it should; nothing timed\n");
        return 1;
    }
    std::printf("\n");

    SummaryReporter reporter;
    for (const Clip &c : clips) {
        auto add = [&](const std::string &what, bool ours, auto fn) {
            std::string name = what + (ours ? " ours " : " libav ") + c.label();
            for (char &ch : name)
                ch = ch == ' ' ? '_' : ch;
            reporter.keys[name] = Key{c.label(), what, ours};
            benchmark::RegisterBenchmark(name.c_str(), fn)
                ->UseManualTime()
                ->Unit(benchmark::kMillisecond);
        };
        const Clip *p = &c;
        add("encode", true, [p](benchmark::State &s) { encode_ours(s, p); });
        add("encode", false, [p](benchmark::State &s) { encode_av(s, p); });
        for (bool av_stream : {false, true}) {
            const char *what = av_stream ? "decode libav stream" : "decode our stream";
            add(what, true,
                [p, av_stream](benchmark::State &s) { decode_ours_bench(s, p, av_stream); });
            add(what, false,
                [p, av_stream](benchmark::State &s) { decode_av_bench(s, p, av_stream); });
        }
    }
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.summary(clips);
    benchmark::Shutdown();
    return 0;
}
