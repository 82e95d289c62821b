// The null and file devices: PCM paced in real time by the clock instead of a sound card.
#pragma once

#include <pwlib/internal/waitable.h>
#include <pwlib/sound/internal/sounddevice.h>
#include <pwlib/sound/internal/wavfile.h>

#include <chrono>

namespace pwlib::sound
{

/// Plays into nothing, or into a wave file: a Write returns once its bytes fit into the
/// buffers, which drain at the format's byte rate, as a sound card's would.
class PacedPlayer : public SoundDevice
{
  public:
    /// writer may be null (the null device).
    PacedPlayer(const PcmFormat &format, const BufferConfig &buffers,
                std::unique_ptr<WavWriter> writer);

    IoResult Write(const BYTE *data, size_t bytes, uint64_t generation) override;
    IoResult Read(BYTE *data, size_t bytes, uint64_t generation) override;
    IoResult Drain(uint64_t generation) override;
    bool HasPendingOutput() override;
    bool Resize(const BufferConfig &buffers) override;

  protected:
    void DropOutput() override;
    void Wake() override;

  private:
    using Clock = std::chrono::steady_clock;

    PcmFormat format_;
    std::unique_ptr<WavWriter> writer_;
    pwlib::Waitable waitable_;
    /// Bytes the buffers hold (whole frames).
    size_t capacity_;
    /// When everything queued so far has been played.
    Clock::time_point playEnd_;
};

/// Records silence, or the samples of a wave file played in a loop, at the format's rate.
/// Capture starts with the first Read, which gets up to one buffer at once; a reader that
/// falls behind by more than the buffers loses the oldest samples, as with a sound card.
class PacedRecorder : public SoundDevice
{
  public:
    /// source may be null (silence).
    PacedRecorder(const PcmFormat &format, const BufferConfig &buffers,
                  std::unique_ptr<WavReader> source);

    IoResult Write(const BYTE *data, size_t bytes, uint64_t generation) override;
    IoResult Read(BYTE *data, size_t bytes, uint64_t generation) override;
    IoResult Drain(uint64_t generation) override;
    bool HasPendingOutput() override;
    bool Resize(const BufferConfig &buffers) override;

  protected:
    void DropOutput() override {}
    void Wake() override;

  private:
    using Clock = std::chrono::steady_clock;

    /// Fills frames from the source (or silence).
    void Fill(BYTE *data, size_t frames);

    PcmFormat format_;
    std::unique_ptr<WavReader> source_;
    std::vector<BYTE> scratch_;
    pwlib::Waitable waitable_;
    size_t capacityFrames_;
    size_t bufferFrames_;
    bool started_ = false;
    Clock::time_point start_;
    uint64_t consumed_ = 0;
};

} // namespace pwlib::sound
