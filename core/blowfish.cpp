// CBlowFish: key schedule, round function and the two block directions.
#include <core/blowfish.h>

#include <core/blowfish_tables.h>

#include <cstring>
#include <utility>

uint32_t CBlowFish::F(uint32_t x) const
{
    return ((m_S[0][x & 0xFF] + m_S[1][(x >> 8) & 0xFF]) ^ m_S[2][(x >> 16) & 0xFF]) +
           m_S[3][x >> 24];
}

uint64_t CBlowFish::Encrypt(uint64_t block) const
{
    uint32_t l = static_cast<uint32_t>(block), r = static_cast<uint32_t>(block >> 32);
    for (int i = 0; i < 16; ++i) {
        l ^= m_P[i];
        r ^= F(l);
        std::swap(l, r);
    }
    std::swap(l, r);
    r ^= m_P[16];
    l ^= m_P[17];
    return (static_cast<uint64_t>(r) << 32) | l;
}

uint64_t CBlowFish::Decrypt(uint64_t block) const
{
    uint32_t l = static_cast<uint32_t>(block), r = static_cast<uint32_t>(block >> 32);
    for (int i = 17; i > 1; --i) {
        l ^= m_P[i];
        r ^= F(l);
        std::swap(l, r);
    }
    std::swap(l, r);
    r ^= m_P[1];
    l ^= m_P[0];
    return (static_cast<uint64_t>(r) << 32) | l;
}

void CBlowFish::Initialize(const unsigned char *key, int nLength)
{
    std::memcpy(m_S, kBlowfishInitialS, sizeof m_S);
    int j = 0;
    for (int i = 0; i < 18; ++i) {
        uint32_t data = 0;
        for (int k = 0; k < 4; ++k) {
            // The byte, sign-extended, goes in before the shift: bits 7..0 stay 0.
            uint32_t byte =
                nLength > 0
                    ? static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(key[j])))
                    : 0;
            data = (data | byte) << 8;
            if (++j >= nLength)
                j = 0;
        }
        m_P[i] = kBlowfishInitialP[i] ^ data;
    }
    uint64_t block = 0;
    for (int i = 0; i < 18; i += 2) {
        block = Encrypt(block);
        m_P[i] = static_cast<uint32_t>(block);
        m_P[i + 1] = static_cast<uint32_t>(block >> 32);
    }
    for (auto &box : m_S) {
        for (int i = 0; i < 256; i += 2) {
            block = Encrypt(block);
            box[i] = static_cast<uint32_t>(block);
            box[i + 1] = static_cast<uint32_t>(block >> 32);
        }
    }
}
