// Shared body of the PER fuzz targets: decode, and check that what re-encodes round-trips.
#pragma once

#include <h323/asn1/per.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

template <class T> int fuzz_per_message(const uint8_t *data, size_t size)
{
    T value;
    if (!asn1::decode(data, size, value))
        return 0;
    std::vector<uint8_t> once;
    if (!asn1::encode(value, once))
        return 0; // accepted leniently on decode, such as a character outside the alphabet
    T again;
    if (!asn1::decode(once, again))
        std::abort();
    std::vector<uint8_t> twice;
    if (!asn1::encode(again, twice) || twice != once)
        std::abort();
    (void)asn1::to_text(value);
    return 0;
}
