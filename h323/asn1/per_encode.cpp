// Aligned PER encoder (X.691 clauses 10-30) driven by type descriptors.
#include <h323/asn1/access.h>
#include <h323/asn1/bits.h>
#include <h323/asn1/per.h>
#include <h323/asn1/per_common.h>

#include <cstring>

namespace asn1 {
namespace {

class Encoder {
  public:
    explicit Encoder(std::vector<uint8_t> &out) : w_(out) {}

    Result result;

    bool value(const TypeDesc &d, const void *v);
    BitWriter &writer() { return w_; }

  private:
    bool fail(Error e)
    {
        result.error = e;
        result.bit_pos = w_.bit_pos();
        return false;
    }
    bool fail_in(const char *label)
    {
        result.path = result.path.empty() || result.path[0] == '['
                          ? std::string(label) + result.path
                          : std::string(label) + "." + result.path;
        return false;
    }
    bool fail_at_index(size_t i)
    {
        result.path = "[" + std::to_string(i) + "]" +
                      (result.path.empty() || result.path[0] == '[' ? "" : ".") + result.path;
        return false;
    }

    void constrained(uint64_t off, uint64_t range_minus_1);
    void normally_small(uint64_t n);
    void unconstrained_length(size_t n);
    /** Length-prefixed content in fragments (X.691 10.9.3.8); put(first, count) writes units. */
    template <class F> void fragmented(size_t n, F put);
    bool length(size_t n, const Bounds &size, bool &in_root);
    bool open_type(const TypeDesc &d, const void *v);
    void open_bytes(const uint8_t *p, size_t n);

    bool integer(const TypeDesc &d, int64_t v);
    bool enumerated(const TypeDesc &d, int64_t v);
    bool bit_string(const TypeDesc &d, const BitString &v);
    bool octet_string(const TypeDesc &d, const uint8_t *p, size_t n);
    bool object_id(const ObjectId &v);
    bool known_string(const TypeDesc &d, const std::string &v);
    bool bmp_string(const TypeDesc &d, const std::u16string &v);
    bool sequence(const TypeDesc &d, const Sequence &v);
    bool choice(const TypeDesc &d, const Choice &v);
    bool sequence_of(const TypeDesc &d, const void *v);

