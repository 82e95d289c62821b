// CBlowFish: the 64-bit block cipher that keeps the account password in client.dat.
//
// Blowfish's structure and initial tables with two differences that are part of the stored
// format: each key byte is widened with its sign and ORed in before the shift in the key
// schedule, and the round function indexes S-box 0 by the least significant byte.
// A block holds its left half in the low 32 bits and its right half in the high 32 bits.
#pragma once

#include <cstdint>

class CBlowFish
{
  public:
    CBlowFish() = default;
    virtual ~CBlowFish() = default;

    /// Sets up the tables from nLength key bytes (no key bytes: every key byte is 0).
    void Initialize(const unsigned char *key, int nLength);
    uint64_t Encrypt(uint64_t block) const;
    uint64_t Decrypt(uint64_t block) const;

  private:
    uint32_t F(uint32_t x) const;

    uint32_t m_P[18] = {};
    uint32_t m_S[4][256] = {};
};
