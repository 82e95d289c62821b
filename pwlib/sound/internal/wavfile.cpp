// Wave files through libsndfile: decoding, channel mapping, rate conversion, writing.
#include <pwlib/ptrace.h>
#include <pwlib/sound/internal/wavfile.h>

#include <cerrno>
#include <sndfile.h>
#include <sys/stat.h>

namespace pwlib::sound
{

namespace
{

/// Frames decoded from the file at a time.
constexpr sf_count_t kBlockFrames = 1024;

} // namespace

WavReader::WavReader(SNDFILE *file, const PcmFormat &target, unsigned rate, unsigned channels,
                     long long frames)
    : file_(file), target_(target), fileRate_(rate), fileChannels_(channels),
      fileFrames_(frames), resampler_(rate, target.rate, target.channels)
{
}

WavReader::~WavReader()
{
    sf_close(file_);
}

std::unique_ptr<WavReader> WavReader::Open(const std::string &path, const PcmFormat &target,
                                           WavError &error)
{
    struct stat st;
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        error = WavError::NotFound;
        return nullptr;
    }
    SF_INFO info{};
    SNDFILE *file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) {
        PTRACE(2, "Sound\tcannot read " << path << ": " << sf_strerror(nullptr));
        error = WavError::Unreadable;
        return nullptr;
    }
    int major = info.format & SF_FORMAT_TYPEMASK;
    if ((major != SF_FORMAT_WAV && major != SF_FORMAT_WAVEX) || info.channels < 1 ||
        info.channels > 64 || info.samplerate < 1000 || info.samplerate > 384000 ||
        info.frames < 0) {
        PTRACE(2, "Sound\t" << path << " is not a RIFF/WAVE file this channel can play");
        sf_close(file);
        error = WavError::NotWave;
        return nullptr;
    }
    error = WavError::None;
    return std::unique_ptr<WavReader>(new WavReader(file, target, unsigned(info.samplerate),
                                                    unsigned(info.channels), info.frames));
}

bool WavReader::Refill()
{
    pending_.clear();
    pendingPos_ = 0;
    bool rewound = false;
    while (pending_.empty()) {
        if (flushed_)
            return false;
        decoded_.resize(size_t(kBlockFrames) * fileChannels_);
        sf_count_t frames = sf_readf_float(file_, decoded_.data(), kBlockFrames);
        if (frames <= 0) {
            // A file that gives nothing even from its start ends instead of spinning.
            if (looping_ && !rewound && sf_seek(file_, 0, SEEK_SET) == 0) {
                rewound = true;
                continue;
            }
            resampler_.Flush(pending_);
            flushed_ = true;
            continue;
        }
        // Mix down to mono, duplicate mono, or take the first channels in order.
        const unsigned out = target_.channels, in = fileChannels_;
        mapped_.resize(size_t(frames) * out);
        for (sf_count_t f = 0; f < frames; ++f) {
            const float *src = &decoded_[size_t(f) * in];
            float *dst = &mapped_[size_t(f) * out];
            if (out == 1 && in > 1) {
                float sum = 0.0f;
                for (unsigned c = 0; c < in; ++c)
                    sum += src[c];
                dst[0] = sum / float(in);
            } else {
                for (unsigned c = 0; c < out; ++c)
                    dst[c] = src[c % in];
            }
        }
        resampler_.Process(mapped_.data(), size_t(frames), pending_);
        rewound = false;
    }
    return true;
}

size_t WavReader::Read(BYTE *out, size_t bytes)
{
    const unsigned frameBytes = target_.FrameBytes();
    const unsigned sampleBytes = target_.bits / 8;
    size_t frames = bytes / frameBytes, done = 0;
    while (done < frames) {
        if (pendingPos_ >= pending_.size() && !Refill())
            break;
        size_t take = std::min(frames - done, (pending_.size() - pendingPos_) / target_.channels);
        BYTE *dst = out + done * frameBytes;
        for (size_t i = 0; i < take * target_.channels; ++i)
            StoreSample(pending_[pendingPos_ + i], target_.bits, dst + i * sampleBytes);
        pendingPos_ += take * target_.channels;
        done += take;
    }
    return done * frameBytes;
}

WavWriter::~WavWriter()
{
    sf_close(file_);
}

std::unique_ptr<WavWriter> WavWriter::Create(const std::string &path, const PcmFormat &format)
{
    SF_INFO info{};
    info.samplerate = int(format.rate);
    info.channels = int(format.channels);
    info.format = SF_FORMAT_WAV | (format.bits == 8 ? SF_FORMAT_PCM_U8 : SF_FORMAT_PCM_16);
    SNDFILE *file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (file == nullptr) {
        PTRACE(2, "Sound\tcannot create " << path << ": " << sf_strerror(nullptr));
        if (errno == 0)
            errno = EACCES;
        return nullptr;
    }
    sf_command(file, SFC_SET_UPDATE_HEADER_AUTO, nullptr, SF_TRUE);
    return std::unique_ptr<WavWriter>(new WavWriter(file, format));
}

bool WavWriter::Write(const BYTE *data, size_t bytes)
{
    const size_t frames = bytes / format_.FrameBytes();
    if (format_.bits == 8)
        return sf_write_raw(file_, data, sf_count_t(frames * format_.channels)) ==
               sf_count_t(frames * format_.channels);
    samples_.resize(frames * format_.channels);
    std::memcpy(samples_.data(), data, samples_.size() * sizeof(short));
    return sf_writef_short(file_, samples_.data(), sf_count_t(frames)) == sf_count_t(frames);
}

} // namespace pwlib::sound
