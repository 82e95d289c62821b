// Helpers shared by the PER encoder and decoder.
#pragma once

#include <h323/asn1/descriptor.h>

#include <bit>
#include <cstdint>

namespace asn1 {

inline constexpr size_t kFragment = 16384; // 16K, the PER fragment unit

/** Bits needed for values 0..v (v >= 1). */
inline unsigned bits_for(uint64_t v)
{
    return v ? 64 - static_cast<unsigned>(std::countl_zero(v)) : 0;
}

/** Octets needed for the non-negative value v (at least one). */
inline unsigned octets_for(uint64_t v)
{
    unsigned b = bits_for(v);
    return b ? (b + 7) / 8 : 1;
}

/** Octets of the shortest two's complement form of v. */
inline unsigned signed_octets_for(int64_t v)
{
    unsigned n = 1;
    while (n < 8) {
        int64_t lo = -(int64_t(1) << (8 * n - 1));
        int64_t hi = (int64_t(1) << (8 * n - 1)) - 1;
        if (v >= lo && v <= hi)
            break;
        n++;
    }
    return n;
}

inline bool in_alphabet(const Alphabet &a, unsigned c)
{
    return c < 128 && (a.mask[c / 64] >> (c % 64)) & 1u;
}

/** Position of c among the alphabet's characters in code order. */
inline unsigned alphabet_index(const Alphabet &a, unsigned c)
{
    if (c < 64)
        return static_cast<unsigned>(std::popcount(a.mask[0] & ((uint64_t(1) << c) - 1)));
    return static_cast<unsigned>(std::popcount(a.mask[0])) +
           static_cast<unsigned>(std::popcount(a.mask[1] & ((uint64_t(1) << (c - 64)) - 1)));
}

} // namespace asn1
