// Quantiser and dequantiser tables of the encoder.
#include "h263/quant.h"

namespace h263 {

void Quantiser::setup(int q)
{
    if (q == q_)
        return;
    q_ = q;
    int step = q > 0 ? 2 * q : 1;
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

bool Quantiser::quantise_inter(const int32_t *coef, int16_t *level) const
{
    int half = q_ >> 1;
    int any = 0;
    for (int i = 0; i < 64; i++) {
        int l = t_[clamp_index(coef[i] - half) + kRange];
        level[i] = static_cast<int16_t>(l);
        any |= l;
    }
    return any != 0;
}

bool Quantiser::quantise_intra(const int32_t *coef, int16_t *level) const
{
    int d = coef[0] / 8;
    level[0] = static_cast<int16_t>(d < 1 ? 1 : (d > 254 ? 254 : d));
    int any = 0;
    for (int i = 1; i < 64; i++) {
        int l = t_[clamp_index(coef[i]) + kRange];
        level[i] = static_cast<int16_t>(l);
        any |= l;
    }
    return any != 0;
}

void Quantiser::dequantise_inter(const int16_t *level, bool coded, int16_t *coef) const
{
    for (int i = 0; i < 64; i++)
        coef[i] = coded ? d_[level[i] + 127] : 0;
}

void Quantiser::dequantise_intra(const int16_t *level, bool coded, int16_t *coef) const
{
    coef[0] = static_cast<int16_t>(8 * level[0]);
    for (int i = 1; i < 64; i++)
        coef[i] = coded ? d_[level[i] + 127] : 0;
}

} // namespace h263
