// H263_TARGET_CLONES: an AVX2 and a default version of a function, chosen at load time.
#pragma once

// clang (as packaged) defines only the clones' symbols, not the plain name that callers in
// other files link against; its builds keep the default version.
#if defined(__clang__)
#define H263_TARGET_CLONES
#else
#define H263_TARGET_CLONES __attribute__((target_clones("avx2", "default")))
#endif
