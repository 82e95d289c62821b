// Wave files: a reader that converts to a channel's PCM format, and a PCM writer.
#pragma once

#include <pwlib/sound/internal/pcmformat.h>
#include <pwlib/sound/internal/resampler.h>

#include <memory>
#include <string>
#include <vector>

typedef struct sf_private_tag SNDFILE;

namespace pwlib::sound
{

/// Why a wave file could not be opened.
enum class WavError { None, NotFound, NotWave, Unreadable };

/// Reads a RIFF/WAVE file of any rate, width and channel count that libsndfile decodes,
/// delivering PCM in a target format: channels mixed down or duplicated, rate converted,
/// samples requantised.
class WavReader
{
  public:
    ~WavReader();
    WavReader(const WavReader &) = delete;
    WavReader &operator=(const WavReader &) = delete;

    /// The reader, or nullptr with the reason in error.
    static std::unique_ptr<WavReader> Open(const std::string &path, const PcmFormat &target,
                                           WavError &error);

    /// Starts again at the beginning after the end, for ever (needs a file with frames).
    void SetLooping(bool looping) { looping_ = looping && fileFrames_ > 0; }
    /// Fills up to bytes (whole frames) at out; gives the bytes written, 0 at the end.
    size_t Read(BYTE *out, size_t bytes);

    unsigned FileRate() const { return fileRate_; }
    unsigned FileChannels() const { return fileChannels_; }
    long long FileFrames() const { return fileFrames_; }

  private:
    WavReader(SNDFILE *file, const PcmFormat &target, unsigned rate, unsigned channels,
              long long frames);
    /// Decodes the next block of the file into pending_; false at the end.
    bool Refill();

    SNDFILE *file_;
    PcmFormat target_;
    unsigned fileRate_, fileChannels_;
    long long fileFrames_;
    bool looping_ = false;
    bool flushed_ = false;
    Resampler resampler_;
    std::vector<float> decoded_, mapped_;
    /// Converted frames (target channels) not yet handed out, from pendingPos_ on.
    std::vector<float> pending_;
    size_t pendingPos_ = 0;
};

/// Writes PCM of one format into a new wave file; the header is kept up to date after every
/// write, so the file is valid while it is being written.
class WavWriter
{
  public:
    ~WavWriter();
    WavWriter(const WavWriter &) = delete;
    WavWriter &operator=(const WavWriter &) = delete;

    /// The writer, or nullptr (errno set) when the file cannot be created.
    static std::unique_ptr<WavWriter> Create(const std::string &path, const PcmFormat &format);
    /// Appends whole frames; false on a write error.
    bool Write(const BYTE *data, size_t bytes);

  private:
    WavWriter(SNDFILE *file, const PcmFormat &format) : file_(file), format_(format) {}

    SNDFILE *file_;
    PcmFormat format_;
    std::vector<short> samples_;
};

} // namespace pwlib::sound
