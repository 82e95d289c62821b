// Type descriptors: the tables tools/asn1gen emits and the PER codec walks.
#pragma once

#include <h323/asn1/types.h>

#include <cstddef>
#include <cstdint>

namespace asn1 {

enum class Kind : uint8_t {
    Null,
    Boolean,
    Integer,
    Enumerated,
    BitString,
    OctetString,
    ObjectId,
    KnownString,   // IA5String, NumericString, PrintableString: fixed-width characters
    BMPString,
    GeneralString, // length and octets
    Sequence,
    Choice,
    SequenceOf,
};

/** A value or size range from the PER-visible constraints. */
struct Bounds {
    int64_t lb = 0;
    int64_t ub = 0;
    bool has_lb = false;
    bool has_ub = false;
    bool ext = false; // the constraint has an extension marker
    constexpr bool constrained() const { return has_lb && has_ub; }
};

/** The effective permitted alphabet of a known-multiplier string (X.691 30.5). */
struct Alphabet {
    const char *chars; // the characters, in ascending code order
    uint8_t count;
    uint8_t bits;      // aligned character width
    bool indexed;      // characters are sent as indexes into chars
    uint64_t mask[2];  // membership of codes 0..127
};

/** Life cycle of the C++ class holding a value (pointers are to storage_t<T>). */
struct Ops {
    void *(*create)();
    void (*destroy)(void *);
    void *(*clone)(const void *);
    const void *(*default_value)();
    void (*reset)(void *);
};

struct FieldDesc {
    const char *name;
    const TypeDesc *type;
    int16_t presence; // bit for HasOptionalField, -1 for a mandatory root component
    bool extension;   // an extension addition
    bool required = false; // an extension addition without OPTIONAL: present whenever a
                           // later addition is (the sender claims the version that has it)
};

struct SequenceInfo {
    const FieldDesc *fields; // root components, then extension additions
    uint16_t count;
    uint16_t root_count;
    uint16_t root_optional; // presence bits 0..root_optional-1 are the root bitmap
    bool extensible;
    void *(*member)(void *seq, unsigned index);
};

struct AltDesc {
    const char *name;
    const TypeDesc *type;
};

struct ChoiceInfo {
    const AltDesc *alts; // root alternatives, then extension alternatives
    uint16_t count;
    uint16_t root_count;
    bool extensible;
};

struct EnumInfo {
    const int64_t *values;     // root items in ascending order, then extension items
    const char *const *names;  // same order
    uint16_t count;
    uint16_t root_count;
    bool extensible;
};

struct SequenceOfInfo {
    const TypeDesc *element;
    size_t (*size)(const void *);
    void (*resize)(void *, size_t);
    void (*reserve)(void *, size_t);
    void *(*at)(void *, size_t);
};

struct TypeDesc {
    const char *name; // ASN.1 type name, or Parent.field for an inline type
    Kind kind;
    Bounds bounds;    // value range of INTEGER, size range of strings and SEQUENCE OF
    const void *info; // SequenceInfo, ChoiceInfo, EnumInfo, SequenceOfInfo or Alphabet by kind
    const Ops *ops;

    const SequenceInfo &sequence() const { return *static_cast<const SequenceInfo *>(info); }
    const ChoiceInfo &choice() const { return *static_cast<const ChoiceInfo *>(info); }
    const EnumInfo &enumerated() const { return *static_cast<const EnumInfo *>(info); }
    const SequenceOfInfo &sequence_of() const { return *static_cast<const SequenceOfInfo *>(info); }
    const Alphabet &alphabet() const { return *static_cast<const Alphabet *>(info); }
};

template <class T> struct OpsFor {
    using S = storage_t<T>;
    static void *create() { return static_cast<S *>(new T()); }
    static void destroy(void *p) { delete static_cast<T *>(static_cast<S *>(p)); }
    static void *clone(const void *p)
    {
        return static_cast<S *>(new T(*static_cast<const T *>(static_cast<const S *>(p))));
    }
    static const void *default_value()
    {
        static const T value;
        return static_cast<const S *>(&value);
    }
    static void reset(void *p) { *static_cast<T *>(static_cast<S *>(p)) = T(); }
    static constexpr Ops ops = {&create, &destroy, &clone, &default_value, &reset};
};

template <class T> struct SequenceOfOps {
    static size_t size(const void *p) { return static_cast<const Array<T> *>(p)->size(); }
    static void resize(void *p, size_t n) { static_cast<Array<T> *>(p)->resize(n); }
    static void reserve(void *p, size_t n) { static_cast<Array<T> *>(p)->reserve(n); }
    static void *at(void *p, size_t i)
    {
        return static_cast<storage_t<T> *>(&(*static_cast<Array<T> *>(p))[i]);
    }
};

/** The storage pointer of a value for the codec. */
template <class T> void *storage_of(T &v) { return static_cast<storage_t<T> *>(&v); }
template <class T> const void *storage_of(const T &v)
{
    return static_cast<const storage_t<T> *>(&v);
}

} // namespace asn1
