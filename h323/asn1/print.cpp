// Text dump of ASN.1 values for logs and test failure messages.
#include <h323/asn1/access.h>
#include <h323/asn1/per.h>

#include <cstdio>

namespace asn1 {
namespace {

void hex(std::string &out, const uint8_t *p, size_t n)
{
    char buf[4];
    out += "'";
    for (size_t i = 0; i < n; i++) {
        std::snprintf(buf, sizeof buf, "%02x", p[i]);
        out += buf;
    }
    out += "'H";
}

void print(std::string &out, const TypeDesc &d, const void *v, int indent)
{
    std::string pad(size_t(indent) * 2, ' ');
    switch (d.kind) {
    case Kind::Null:
        out += "NULL";
        return;
    case Kind::Boolean:
        out += static_cast<const Boolean *>(v)->value ? "TRUE" : "FALSE";
        return;
    case Kind::Integer:
        out += std::to_string(static_cast<const IntegerValue *>(v)->value);
        return;
    case Kind::Enumerated: {
        const EnumInfo &e = d.enumerated();
        int64_t val = static_cast<const EnumeratedValue *>(v)->value;
        for (unsigned i = 0; i < e.count; i++)
            if (e.values[i] == val) {
                out += e.names[i];
                return;
            }
        out += std::to_string(val);
        return;
    }
    case Kind::BitString: {
        const auto &b = *static_cast<const BitString *>(v);
        out += std::to_string(b.GetSize()) + " bits ";
        hex(out, b.bytes().data(), b.bytes().size());
        return;
    }
    case Kind::OctetString: {
        const auto &o = *static_cast<const OctetString *>(v);
        out += std::to_string(o.size()) + " octets ";
        hex(out, o.data(), o.size());
        return;
    }
    case Kind::ObjectId:
        out += static_cast<const ObjectId *>(v)->AsString();
        return;
    case Kind::KnownString:
    case Kind::GeneralString:
        out += "\"" + *static_cast<const CharString *>(v) + "\"";
        return;
    case Kind::BMPString:
        out += "\"" + static_cast<const BMPString *>(v)->ToLatin1() + "\"";
        return;
    case Kind::Sequence: {
        const SequenceInfo &si = d.sequence();
        const auto &s = *static_cast<const Sequence *>(v);
        out += "{\n";
        for (unsigned i = 0; i < si.count; i++) {
            const FieldDesc &f = si.fields[i];
            if (f.presence >= 0 && !s.HasOptionalField(f.presence))
                continue;
            out += pad + "  " + f.name + " = ";
            print(out, *f.type, si.member(const_cast<Sequence *>(&s), i), indent + 1);
            out += "\n";
        }
        for (const auto &u : s.unknown_extensions()) {
            out += pad + "  [extension " + std::to_string(u.index) + "] = ";
            hex(out, u.bytes.data(), u.bytes.size());
            out += "\n";
        }
        out += pad + "}";
        return;
    }
    case Kind::Choice: {
        const ChoiceInfo &ci = d.choice();
        const auto &c = *static_cast<const Choice *>(v);
        if (!c.IsSet()) {
            out += "<unset>";
        } else if (c.GetTag() < ci.count) {
            out += std::string(ci.alts[c.GetTag()].name) + " ";
            print(out, *ci.alts[c.GetTag()].type, ChoiceAccess::value(c), indent);
        } else {
            out += "[extension " + std::to_string(c.GetTag()) + "] ";
            hex(out, c.unknown_alternative().data(), c.unknown_alternative().size());
        }
        return;
    }
    case Kind::SequenceOf: {
        const SequenceOfInfo &so = d.sequence_of();
        size_t n = so.size(v);
        out += std::to_string(n) + " entries {\n";
        for (size_t i = 0; i < n; i++) {
            out += pad + "  [" + std::to_string(i) + "] ";
            print(out, *so.element, so.at(const_cast<void *>(v), i), indent + 1);
            out += "\n";
        }
        out += pad + "}";
        return;
    }
    }
}

} // namespace

const char *error_name(Error e)
{
    switch (e) {
    case Error::none: return "no error";
    case Error::truncated: return "truncated";
    case Error::bad_length: return "bad length";
    case Error::bad_value: return "value outside its constraint";
    case Error::bad_choice: return "bad choice index";
    case Error::too_deep: return "nested too deeply";
    case Error::too_large: return "count too large for the input";
    case Error::unsupported: return "unsupported encoding";
    case Error::not_set: return "choice not set";
    case Error::missing: return "mandatory extension addition missing";
    }
    return "unknown error";
}

std::string Result::message() const
{
    if (ok())
        return "ok";
    return std::string(error_name(error)) + " at bit " + std::to_string(bit_pos) + " in " + path;
}

std::string to_text(const TypeDesc &desc, const void *value)
{
    std::string out = std::string(desc.name) + " ";
    print(out, desc, value, 0);
    return out;
}

} // namespace asn1
