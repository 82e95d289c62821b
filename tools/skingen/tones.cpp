// Tone synthesis: DTMF pairs and the ring-in, ring-back and busy cadences.
#include "tones.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <vector>

namespace skingen {
namespace {

constexpr int kRate = 8000;

struct Segment {
    double seconds;
    double f1, f2; // 0 for silence
};

// Each tone at 0.3 of full scale, shaped with 5 ms raised-cosine edges against clicks.
void Append(std::vector<int16_t> &out, const Segment &s)
{
    int n = int(std::lround(s.seconds * kRate));
    int ramp = kRate / 200;
    for (int i = 0; i < n; ++i) {
        double v = 0;
        if (s.f1 > 0) {
            double t = double(i) / kRate;
            v = 0.3 * std::sin(2 * M_PI * s.f1 * t) + 0.3 * std::sin(2 * M_PI * s.f2 * t);
            double edge = std::min(i, n - 1 - i);
            if (edge < ramp)
                v *= 0.5 - 0.5 * std::cos(M_PI * edge / ramp);
        }
        out.push_back(int16_t(std::lround(v * 32767)));
    }
}

void Put(std::FILE *f, uint32_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        std::fputc(int((v >> (8 * i)) & 0xff), f);
}

bool WriteWave(const std::filesystem::path &path, const std::vector<Segment> &segments)
{
    std::vector<int16_t> samples;
    for (const auto &s : segments)
        Append(samples, s);
    std::FILE *f = std::fopen(path.c_str(), "wb");
    if (!f) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return false;
    }
    uint32_t dataBytes = uint32_t(samples.size() * 2);
    std::fwrite("RIFF", 1, 4, f);
    Put(f, 36 + dataBytes, 4);
    std::fwrite("WAVEfmt ", 1, 8, f);
    Put(f, 16, 4);
    Put(f, 1, 2); // PCM
    Put(f, 1, 2); // mono
    Put(f, kRate, 4);
    Put(f, kRate * 2, 4);
    Put(f, 2, 2);
    Put(f, 16, 2);
    std::fwrite("data", 1, 4, f);
    Put(f, dataBytes, 4);
    for (int16_t s : samples)
        Put(f, uint16_t(s), 2);
    bool ok = std::ferror(f) == 0;
    ok &= std::fclose(f) == 0;
    return ok;
}

} // namespace

bool WriteSounds(const std::string &dirName)
{
    std::filesystem::path dir(dirName);
    std::error_code ec;
    std::filesystem::create_directories(dir / "dtmf", ec);
    // DTMF: row and column frequencies of each key.
    const double rows[] = {697, 770, 852, 941}, cols[] = {1209, 1336, 1477};
    const char *names[12] = {"d1", "d2", "d3", "d4", "d5", "d6",
                             "d7", "d8", "d9", "star", "d0", "hash"};
    bool ok = true;
    for (int k = 0; k < 12; ++k)
        ok &= WriteWave(dir / "dtmf" / (std::string(names[k]) + ".wav"),
                        {{0.16, rows[k / 3], cols[k % 3]}, {0.04, 0, 0}});
    // Ring-in: a double ring, then a pause; the player repeats the file.
    ok &= WriteWave(dir / "ringin.wav",
                    {{0.4, 400, 450}, {0.2, 0, 0}, {0.4, 400, 450}, {2.0, 0, 0}});
    // Ring-back: one second of tone in four.
    ok &= WriteWave(dir / "RingOut.wav", {{1.0, 440, 480}, {3.0, 0, 0}});
    // Busy: half a second on, half a second off.
    ok &= WriteWave(dir / "Busy.wav", {{0.5, 480, 620}, {0.5, 0, 0}});
    return ok;
}

} // namespace skingen