    BitWriter w_;
    int depth_ = 0;
};

void Encoder::constrained(uint64_t off, uint64_t rm1)
{
    if (rm1 == 0)
        return;
    if (rm1 < 255) {
        w_.put_bits(off, bits_for(rm1));
    } else if (rm1 == 255) {
        w_.align();
        w_.put_bits(off, 8);
    } else if (rm1 < 65536) {
        w_.align();
        w_.put_bits(off, 16);
    } else {
        unsigned max_octets = octets_for(rm1);
        unsigned n = octets_for(off);
        constrained(n - 1, max_octets - 1);
        w_.align();
        w_.put_bits(off, 8 * n);
    }
}

void Encoder::normally_small(uint64_t n)
{
    if (n <= 63) {
        w_.put_bits(n, 7);
    } else {
        w_.put_bit(true);
        unsigned octets = octets_for(n);
        unconstrained_length(octets);
        w_.align();
        w_.put_bits(n, 8 * octets);
    }
}

void Encoder::unconstrained_length(size_t n)
{
    w_.align();
    if (n < 128)
        w_.put_bits(n, 8);
    else
        w_.put_bits(0x8000 | n, 16);
}

template <class F> void Encoder::fragmented(size_t n, F put)
{
    size_t done = 0;
    while (n - done >= kFragment) {
        size_t m = std::min<size_t>(4, (n - done) / kFragment);
        w_.align();
        w_.put_bits(0xC0 | m, 8);
        put(done, m * kFragment);
        done += m * kFragment;
    }
    unconstrained_length(n - done);
    put(done, n - done);
}

/** Writes the extension bit and a constrained length; false if n breaks a closed constraint. */
bool Encoder::length(size_t n, const Bounds &size, bool &in_root)
{
    in_root = !size.has_lb || (int64_t(n) >= size.lb && (!size.has_ub || int64_t(n) <= size.ub));
    if (size.ext)
        w_.put_bit(!in_root);
    else if (!in_root)
        return fail(Error::bad_length);
    return true;
}

void Encoder::open_bytes(const uint8_t *p, size_t n)
{
    fragmented(n, [&](size_t first, size_t count) {
        w_.align();
        w_.put_bytes(p + first, count);
    });
}

bool Encoder::open_type(const TypeDesc &d, const void *v)
{
    // The value is encoded in place after a two-octet placeholder; the length is then
    // written in front, moving the body when the length takes one octet or fragments.
    w_.align();
    std::vector<uint8_t> &buf = w_.buffer();
    size_t hdr = buf.size();
    buf.push_back(0);
    buf.push_back(0);
    Encoder sub(buf);
    sub.depth_ = depth_;
    if (!sub.value(d, v)) {
        result = std::move(sub.result);
        return false;
    }
    size_t body = hdr + 2;
    size_t len = buf.size() - body;
    if (len == 0) {
        buf.push_back(0);
        len = 1;
    }
    if (len < 128) {
        buf[hdr] = static_cast<uint8_t>(len);
        buf.erase(buf.begin() + static_cast<long>(hdr + 1));
    } else if (len < kFragment) {
        buf[hdr] = static_cast<uint8_t>(0x80 | (len >> 8));
        buf[hdr + 1] = static_cast<uint8_t>(len & 0xff);
    } else {
        std::vector<uint8_t> content(buf.begin() + static_cast<long>(body), buf.end());
        buf.resize(hdr);
        w_.sync_to_end();
        open_bytes(content.data(), content.size());
        return true;
    }
    w_.sync_to_end();
    return true;
}

bool Encoder::integer(const TypeDesc &d, int64_t v)
{
    const Bounds &b = d.bounds;
    bool in_root = (!b.has_lb || v >= b.lb) && (!b.has_ub || v <= b.ub);
    if (b.ext)
        w_.put_bit(!in_root);
    else if (!in_root)
        return fail(Error::bad_value);
    if (in_root && b.constrained()) {
        constrained(uint64_t(v) - uint64_t(b.lb), uint64_t(b.ub) - uint64_t(b.lb));
    } else if (in_root && b.has_lb) {
        uint64_t off = uint64_t(v) - uint64_t(b.lb);
        unsigned n = octets_for(off);
        unconstrained_length(n);
        w_.put_bits(off, 8 * n);
    } else {
        unsigned n = signed_octets_for(v);
        unconstrained_length(n);
        w_.put_bits(uint64_t(v) & (n == 8 ? ~uint64_t(0) : ((uint64_t(1) << (8 * n)) - 1)),
                    8 * n);
    }
    return true;
}

bool Encoder::enumerated(const TypeDesc &d, int64_t v)
{
    const EnumInfo &e = d.enumerated();
    for (unsigned i = 0; i < e.count; i++) {
        if (e.values[i] != v)
            continue;
        bool ext = i >= e.root_count;
        if (e.extensible)
            w_.put_bit(ext);
        if (!ext)
            constrained(i, e.root_count - 1);
        else
            normally_small(i - e.root_count);
        return true;
    }
    return fail(Error::bad_value);
}

bool Encoder::bit_string(const TypeDesc &d, const BitString &v)
{
    size_t n = v.GetSize();
    bool in_root;
    if (!length(n, d.bounds, in_root))
        return false;
    const Bounds &s = d.bounds;
    const uint8_t *p = v.bytes().data();
    auto put = [&](size_t first, size_t count) {
        if (count == 0)
            return;
        for (size_t i = 0; i < count; i++) {
            size_t bit = first + i;
            w_.put_bit((p[bit / 8] >> (7 - bit % 8)) & 1);
        }
    };
    if (in_root && s.constrained() && s.lb == s.ub && s.ub < 65536) {
        if (s.ub > 16)
            w_.align();
        put(0, n);
    } else if (in_root && s.constrained() && s.ub < 65536) {
        constrained(n - s.lb, s.ub - s.lb);
        if (n)
            w_.align();
        put(0, n);
    } else {
        fragmented(n, [&](size_t first, size_t count) {
            if (count)
                w_.align();
            put(first, count);
        });
    }
    return true;
}

bool Encoder::octet_string(const TypeDesc &d, const uint8_t *p, size_t n)
{
    bool in_root;
    if (!length(n, d.bounds, in_root))
        return false;
    const Bounds &s = d.bounds;
    if (in_root && s.constrained() && s.lb == s.ub && s.ub < 65536) {
        if (s.ub > 2)
            w_.align();
        w_.put_bytes(p, n);
    } else if (in_root && s.constrained() && s.ub < 65536) {
        constrained(n - s.lb, s.ub - s.lb);
        if (n)
            w_.align();
        w_.put_bytes(p, n);
    } else {
        fragmented(n, [&](size_t first, size_t count) {
            if (count)
                w_.align();
            w_.put_bytes(p + first, count);
        });
    }
    return true;
}

bool Encoder::object_id(const ObjectId &v)
{
    uint8_t buf[256];
    size_t n = 0;
    if (v.size() < 2 || v[0] > 2 || (v[0] < 2 && v[1] > 39))
        return fail(Error::bad_value);
    auto put_arc = [&](uint64_t arc) {
        uint8_t tmp[10];
        int k = 0;
        do {
            tmp[k++] = static_cast<uint8_t>(arc & 0x7f);
            arc >>= 7;
        } while (arc);
        while (k > 0) {
            if (n >= sizeof buf)
                return false;
            --k;
            buf[n++] = static_cast<uint8_t>(tmp[k] | (k ? 0x80 : 0));
        }
        return true;
    };
    if (!put_arc(uint64_t(v[0]) * 40 + v[1]))
        return fail(Error::bad_value);
    for (size_t i = 2; i < v.size(); i++)
        if (!put_arc(v[i]))
            return fail(Error::bad_value);
    unconstrained_length(n);
    w_.put_bytes(buf, n);
    return true;
}

bool Encoder::known_string(const TypeDesc &d, const std::string &v)
{
    const Alphabet &a = d.alphabet();
    size_t n = v.size();
    bool in_root;
    if (!length(n, d.bounds, in_root))
        return false;
    for (char c : v)
        if (!in_alphabet(a, static_cast<unsigned char>(c)))
            return fail(Error::bad_value);
    const Bounds &s = d.bounds;
    auto put = [&](size_t first, size_t count) {
        for (size_t i = first; i < first + count; i++) {
            unsigned char c = static_cast<unsigned char>(v[i]);
            w_.put_bits(a.indexed ? alphabet_index(a, c) : c, a.bits);
        }
    };
    if (in_root && s.constrained() && s.ub < 65536) {
        bool aligned = uint64_t(s.ub) * a.bits > 16;
        if (s.lb != s.ub)
            constrained(n - s.lb, s.ub - s.lb);
        if (aligned && n)
            w_.align();
        put(0, n);
    } else {
        fragmented(n, [&](size_t first, size_t count) {
            if (count)
                w_.align();
            put(first, count);
        });
    }
    return true;
}

bool Encoder::bmp_string(const TypeDesc &d, const std::u16string &v)
{
    size_t n = v.size();
    bool in_root;
    if (!length(n, d.bounds, in_root))
        return false;
    const Bounds &s = d.bounds;
    auto put = [&](size_t first, size_t count) {
        for (size_t i = first; i < first + count; i++)
            w_.put_bits(v[i], 16);
    };
    if (in_root && s.constrained() && s.ub < 65536) {
        bool aligned = s.ub > 1;
        if (s.lb != s.ub)
            constrained(n - s.lb, s.ub - s.lb);
        if (aligned && n)
            w_.align();
        put(0, n);
    } else {
        fragmented(n, [&](size_t first, size_t count) {
            if (count)
                w_.align();
            put(first, count);
        });
    }
    return true;
}

bool Encoder::sequence(const TypeDesc &d, const Sequence &v)
{
    const SequenceInfo &si = d.sequence();
    void *obj = const_cast<Sequence *>(&v);
    const auto &unknown = SequenceAccess::unknown(const_cast<Sequence &>(v));
    uint32_t ext_count = si.count - si.root_count;
    uint32_t needed = 0;
    for (uint32_t j = 0; j < ext_count; j++)
        if (v.HasOptionalField(si.root_optional + j))
            needed = j + 1;
    for (const auto &u : unknown)
        needed = std::max(needed, u.index + 1);
    // An addition without OPTIONAL belongs to every encoding that has a later addition.
    for (uint32_t j = 0; j + 1 < needed && j < ext_count; j++) {
        const FieldDesc &f = si.fields[si.root_count + j];
        if (f.required && !v.HasOptionalField(si.root_optional + j)) {
            fail(Error::missing);
            return fail_in(f.name);
        }
    }
    uint32_t received = SequenceAccess::ext_bitmap_len(v);
    bool ext_present = needed > 0 || received > 0;
    if (si.extensible)
        w_.put_bit(ext_present);
    for (unsigned i = 0; i < si.root_count; i++)
        if (si.fields[i].presence >= 0)
            w_.put_bit(v.HasOptionalField(si.fields[i].presence));
    for (unsigned i = 0; i < si.root_count; i++) {
        const FieldDesc &f = si.fields[i];
        if (f.presence >= 0 && !v.HasOptionalField(f.presence))
            continue;
        if (!value(*f.type, si.member(obj, i)))
            return fail_in(f.name);
    }
    if (!si.extensible || !ext_present)
        return true;
    uint32_t n = std::max(needed, received ? received : ext_count);
    if (n <= 64) {
        w_.put_bits(n - 1, 7);
    } else {
        w_.put_bit(true);
        unconstrained_length(n);
    }
    auto unknown_at = [&](uint32_t j) -> const UnknownExtension * {
        for (const auto &u : unknown)
            if (u.index == j)
                return &u;
        return nullptr;
    };
    for (uint32_t j = 0; j < n; j++)
        w_.put_bit(j < ext_count ? v.HasOptionalField(si.root_optional + j) : unknown_at(j) != nullptr);
    for (uint32_t j = 0; j < n; j++) {
        if (j < ext_count) {
            if (!v.HasOptionalField(si.root_optional + j))
                continue;
            const FieldDesc &f = si.fields[si.root_count + j];
            if (!open_type(*f.type, si.member(obj, si.root_count + j)))
                return fail_in(f.name);
        } else if (const UnknownExtension *u = unknown_at(j)) {
            open_bytes(u->bytes.data(), u->bytes.size());
        }
    }
    return true;
}

bool Encoder::choice(const TypeDesc &d, const Choice &v)
{
    const ChoiceInfo &ci = d.choice();
    unsigned tag = v.GetTag();
    if (tag == Choice::kUnset)
        return fail(Error::not_set);
    bool ext = tag >= ci.root_count;
    if (ci.extensible)
        w_.put_bit(ext);
    else if (ext)
        return fail(Error::bad_choice);
    if (!ext) {
        constrained(tag, ci.root_count - 1);
        if (!value(*ci.alts[tag].type, ChoiceAccess::value(v)))
            return fail_in(ci.alts[tag].name);
        return true;
    }
    normally_small(tag - ci.root_count);
    if (tag < ci.count) {
        if (!open_type(*ci.alts[tag].type, ChoiceAccess::value(v)))
            return fail_in(ci.alts[tag].name);
    } else {
        const auto &u = v.unknown_alternative();
        open_bytes(u.data(), u.size());
    }
    return true;
}

bool Encoder::sequence_of(const TypeDesc &d, const void *v)
{
    const SequenceOfInfo &so = d.sequence_of();
    void *obj = const_cast<void *>(v);
    size_t n = so.size(v);
    bool in_root;
    if (!length(n, d.bounds, in_root))
        return false;
    const Bounds &s = d.bounds;
    auto put = [&](size_t first, size_t count) {
        for (size_t i = first; i < first + count; i++)
            if (!value(*so.element, so.at(obj, i)))
                return fail_at_index(i);
        return true;
    };
    if (in_root && s.constrained() && s.ub < 65536) {
        if (s.lb != s.ub)
            constrained(n - s.lb, s.ub - s.lb);
        return put(0, n);
    }
    bool ok = true;
    fragmented(n, [&](size_t first, size_t count) {
        if (ok)
            ok = put(first, count);
    });
    return ok;
}

bool Encoder::value(const TypeDesc &d, const void *v)
{
    switch (d.kind) {
    case Kind::Null:
        return true;
    case Kind::Boolean:
        w_.put_bit(static_cast<const Boolean *>(v)->value);
        return true;
    case Kind::Integer:
        return integer(d, static_cast<const IntegerValue *>(v)->value);
    case Kind::Enumerated:
        return enumerated(d, static_cast<const EnumeratedValue *>(v)->value);
    case Kind::BitString:
        return bit_string(d, *static_cast<const BitString *>(v));
    case Kind::OctetString: {
        const auto &o = *static_cast<const OctetString *>(v);
        return octet_string(d, o.data(), o.size());
    }
    case Kind::ObjectId:
        return object_id(*static_cast<const ObjectId *>(v));
    case Kind::KnownString:
        return known_string(d, *static_cast<const CharString *>(v));
    case Kind::BMPString:
        return bmp_string(d, *static_cast<const BMPString *>(v));
    case Kind::GeneralString: {
        const auto &s = *static_cast<const CharString *>(v);
        return octet_string(d, reinterpret_cast<const uint8_t *>(s.data()), s.size());
    }
    case Kind::Sequence:
    case Kind::Choice:
    case Kind::SequenceOf:
        break;
    }
    if (++depth_ > kMaxDepth)
        return fail(Error::too_deep);
    bool ok = d.kind == Kind::Sequence ? sequence(d, *static_cast<const Sequence *>(v))
              : d.kind == Kind::Choice ? choice(d, *static_cast<const Choice *>(v))
                                       : sequence_of(d, v);
    depth_--;
    return ok;
}

} // namespace

Result encode(const TypeDesc &desc, const void *value, std::vector<uint8_t> &out)
{
    out.clear();
    Encoder enc(out);
    if (!enc.value(desc, value)) {
        Result r = std::move(enc.result);
        r.path = r.path.empty() ? desc.name : std::string(desc.name) + "." + r.path;
        out.clear();
        return r;
    }
    if (out.empty())
        out.push_back(0); // an empty encoding is one zero octet (X.691 10.1.3)
    return {};
}

} // namespace asn1
