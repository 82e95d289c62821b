// Initial P-array and S-boxes of the Blowfish cipher.
#pragma once

#include <cstdint>

extern const uint32_t kBlowfishInitialP[18];
extern const uint32_t kBlowfishInitialS[4][256];
