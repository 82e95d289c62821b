// Quantiser and dequantiser tables of the encoder.
#include "h263/quant.h"
#include "h263/target_clones.h"

namespace h263 {

void Quantiser::setup(int q)
{
    if (q == q_)
        return;
    q_ = q;
    int step = q > 0 ? 2 * q : 1;
    recip_ = (1u << 20) / static_cast<uint32_t>(step) + 1;
    // With 2^s < step <= 2^(s+1): m = ceil(2^(16+s) / step) fits 16 bits and errs by
    // less than 2^(-4-s) for v < 2^12, below the smallest fraction (1/step) that
    // could round otherwise. A step of 2^(s+1) is a shift: m = 2^15 halves, s does the rest.
    int s16 = 0;
    while ((2 << s16) < step)
        s16++;
    const bool power = (step & (step - 1)) == 0;
    recip16_ = static_cast<uint16_t>(power ? 1u << 15 : ((1u << (16 + s16)) + step - 1) / step);
    shift16_ = s16;
    for (int v = 0; v < kRange; v++) {
        int l = v / step;
        if (l > 127)
            l = 127;
        t_[kRange + v] = static_cast<int8_t>(l);
        t_[kRange - v] = static_cast<int8_t>(-l);
    }
    t_[0] = t_[1];  // -4096 behaves like -4095
    d_[127] = 0;
    for (int l = 1; l <= 127; l++) {
        int d = (2 * l + 1) * q - ((q & 1) ? 0 : 1);
        d_[127 + l] = static_cast<int16_t>(d);
        d_[127 - l] = static_cast<int16_t>(-d);
    }
}

// The table look-ups of T written as arithmetic so that they vectorise:
// T[v] = sign(v) * min(|v| / (2Q), 127), the division done by a reciprocal
// that is exact for |v| < 4096. The tests compare both forms.
H263_TARGET_CLONES
bool Quantiser::quantise_inter(const int32_t *coef, int16_t *level) const
{
    const int half = q_ >> 1;
    const uint32_t r = recip_;
    int any = 0;
    for (int i = 0; i < 64; i++) {
        int v = coef[i] - half;
        v = v < -kRange + 1 ? -kRange + 1 : (v > kRange - 1 ? kRange - 1 : v);
        uint32_t a = static_cast<uint32_t>(v < 0 ? -v : v);
        int l = static_cast<int>((a * r) >> 20);
        l = l > 127 ? 127 : l;
        l = v < 0 ? -l : l;
        level[i] = static_cast<int16_t>(l);
        any |= l;
    }
    return any != 0;
}

H263_TARGET_CLONES
bool Quantiser::quantise_intra(const int32_t *coef, int16_t *level) const
{
    int d = coef[0] / 8;
    level[0] = static_cast<int16_t>(d < 1 ? 1 : (d > 254 ? 254 : d));
    // T[c] for the AC coefficients, as in quantise_inter without the offset.
    const uint32_t r = recip_;
    int any = 0;
    for (int i = 1; i < 64; i++) {
        int v = coef[i];
        v = v < -kRange + 1 ? -kRange + 1 : (v > kRange - 1 ? kRange - 1 : v);
        uint32_t a = static_cast<uint32_t>(v < 0 ? -v : v);
        int l = static_cast<int>((a * r) >> 20);
        l = l > 127 ? 127 : l;
        l = v < 0 ? -l : l;
        level[i] = static_cast<int16_t>(l);
        any |= l;
    }
    return any != 0;
}

H263_TARGET_CLONES
void Quantiser::dequantise_inter(const int16_t *level, bool coded, int16_t *coef) const
{
    if (!coded) {
        for (int i = 0; i < 64; i++)
            coef[i] = 0;
        return;
    }
    // D[l] = sign(l) * ((2|l| + 1) Q - (Q even)), D[0] = 0.
    const int q = q_, even = (q_ & 1) ? 0 : 1;
    for (int i = 0; i < 64; i++) {
        int l = level[i];
        int a = l < 0 ? -l : l;
        int d = a ? (2 * a + 1) * q - even : 0;
        coef[i] = static_cast<int16_t>(l < 0 ? -d : d);
    }
}

H263_TARGET_CLONES
void Quantiser::dequantise_intra(const int16_t *level, bool coded, int16_t *coef) const
{
    coef[0] = static_cast<int16_t>(8 * level[0]);
    const int q = q_, even = (q_ & 1) ? 0 : 1;
    for (int i = 1; i < 64; i++) {
        int l = coded ? level[i] : 0;
        int a = l < 0 ? -l : l;
        int d = a ? (2 * a + 1) * q - even : 0;
        coef[i] = static_cast<int16_t>(l < 0 ? -d : d);
    }
}

} // namespace h263
