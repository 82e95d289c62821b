// Which kernels the codec runs: its AVX2 forms where the processor has AVX2, else the baseline.
#pragma once

namespace h263 {

/** Set when the AVX2 kernels run; read through avx2_kernels(). */
extern bool g_avx2_kernels;

/** Whether the AVX2 kernels run: the processor has AVX2 and they were not turned off. */
inline bool avx2_kernels()
{
    return g_avx2_kernels;
}

/**
 * Turns the AVX2 kernels off (false) or back on where the processor has AVX2,
 * so that the tests can check the baseline kernels on any processor. Not to be
 * called while a picture is being coded or decoded.
 */
void set_avx2_kernels(bool on);

} // namespace h263
