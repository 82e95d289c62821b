// Value classes of the ASN.1 runtime: what generated message classes are made of.
#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

namespace asn1 {

struct TypeDesc;

inline constexpr int64_t kMinInt = std::numeric_limits<int64_t>::min();
inline constexpr int64_t kMaxInt = std::numeric_limits<int64_t>::max();

/** Storage of every INTEGER value; the codec works on this base. */
struct IntegerValue {
    int64_t value = 0;
};

/**
 * INTEGER with its root constraint. Assignment clamps to a non-extensible range, so a value
 * set by the caller is always encodable; decoded values are stored as received.
 */
template <int64_t Lo = kMinInt, int64_t Hi = kMaxInt, bool Ext = false>
class Int : public IntegerValue {
  public:
    constexpr Int() { value = (Lo <= 0 && 0 <= Hi) ? 0 : Lo; }
    constexpr Int(int64_t v) { *this = v; }
    constexpr Int &operator=(int64_t v)
    {
        if constexpr (!Ext) {
            if (v < Lo)
                v = Lo;
            if (v > Hi)
                v = Hi;
        }
        value = v;
        return *this;
    }
    constexpr operator int64_t() const { return value; }
    constexpr int64_t GetValue() const { return value; }
    constexpr void SetValue(int64_t v) { *this = v; }
    static constexpr int64_t lower_bound = Lo;
    static constexpr int64_t upper_bound = Hi;
};

using Integer = Int<>;

struct Boolean {
    bool value = false;
    constexpr Boolean() = default;
    constexpr Boolean(bool v) : value(v) {}
    constexpr Boolean &operator=(bool v)
    {
        value = v;
        return *this;
    }
    constexpr operator bool() const { return value; }
};

struct Null {
};

/** Storage of every ENUMERATED value: the number given to the enumeration item. */
struct EnumeratedValue {
    int64_t value = 0;
};

/** OCTET STRING and open types carried as their encoded octets. */
class OctetString : public std::vector<uint8_t> {
  public:
    using std::vector<uint8_t>::vector;
    OctetString() = default;
    OctetString(const std::vector<uint8_t> &v) : std::vector<uint8_t>(v) {}
    OctetString(std::vector<uint8_t> &&v) : std::vector<uint8_t>(std::move(v)) {}
    /** The octets as text (for non-standard data that carries text). */
    std::string AsString() const { return std::string(begin(), end()); }
    void SetString(std::string_view s) { assign(s.begin(), s.end()); }
    size_t GetSize() const { return size(); }
    void SetSize(size_t n) { resize(n); }
};

/** BIT STRING: the bits, first bit in the most significant bit of octet 0. */
class BitString {
  public:
    BitString() = default;
    explicit BitString(size_t bits) : bytes_((bits + 7) / 8), bits_(bits) {}
    size_t GetSize() const { return bits_; }
    void SetSize(size_t bits);
    bool Get(size_t i) const { return i < bits_ && (bytes_[i / 8] & (0x80u >> (i % 8))); }
    void Set(size_t i, bool on = true);
    const std::vector<uint8_t> &bytes() const { return bytes_; }
    /** Sets the value from octets and a bit count; bits past the count are cleared. */
    void assign(const uint8_t *data, size_t bits);
    bool operator==(const BitString &o) const = default;

