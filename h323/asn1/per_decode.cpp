// Aligned PER decoder (X.691 clauses 10-30) driven by type descriptors; every length is
// checked against the input before anything is allocated.
#include <h323/asn1/access.h>
#include <h323/asn1/bits.h>
#include <h323/asn1/per.h>
#include <h323/asn1/per_common.h>

namespace asn1 {
namespace {

class Decoder {
  public:
    Decoder(const uint8_t *data, size_t size, size_t base_bit, int depth)
        : r_(data, size), base_(base_bit), depth_(depth)
    {
    }

    Result result;

    bool value(const TypeDesc &d, void *v);
    size_t bit_pos() const { return r_.bit_pos(); }

  private:
    bool fail(Error e)
    {
        result.error = e;
        result.bit_pos = base_ + r_.bit_pos();
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

    bool bits(unsigned n, uint64_t &v) { return r_.get_bits(n, v) || fail(Error::truncated); }
    bool bit(bool &b) { return r_.get_bit(b) || fail(Error::truncated); }
    bool align() { return r_.align() || fail(Error::truncated); }

    bool constrained(uint64_t rm1, uint64_t &off);
    bool normally_small(uint64_t &n);
    /** Reads an unconstrained length; more is set for a fragment (16K to 64K units). */
    bool unconstrained_length(size_t &n, bool &more);
    /** Reads fragmented content; get(count) consumes count units. */
    template <class F> bool fragmented(size_t max_units, F get);
    /** Reads the extension bit of an extensible size constraint. */
    bool root_length(const Bounds &s, bool &in_root);
    bool open_type(std::vector<uint8_t> &scratch, const uint8_t *&p, size_t &n, size_t &at);
    bool open_value(const TypeDesc &d, void *v);

    bool integer(const TypeDesc &d, int64_t &v);
    bool enumerated(const TypeDesc &d, int64_t &v);
    bool bit_string(const TypeDesc &d, BitString &v);
    bool octets(const TypeDesc &d, std::vector<uint8_t> &v, size_t fixed_unaligned_max);
    bool object_id(ObjectId &v);
    bool known_string(const TypeDesc &d, std::string &v);
    bool bmp_string(const TypeDesc &d, std::u16string &v);
    bool sequence(const TypeDesc &d, Sequence &v);
    bool choice(const TypeDesc &d, Choice &v);
    bool sequence_of(const TypeDesc &d, void *v);

    BitReader r_;
    size_t base_;
    int depth_;
};

bool Decoder::constrained(uint64_t rm1, uint64_t &off)
{
    off = 0;
    if (rm1 == 0)
        return true;
    if (rm1 < 255) {
        if (!bits(bits_for(rm1), off))
            return false;
    } else if (rm1 == 255) {
        if (!align() || !bits(8, off))
            return false;
    } else if (rm1 < 65536) {
        if (!align() || !bits(16, off))
            return false;
    } else {
        uint64_t n1;
        if (!constrained(octets_for(rm1) - 1, n1) || !align() || !bits(8 * unsigned(n1 + 1), off))
            return false;
    }
    return off <= rm1 || fail(Error::bad_value);
}

bool Decoder::normally_small(uint64_t &n)
{
    bool big;
    if (!bit(big))
        return false;
    if (!big)
        return bits(6, n);
    size_t len;
    bool more;
    if (!unconstrained_length(len, more))
        return false;
    if (more || len == 0)
        return fail(Error::bad_length);
    if (len > 8)
        return fail(Error::unsupported);
    return align() && bits(8 * unsigned(len), n);
}

bool Decoder::unconstrained_length(size_t &n, bool &more)
{
    uint64_t b = 0;
    more = false;
    if (!align() || !bits(8, b))
        return false;
    if (!(b & 0x80)) {
        n = b;
    } else if (!(b & 0x40)) {
        uint64_t lo;
        if (!bits(8, lo))
            return false;
        n = ((b & 0x3f) << 8) | lo;
    } else {
        uint64_t m = b & 0x3f;
        if (m < 1 || m > 4)
            return fail(Error::bad_length);
        n = m * kFragment;
        more = true;
    }
    return true;
}

template <class F> bool Decoder::fragmented(size_t max_units, F get)
{
    size_t total = 0;
    for (;;) {
        size_t n;
        bool more;
        if (!unconstrained_length(n, more))
            return false;
        total += n;
        if (total > max_units)
            return fail(Error::too_large);
        if (!get(n))
            return false;
        if (!more)
            return true;
    }
}

bool Decoder::root_length(const Bounds &s, bool &in_root)
{
    in_root = true;
    if (s.ext && !bit(in_root))
        return false;
    if (s.ext)
        in_root = !in_root;
    return true;
}

/** Reads an open type's octets; p points into the input or into scratch when fragmented. */
bool Decoder::open_type(std::vector<uint8_t> &scratch, const uint8_t *&p, size_t &n, size_t &at)
{
    size_t len;
    bool more;
    if (!unconstrained_length(len, more))
        return false;
    at = base_ + r_.bit_pos();
    if (!more) {
        n = len;
        return r_.get_bytes(len, p) || fail(Error::bad_length);
    }
    const uint8_t *chunk;
    if (!r_.get_bytes(len, chunk))
        return fail(Error::bad_length);
    scratch.assign(chunk, chunk + len);
    bool ok = fragmented(r_.bits_left() / 8 + scratch.size(), [&](size_t k) {
        if (!r_.get_bytes(k, chunk))
            return fail(Error::bad_length);
        scratch.insert(scratch.end(), chunk, chunk + k);
        return true;
    });
    if (!ok)
        return false;
    p = scratch.data();
    n = scratch.size();
    return true;
}

bool Decoder::open_value(const TypeDesc &d, void *v)
{
    std::vector<uint8_t> scratch;
    const uint8_t *p;
    size_t n, at;
    if (!open_type(scratch, p, n, at))
        return false;
    Decoder sub(p, n, at, depth_);
    if (!sub.value(d, v)) {
        result = std::move(sub.result);
        return false;
    }
    return true;
}

bool Decoder::integer(const TypeDesc &d, int64_t &v)
{
    const Bounds &b = d.bounds;
    bool in_root = true;
    if (b.ext) {
        bool e;
        if (!bit(e))
            return false;
        in_root = !e;
    }
    if (in_root && b.constrained()) {
        uint64_t off;
        if (!constrained(uint64_t(b.ub) - uint64_t(b.lb), off))
            return false;
        v = int64_t(uint64_t(b.lb) + off);
        return true;
    }
    size_t len;
    bool more;
    if (!unconstrained_length(len, more))
        return false;
    if (more || len == 0)
        return fail(Error::bad_length);
    if (len > 8)
        return fail(Error::unsupported);
    uint64_t raw;
    if (!bits(8 * unsigned(len), raw))
        return false;
    if (in_root && b.has_lb) {
        if (raw > uint64_t(kMaxInt) - uint64_t(b.lb >= 0 ? b.lb : 0))
            return fail(Error::unsupported);
        v = int64_t(uint64_t(b.lb) + raw);
    } else {
        if (len < 8 && (raw >> (8 * len - 1)) & 1)
            raw |= ~uint64_t(0) << (8 * len);
        v = int64_t(raw);
    }
    return true;
}

bool Decoder::enumerated(const TypeDesc &d, int64_t &v)
{
    const EnumInfo &e = d.enumerated();
    bool ext = false;
    if (e.extensible && !bit(ext))
        return false;
    uint64_t idx;
    if (!ext) {
        if (!constrained(e.root_count - 1, idx))
            return false;
    } else {
        if (!normally_small(idx))
            return false;
        idx += e.root_count;
        if (idx >= e.count) {
            v = -1 - int64_t(idx - e.root_count); // an unknown extension item, kept apart
            return true;
        }
    }
    v = e.values[idx];
    return true;
}

bool Decoder::bit_string(const TypeDesc &d, BitString &v)
{
    const Bounds &s = d.bounds;
    size_t n = 0;
    bool in_root;
    if (!root_length(s, in_root))
        return false;
    std::vector<uint8_t> buf;
    size_t total = 0;
    auto get = [&](size_t count) {
        if (count > r_.bits_left())
            return fail(Error::bad_length);
        buf.resize((total + count + 7) / 8);
        for (size_t i = 0; i < count; i++) {
            uint64_t b = 0;
            r_.get_bits(1, b);
            if (b)
                buf[(total + i) / 8] |= static_cast<uint8_t>(0x80u >> ((total + i) % 8));
        }
        total += count;
        return true;
    };
    if (in_root && s.constrained() && s.lb == s.ub && s.ub < 65536) {
        if (s.ub > 16 && !align())
            return false;
        if (!get(size_t(s.ub)))
            return false;
    } else if (in_root && s.constrained() && s.ub < 65536) {
        uint64_t off;
        if (!constrained(uint64_t(s.ub - s.lb), off))
            return false;
        n = size_t(s.lb) + off;
        if (n && !align())
            return false;
        if (!get(n))
            return false;
    } else {
        bool ok = fragmented(r_.bits_left(), [&](size_t count) {
            if (count && !align())
                return false;
            return get(count);
        });
        if (!ok)
            return false;
    }
    v.assign(buf.data(), total);
    return true;
}

bool Decoder::octets(const TypeDesc &d, std::vector<uint8_t> &v, size_t fixed_unaligned_max)
{
    const Bounds &s = d.bounds;
    size_t n = 0;
    bool in_root;
    if (!root_length(s, in_root))
        return false;
    v.clear();
    const uint8_t *p;
    if (in_root && s.constrained() && s.lb == s.ub && s.ub < 65536) {
        n = size_t(s.ub);
        if (n > fixed_unaligned_max && !align())
            return false;
        if (n * 8 > r_.bits_left())
            return fail(Error::truncated);
        v.resize(n);
        for (size_t i = 0; i < n; i++) {
            uint64_t b = 0;
            r_.get_bits(8, b);
            v[i] = static_cast<uint8_t>(b);
        }
        return true;
    }
    if (in_root && s.constrained() && s.ub < 65536) {
        uint64_t off;
        if (!constrained(uint64_t(s.ub - s.lb), off))
            return false;
        n = size_t(s.lb) + off;
        if (n && !align())
            return false;
        if (!r_.get_bytes(n, p))
            return fail(Error::truncated);
        v.assign(p, p + n);
        return true;
    }
    return fragmented(r_.bits_left() / 8, [&](size_t count) {
        if (count && !align())
            return false;
        if (!r_.get_bytes(count, p))
            return fail(Error::truncated);
        v.insert(v.end(), p, p + count);
        return true;
    });
}

bool Decoder::object_id(ObjectId &v)
{
    size_t n;
    bool more;
    if (!unconstrained_length(n, more))
        return false;
    if (more || n == 0)
        return fail(Error::bad_length);
    const uint8_t *p;
    if (!r_.get_bytes(n, p))
        return fail(Error::truncated);
    v.clear();
    uint64_t arc = 0;
    unsigned arc_len = 0;
    for (size_t i = 0; i < n; i++) {
        if (arc_len == 0 && p[i] == 0x80)
            return fail(Error::bad_value); // a leading zero group
        arc = (arc << 7) | (p[i] & 0x7f);
        if (++arc_len > 5 || arc > 0xffffffffu + uint64_t(80))
            return fail(Error::unsupported);
        if (p[i] & 0x80)
            continue;
        if (v.empty()) {
            unsigned first = arc < 40 ? 0 : arc < 80 ? 1 : 2;
            v.push_back(first);
            v.push_back(static_cast<uint32_t>(arc - 40 * first));
        } else {
            v.push_back(static_cast<uint32_t>(arc));
        }
        arc = 0;
        arc_len = 0;
    }
    return arc_len == 0 || fail(Error::bad_value);
}

bool Decoder::known_string(const TypeDesc &d, std::string &v)
{
    const Alphabet &a = d.alphabet();
    const Bounds &s = d.bounds;
    size_t n = 0;
    bool in_root;
    if (!root_length(s, in_root))
        return false;
    v.clear();
    auto get = [&](size_t count) {
        if (count > r_.bits_left() / a.bits)
            return fail(Error::truncated);
        for (size_t i = 0; i < count; i++) {
            uint64_t c = 0;
            r_.get_bits(a.bits, c);
            if (a.indexed) {
                if (c >= a.count)
                    return fail(Error::bad_value);
                c = static_cast<unsigned char>(a.chars[c]);
            }
            v.push_back(static_cast<char>(c));
        }
        return true;
    };
    if (in_root && s.constrained() && s.ub < 65536) {
        bool aligned = uint64_t(s.ub) * a.bits > 16;
        n = size_t(s.lb);
        if (s.lb != s.ub) {
            uint64_t off;
            if (!constrained(uint64_t(s.ub - s.lb), off))
                return false;
            n += off;
        }
        if (aligned && n && !align())
            return false;
        return get(n);
    }
    return fragmented(r_.bits_left() / a.bits, [&](size_t count) {
        if (count && !align())
            return false;
        return get(count);
    });
}

bool Decoder::bmp_string(const TypeDesc &d, std::u16string &v)
{
    const Bounds &s = d.bounds;
    size_t n = 0;
    bool in_root;
    if (!root_length(s, in_root))
        return false;
    v.clear();
    auto get = [&](size_t count) {
        if (count > r_.bits_left() / 16)
            return fail(Error::truncated);
        for (size_t i = 0; i < count; i++) {
            uint64_t c = 0;
            r_.get_bits(16, c);
            v.push_back(static_cast<char16_t>(c));
        }
        return true;
    };
    if (in_root && s.constrained() && s.ub < 65536) {
        n = size_t(s.lb);
        if (s.lb != s.ub) {
            uint64_t off;
            if (!constrained(uint64_t(s.ub - s.lb), off))
                return false;
            n += off;
        }
        if (s.ub > 1 && n && !align())
            return false;
        return get(n);
    }
    return fragmented(r_.bits_left() / 16, [&](size_t count) {
        if (count && !align())
            return false;
        return get(count);
    });
}

bool Decoder::sequence(const TypeDesc &d, Sequence &v)
{
    const SequenceInfo &si = d.sequence();
    SequenceAccess::clear_presence(v);
    bool ext_present = false;
    if (si.extensible && !bit(ext_present))
        return false;
    for (unsigned i = 0; i < si.root_count; i++) {
        const FieldDesc &f = si.fields[i];
        if (f.presence < 0)
            continue;
        bool present;
        if (!bit(present))
            return false;
        if (present)
            v.IncludeOptionalField(f.presence);
    }
    for (unsigned i = 0; i < si.root_count; i++) {
        const FieldDesc &f = si.fields[i];
        if (f.presence >= 0 && !v.HasOptionalField(f.presence))
            continue;
        if (!value(*f.type, si.member(&v, i)))
            return fail_in(f.name);
    }
    if (!ext_present)
        return true;
    uint64_t n;
    bool big;
    if (!bit(big))
        return false;
    if (!big) {
        if (!bits(6, n))
            return false;
        n += 1;
    } else {
        size_t len;
        bool more;
        if (!unconstrained_length(len, more))
            return false;
        if (more || len == 0)
            return fail(Error::bad_length);
        n = len;
    }
    if (n > r_.bits_left())
        return fail(Error::truncated);
    // The bitmap comes first, then one open type for each bit set.
    uint64_t small[4] = {0, 0, 0, 0};
    std::vector<uint64_t> large;
    uint64_t *map = small;
    if (n > 256) {
        large.assign((n + 63) / 64, 0);
        map = large.data();
    }
    for (uint64_t j = 0; j < n; j++) {
        bool b = false;
        bit(b);
        if (b)
            map[j / 64] |= uint64_t(1) << (j % 64);
    }
    uint32_t ext_count = si.count - si.root_count;
    SequenceAccess::ext_bitmap_len(v) = static_cast<uint32_t>(n);
    for (uint64_t j = 0; j < n; j++) {
        if (!((map[j / 64] >> (j % 64)) & 1))
            continue;
        if (j < ext_count) {
            const FieldDesc &f = si.fields[si.root_count + j];
            if (!open_value(*f.type, si.member(&v, si.root_count + unsigned(j))))
                return fail_in(f.name);
            v.IncludeOptionalField(si.root_optional + unsigned(j));
        } else {
            std::vector<uint8_t> scratch;
            const uint8_t *p;
            size_t len, at;
            if (!open_type(scratch, p, len, at))
                return false;
            SequenceAccess::unknown(v).push_back({uint32_t(j), std::vector<uint8_t>(p, p + len)});
        }
    }
    return true;
}

bool Decoder::choice(const TypeDesc &d, Choice &v)
{
    const ChoiceInfo &ci = d.choice();
    ChoiceAccess::clear(v);
    bool ext = false;
    if (ci.extensible && !bit(ext))
        return false;
    uint64_t idx;
    if (!ext) {
        if (!constrained(ci.root_count - 1, idx))
            return result.error == Error::bad_value ? fail(Error::bad_choice) : false;
        void *alt = v.SetTag(unsigned(idx)) ? ChoiceAccess::value(v) : nullptr;
        if (!value(*ci.alts[idx].type, alt))
            return fail_in(ci.alts[idx].name);
        return true;
    }
    if (!normally_small(idx))
        return false;
    idx += ci.root_count;
    if (idx < ci.count) {
        v.SetTag(unsigned(idx));
        if (!open_value(*ci.alts[idx].type, ChoiceAccess::value(v)))
            return fail_in(ci.alts[idx].name);
        return true;
    }
    if (idx > 0xffff)
        return fail(Error::bad_choice);
    std::vector<uint8_t> scratch;
    const uint8_t *p;
    size_t len, at;
    if (!open_type(scratch, p, len, at))
        return false;
    ChoiceAccess::set_unknown(v, unsigned(idx), std::vector<uint8_t>(p, p + len));
    return true;
}

bool Decoder::sequence_of(const TypeDesc &d, void *v)
{
    const SequenceOfInfo &so = d.sequence_of();
    const Bounds &s = d.bounds;
    so.resize(v, 0);
    bool in_root;
    if (!root_length(s, in_root))
        return false;
    size_t done = 0;
    auto get = [&](size_t count) {
        // An element takes at least one bit unless the type is tiny; refuse counts that
        // the remaining input cannot hold before growing the array.
        if (count > r_.bits_left() && count > 1024)
            return fail(Error::too_large);
        so.reserve(v, done + std::min(count, r_.bits_left() + 1));
        for (size_t i = 0; i < count; i++) {
            so.resize(v, done + 1);
            if (!value(*so.element, so.at(v, done)))
                return fail_at_index(done);
            done++;
        }
        return true;
    };
    if (in_root && s.constrained() && s.ub < 65536) {
        size_t n = size_t(s.lb);
        if (s.lb != s.ub) {
            uint64_t off;
            if (!constrained(uint64_t(s.ub - s.lb), off))
                return false;
            n += off;
        }
        return get(n);
    }
    return fragmented(r_.bits_left() + 1024, get);
}

bool Decoder::value(const TypeDesc &d, void *v)
{
    switch (d.kind) {
    case Kind::Null:
        return true;
    case Kind::Boolean:
        return bit(static_cast<Boolean *>(v)->value);
    case Kind::Integer:
        return integer(d, static_cast<IntegerValue *>(v)->value);
    case Kind::Enumerated:
        return enumerated(d, static_cast<EnumeratedValue *>(v)->value);
    case Kind::BitString:
        return bit_string(d, *static_cast<BitString *>(v));
    case Kind::OctetString:
        return octets(d, *static_cast<OctetString *>(v), 2);
    case Kind::ObjectId:
        return object_id(*static_cast<ObjectId *>(v));
    case Kind::KnownString:
        return known_string(d, *static_cast<CharString *>(v));
    case Kind::BMPString:
        return bmp_string(d, *static_cast<BMPString *>(v));
    case Kind::GeneralString: {
        std::vector<uint8_t> tmp;
        if (!octets(d, tmp, 2))
            return false;
        static_cast<CharString *>(v)->assign(tmp.begin(), tmp.end());
        return true;
    }
    case Kind::Sequence:
    case Kind::Choice:
    case Kind::SequenceOf:
        break;
    }
    if (++depth_ > kMaxDepth)
        return fail(Error::too_deep);
    bool ok = d.kind == Kind::Sequence ? sequence(d, *static_cast<Sequence *>(v))
              : d.kind == Kind::Choice ? choice(d, *static_cast<Choice *>(v))
                                       : sequence_of(d, v);
    depth_--;
    return ok;
}

} // namespace

Result decode(const TypeDesc &desc, const uint8_t *data, size_t size, void *value,
              size_t *bits_used)
{
    Decoder dec(data, size, 0, 0);
    if (!dec.value(desc, value)) {
        Result r = std::move(dec.result);
        r.path = r.path.empty() || r.path[0] == '[' ? desc.name + r.path
                                                    : std::string(desc.name) + "." + r.path;
        desc.ops->reset(value);
        return r;
    }
    if (bits_used)
        *bits_used = dec.bit_pos();
    return {};
}

} // namespace asn1
