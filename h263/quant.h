// Quantiser and dequantiser tables of the encoder, rebuilt when the quantiser changes.
#pragma once

#include <cstdint>

namespace h263 {

class Quantiser {
public:
    /** Builds the tables for Q (1..31) unless they are already built for it. */
    void setup(int q);
    int q() const { return q_; }
    /** floor(2^20 / (2Q)) + 1: for |v| < 4096, |v| * recip() >> 20 is |v| / (2Q). */
    uint32_t recip() const { return recip_; }
    /**
     * The division by 2Q in 16 bits: for 0 <= v < 4096, the high 16 bits of
     * v * recip16(), shifted right by shift16(), are v / (2Q).
     */
    uint16_t recip16() const { return recip16_; }
    int shift16() const { return shift16_; }

    /** Inter block: level[i] = T[c[i] - (Q >> 1)]; returns whether any level is non-zero. */
    bool quantise_inter(const int32_t *coef, int16_t *level) const;
    /**
     * Intra block: DC d = c[0] / 8 limited to 1..254 (stored in level[0]),
     * AC level[i] = T[c[i]]; returns whether any AC level is non-zero.
     */
    bool quantise_intra(const int32_t *coef, int16_t *level) const;
    /** Dequantises a coded inter block (64 zeros when not coded). */
    void dequantise_inter(const int16_t *level, bool coded, int16_t *coef) const;
    /** Dequantises an intra block: DC value 8d, then D[level] of the AC levels when coded. */
    void dequantise_intra(const int16_t *level, bool coded, int16_t *coef) const;

    int quant_level(int v) const { return t_[clamp_index(v) + kRange]; }
    int dequant(int level) const { return d_[level + 127]; }

private:
    static constexpr int kRange = 4096;  // T is defined for -4096..4095
    static int clamp_index(int v) { return v < -kRange ? -kRange : (v >= kRange ? kRange - 1 : v); }

    int q_ = 0;
    uint32_t recip_ = 0;        // floor(2^20 / (2Q)) + 1: |v| * recip_ >> 20 == |v| / (2Q)
    uint16_t recip16_ = 0;
    int shift16_ = 0;
    int8_t t_[2 * kRange];
    int16_t d_[255];
};

} // namespace h263
