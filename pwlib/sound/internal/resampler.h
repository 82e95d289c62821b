// A streaming sample-rate converter: windowed-sinc interpolation on interleaved floats.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace pwlib::sound
{

/// Converts interleaved frames from one rate to another. The band above the lower rate's
/// Nyquist frequency is filtered out, so downsampling does not alias. Output frame k is
/// the input at time k * inRate / outRate (no delay); the total output of n input frames
/// is ceil(n * outRate / inRate) frames once Flush() has been called.
class Resampler
{
  public:
    Resampler(unsigned inRate, unsigned outRate, unsigned channels);

    /// Appends the output that the frames make available to out.
    void Process(const float *in, size_t frames, std::vector<float> &out);
    /// End of input: appends the rest of the output.
    void Flush(std::vector<float> &out);

  private:
    void Produce(std::vector<float> &out, uint64_t limit);

    unsigned inRate_, outRate_, channels_;
    bool identity_;
    /// Half the filter length in input frames; the filter spans taps 2 * half_.
    unsigned half_ = 0;
    /// Filter rows for kPhases + 1 fractional positions, each 2 * half_ taps.
    std::vector<float> table_;
    /// Input frames from absolute index historyStart_ on.
    std::vector<float> history_;
    int64_t historyStart_ = 0;
    /// Integer and fractional (over outRate_) input position of the next output frame.
    int64_t position_ = 0;
    uint64_t fraction_ = 0;
    uint64_t totalIn_ = 0, totalOut_ = 0;
};

} // namespace pwlib::sound
