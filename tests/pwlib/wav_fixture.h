// Wave files for the sound tests, written and parsed here byte by byte (no libsndfile).
#pragma once

#include <cmath>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace kestrelin::testing
{

struct Wave {
    unsigned rate = 8000;
    unsigned channels = 1;
    unsigned bits = 16;
    /// Interleaved samples: -32768..32767 for 16 bits, 0..255 for 8 bits.
    std::vector<int> samples;

    size_t Frames() const { return samples.size() / channels; }
};

inline void PutLE(std::vector<uint8_t> &out, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(uint8_t(value >> (8 * i)));
}

/// A canonical PCM RIFF/WAVE file.
inline std::vector<uint8_t> WaveBytes(const Wave &wave)
{
    const uint32_t sampleBytes = wave.bits / 8;
    const uint32_t dataBytes = uint32_t(wave.samples.size()) * sampleBytes;
    std::vector<uint8_t> out;
    out.insert(out.end(), {'R', 'I', 'F', 'F'});
    PutLE(out, 36 + dataBytes, 4);
    out.insert(out.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    PutLE(out, 16, 4);                                         // fmt chunk size
    PutLE(out, 1, 2);                                          // PCM
    PutLE(out, wave.channels, 2);                              // channels
    PutLE(out, wave.rate, 4);                                  // sample rate
    PutLE(out, wave.rate * wave.channels * sampleBytes, 4);    // byte rate
    PutLE(out, wave.channels * sampleBytes, 2);                // block align
    PutLE(out, wave.bits, 2);                                  // bits per sample
    out.insert(out.end(), {'d', 'a', 't', 'a'});
    PutLE(out, dataBytes, 4);
    for (int s : wave.samples)
        PutLE(out, uint32_t(s), int(sampleBytes));
    return out;
}

inline void WriteWave(const std::string &path, const Wave &wave)
{
    std::vector<uint8_t> bytes = WaveBytes(wave);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
}

/// Parses a PCM wave file; false when it is not one or its sizes do not add up.
inline bool ReadWave(const std::string &path, Wave &wave)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto le = [&](size_t at, int bytes) {
        uint32_t v = 0;
        for (int i = 0; i < bytes; ++i)
            v |= uint32_t(b[at + i]) << (8 * i);
        return v;
    };
    if (b.size() < 12 || std::string(b.begin(), b.begin() + 4) != "RIFF" ||
        std::string(b.begin() + 8, b.begin() + 12) != "WAVE" || le(4, 4) + 8 != b.size())
        return false;
    bool haveFormat = false;
    for (size_t at = 12; at + 8 <= b.size();) {
        std::string id(b.begin() + long(at), b.begin() + long(at) + 4);
        uint32_t size = le(at + 4, 4);
        if (at + 8 + size > b.size())
            return false;
        if (id == "fmt " && size >= 16) {
            if (le(at + 8, 2) != 1)
                return false;
            wave.channels = le(at + 10, 2);
            wave.rate = le(at + 12, 4);
            wave.bits = le(at + 22, 2);
            haveFormat = true;
        } else if (id == "data" && haveFormat) {
            const unsigned sampleBytes = wave.bits / 8;
            wave.samples.clear();
            for (size_t i = 0; i + sampleBytes <= size; i += sampleBytes) {
                uint32_t v = le(at + 8 + i, int(sampleBytes));
                wave.samples.push_back(sampleBytes == 2 ? int(int16_t(v)) : int(v));
            }
            return true;
        }
        at += 8 + size + (size & 1);
    }
    return false;
}

/// A sine of amplitude (full scale 1) on every channel.
inline Wave Sine(unsigned rate, unsigned channels, double hz, double seconds, double amplitude)
{
    Wave wave{rate, channels, 16, {}};
    size_t frames = size_t(rate * seconds);
    for (size_t f = 0; f < frames; ++f)
        for (unsigned c = 0; c < channels; ++c)
            wave.samples.push_back(
                int(std::lround(32767 * amplitude * std::sin(2 * M_PI * hz * double(f) / rate))));
    return wave;
}

/// Amplitude (full scale 1) of the frequency hz in the mono samples from..to (Goertzel).
inline double ToneAmplitude(const std::vector<int> &samples, unsigned rate, double hz, size_t from,
                            size_t to)
{
    double coeff = 2 * std::cos(2 * M_PI * hz / rate), s1 = 0, s2 = 0;
    for (size_t i = from; i < to; ++i) {
        double s0 = samples[i] / 32768.0 + coeff * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    double power = s1 * s1 + s2 * s2 - coeff * s1 * s2;
    return 2 * std::sqrt(std::max(power, 0.0)) / double(to - from);
}

} // namespace kestrelin::testing