  private:
    std::vector<uint8_t> bytes_;
    size_t bits_ = 0;
};

/** OBJECT IDENTIFIER as its arcs. */
class ObjectId : public std::vector<uint32_t> {
  public:
    using std::vector<uint32_t>::vector;
    ObjectId() = default;
    /** Parses dotted text such as "0.0.8.2250.0.4"; bad text gives an empty value. */
    explicit ObjectId(std::string_view dotted);
    std::string AsString() const;
    void SetValue(std::string_view dotted) { *this = ObjectId(dotted); }
};

/** Restricted character strings held as bytes (IA5, Numeric, Printable, General). */
class CharString : public std::string {
  public:
    using std::string::string;
    CharString() = default;
    CharString(const std::string &s) : std::string(s) {}
    CharString(std::string &&s) : std::string(std::move(s)) {}
    using std::string::operator=;
    size_t GetSize() const { return size(); }
};
using IA5String = CharString;
using NumericString = CharString;
using PrintableString = CharString;
using GeneralString = CharString;

/** BMPString as UCS-2 code units. */
class BMPString : public std::u16string {
  public:
    using std::u16string::u16string;
    BMPString() = default;
    BMPString(const std::u16string &s) : std::u16string(s) {}
    using std::u16string::operator=;
    /** Widens 8-bit text (each byte one character, as Latin-1). */
    static BMPString FromLatin1(std::string_view s);
    /** Narrows to 8-bit text; characters above 0xFF become '?'. */
    std::string ToLatin1() const;
    size_t GetSize() const { return size(); }
};

/** SEQUENCE OF / SET OF. */
template <class T> class Array {
  public:
    using value_type = T;
    size_t GetSize() const { return items_.size(); }
    void SetSize(size_t n) { items_.resize(n); }
    size_t size() const { return items_.size(); }
    bool empty() const { return items_.empty(); }
    void resize(size_t n) { items_.resize(n); }
    void clear() { items_.clear(); }
    void reserve(size_t n) { items_.reserve(n); }
    T &operator[](size_t i) { return items_[i]; }
    const T &operator[](size_t i) const { return items_[i]; }
    T &push_back(const T &v) { return items_.emplace_back(v); }
    T &push_back(T &&v) { return items_.emplace_back(std::move(v)); }
    T &emplace_back() { return items_.emplace_back(); }
    auto begin() { return items_.begin(); }
    auto end() { return items_.end(); }
    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }
    std::vector<T> &items() { return items_; }
    const std::vector<T> &items() const { return items_; }

  private:
    std::vector<T> items_;
};

/** An extension addition or CHOICE alternative this build does not know, kept as received. */
struct UnknownExtension {
    uint32_t index = 0;         // position among the extension additions
    std::vector<uint8_t> bytes; // the open type's content octets
    bool operator==(const UnknownExtension &) const = default;
};

/** Base of every generated SEQUENCE: presence of optional fields and extension additions. */
class Sequence {
  public:
    bool HasOptionalField(unsigned field) const
    {
        return field < 128 && (present_[field / 64] >> (field % 64)) & 1u;
    }
    void IncludeOptionalField(unsigned field)
    {
        if (field < 128)
            present_[field / 64] |= uint64_t(1) << (field % 64);
    }
    void RemoveOptionalField(unsigned field)
    {
        if (field < 128)
            present_[field / 64] &= ~(uint64_t(1) << (field % 64));
    }
    /** Extension additions from a newer peer, re-encoded as received. */
    const std::vector<UnknownExtension> &unknown_extensions() const { return unknown_; }

  private:
    friend struct SequenceAccess;
    uint64_t present_[2] = {0, 0};
    uint32_t ext_bitmap_len_ = 0; // length of the received extension bitmap, 0 if none
    std::vector<UnknownExtension> unknown_;
};

/** Base of every generated CHOICE: the chosen alternative, owned on the heap. */
class Choice {
  public:
    static constexpr unsigned kUnset = ~0u;
    /** The chosen alternative's index (e_<alternative>), kUnset when nothing is chosen. */
    unsigned GetTag() const { return tag_; }
    bool IsSet() const { return tag_ != kUnset; }
    /** Chooses an alternative, creating its default value; false for an unknown index. */
    bool SetTag(unsigned tag);
    /** The encoding of an extension alternative this build does not know. */
    const std::vector<uint8_t> &unknown_alternative() const { return unknown_; }
    const TypeDesc &descriptor() const { return *desc_; }

    Choice(const Choice &o);
    Choice(Choice &&o) noexcept;
    Choice &operator=(const Choice &o);
    Choice &operator=(Choice &&o) noexcept;
    ~Choice();

  protected:
    explicit Choice(const TypeDesc *desc) : desc_(desc) {}
    /** The alternative's value, after choosing it if another one was chosen. */
    void *Select(unsigned tag);
    /** The alternative's value, or a default value of its type when another one is chosen. */
    const void *Get(unsigned tag) const;

  private:
    friend struct ChoiceAccess;
    void Clear();
    const TypeDesc *desc_;
    unsigned tag_ = kUnset;
    void *value_ = nullptr;
    std::vector<uint8_t> unknown_;
};

/** The runtime's view of a value: the base class the codec works on, by kind. */
template <class T>
using storage_t = std::conditional_t<
    std::is_base_of_v<Sequence, T>, Sequence,
    std::conditional_t<
        std::is_base_of_v<Choice, T>, Choice,
        std::conditional_t<std::is_base_of_v<IntegerValue, T>, IntegerValue,
                           std::conditional_t<std::is_base_of_v<EnumeratedValue, T>,
                                              EnumeratedValue, T>>>>;

} // namespace asn1
