// Running a test with the codec's AVX2 kernels and again with its baseline ones.
#pragma once

#include "h263/cpu.h"

namespace h263test {

/** One choice of kernels, named for the test's trace. */
struct KernelChoice {
    bool avx2;
    const char *name;
};

/** The AVX2 kernels (where the processor has them), then the baseline ones. */
inline constexpr KernelChoice kKernelChoices[] = {{true, "AVX2 kernels"},
                                                  {false, "baseline kernels"}};

/** Runs the codec with the chosen kernels for as long as it lives. */
class UseKernels {
public:
    explicit UseKernels(const KernelChoice &k) { h263::set_avx2_kernels(k.avx2); }
    ~UseKernels() { h263::set_avx2_kernels(true); }
    UseKernels(const UseKernels &) = delete;
    UseKernels &operator=(const UseKernels &) = delete;
};

} // namespace h263test
