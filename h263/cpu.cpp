// Which kernels the codec runs.
#include "h263/cpu.h"

namespace h263 {

namespace {

const bool g_has_avx2 = __builtin_cpu_supports("avx2");

} // namespace

bool g_avx2_kernels = g_has_avx2;

void set_avx2_kernels(bool on)
{
    g_avx2_kernels = on && g_has_avx2;
}

} // namespace h263
