// Windowed-sinc resampling with a table of filter phases, interpolated between phases.
#include <pwlib/sound/internal/resampler.h>

#include <algorithm>
#include <cmath>

namespace pwlib::sound
{

namespace
{

/// Fractional positions tabulated between two input frames.
constexpr unsigned kPhases = 256;
/// Zero crossings of the sinc on each side, at the output's cut-off.
constexpr double kZeroCrossings = 12.0;
/// The cut-off as a share of the lower Nyquist frequency (room for the transition band).
constexpr double kCutoff = 0.92;

double Sinc(double x)
{
    return x == 0.0 ? 1.0 : std::sin(M_PI * x) / (M_PI * x);
}

} // namespace

Resampler::Resampler(unsigned inRate, unsigned outRate, unsigned channels)
    : inRate_(inRate), outRate_(outRate), channels_(channels), identity_(inRate == outRate)
{
    if (identity_)
        return;
    const double fc = kCutoff * std::min(1.0, double(outRate) / inRate);
    half_ = unsigned(std::ceil(kZeroCrossings / fc));
    const unsigned taps = 2 * half_;
    table_.resize(size_t(kPhases + 1) * taps);
    for (unsigned p = 0; p <= kPhases; ++p) {
        float *row = &table_[size_t(p) * taps];
        double sum = 0;
        for (unsigned j = 0; j < taps; ++j) {
            // Distance from the output position to input frame (floor - half + 1 + j).
            double d = double(p) / kPhases + (half_ - 1.0) - j;
            double x = d / half_;
            double window = std::abs(x) >= 1.0
                                ? 0.0
                                : 0.42 + 0.5 * std::cos(M_PI * x) + 0.08 * std::cos(2 * M_PI * x);
            row[j] = float(fc * Sinc(fc * d) * window);
            sum += row[j];
        }
        for (unsigned j = 0; j < taps; ++j)
            row[j] = float(row[j] / sum); // unit gain at DC
    }
    // The first output needs half_ - 1 frames before the start: silence.
    history_.assign(size_t(half_ - 1) * channels_, 0.0f);
    historyStart_ = -int64_t(half_ - 1);
}

void Resampler::Process(const float *in, size_t frames, std::vector<float> &out)
{
    if (identity_) {
        out.insert(out.end(), in, in + frames * channels_);
        return;
    }
    history_.insert(history_.end(), in, in + frames * channels_);
    totalIn_ += frames;
    Produce(out, UINT64_MAX);
}

void Resampler::Flush(std::vector<float> &out)
{
    if (identity_)
        return;
    history_.insert(history_.end(), size_t(half_) * channels_, 0.0f);
    const uint64_t total = (totalIn_ * outRate_ + inRate_ - 1) / inRate_;
    Produce(out, total);
}

void Resampler::Produce(std::vector<float> &out, uint64_t limit)
{
    const unsigned taps = 2 * half_;
    const int64_t available = historyStart_ + int64_t(history_.size() / channels_);
    while (totalOut_ < limit && position_ + half_ < available) {
        const double phase = double(fraction_) * kPhases / outRate_;
        const unsigned p = unsigned(phase);
        const float mix = float(phase - p);
        const float *rowA = &table_[size_t(p) * taps];
        const float *rowB = rowA + taps;
        const float *frame = &history_[size_t(position_ - (half_ - 1) - historyStart_) * channels_];
        for (unsigned c = 0; c < channels_; ++c) {
            float acc = 0.0f;
            for (unsigned j = 0; j < taps; ++j)
                acc += frame[size_t(j) * channels_ + c] * (rowA[j] + mix * (rowB[j] - rowA[j]));
            out.push_back(acc);
        }
        ++totalOut_;
        fraction_ += inRate_;
        position_ += int64_t(fraction_ / outRate_);
        fraction_ %= outRate_;
    }
    // Drop the frames no later output needs.
    const int64_t keepFrom = position_ - (half_ - 1);
    if (keepFrom > historyStart_) {
        size_t drop = size_t(std::min<int64_t>(keepFrom - historyStart_,
                                               int64_t(history_.size() / channels_)));
        history_.erase(history_.begin(), history_.begin() + drop * channels_);
        historyStart_ += int64_t(drop);
    }
}

} // namespace pwlib::sound
