// ASN.1 aligned PER (X.691, BASIC-PER ALIGNED) encoder and decoder over type descriptors.
#pragma once

#include <h323/asn1/descriptor.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace asn1 {

enum class Error : uint8_t {
    none,
    truncated,   // the input ended inside a value
    bad_length,  // a length determinant outside its constraint or the input
    bad_value,   // a value outside its constraint or not representable
    bad_choice,  // a CHOICE or ENUMERATED index outside the type
    too_deep,    // nesting deeper than kMaxDepth
    too_large,   // a count or size beyond what the input can hold
    unsupported, // a valid encoding this codec does not take (an INTEGER above 64 bits)
    not_set,     // encode: a CHOICE with no alternative chosen
    missing,     // encode: a mandatory extension addition left out before a later one
};

const char *error_name(Error e);

/** Nesting of SEQUENCE, CHOICE and SEQUENCE OF values accepted on decode. */
inline constexpr int kMaxDepth = 64;

/** Outcome of an encode or decode: where it failed and on which type. */
struct Result {
    Error error = Error::none;
    size_t bit_pos = 0; // bit offset of the failure from the start of the buffer
    std::string path;   // type and component names to the failing value

    explicit operator bool() const { return error == Error::none; }
    bool ok() const { return error == Error::none; }
    /** One line for logs: "<error> at bit <n> in <path>". */
    std::string message() const;
};

/** Encodes value (storage of desc's kind) as a complete PER encoding into out (replaced). */
Result encode(const TypeDesc &desc, const void *value, std::vector<uint8_t> &out);

/**
 * Decodes one complete encoding. On failure value holds its type's default. bits_used, when
 * given, receives the bits the value took.
 */
Result decode(const TypeDesc &desc, const uint8_t *data, size_t size, void *value,
              size_t *bits_used = nullptr);

/** Readable multi-line text of a value, for logs and test failures. */
std::string to_text(const TypeDesc &desc, const void *value);

template <class T> Result encode(const T &value, std::vector<uint8_t> &out)
{
    return encode(T::Desc(), storage_of(value), out);
}

template <class T> Result decode(const uint8_t *data, size_t size, T &value)
{
    return decode(T::Desc(), data, size, storage_of(value));
}

template <class T> Result decode(const std::vector<uint8_t> &data, T &value)
{
    return decode(T::Desc(), data.data(), data.size(), storage_of(value));
}

template <class T> std::string to_text(const T &value)
{
    return to_text(T::Desc(), storage_of(value));
}

} // namespace asn1
