// Value classes of the ASN.1 runtime: strings, object identifiers, CHOICE ownership.
#include <h323/asn1/descriptor.h>
#include <h323/asn1/types.h>

#include <charconv>

namespace asn1 {

void BitString::SetSize(size_t bits)
{
    bytes_.resize((bits + 7) / 8);
    bits_ = bits;
    if (bits % 8)
        bytes_.back() &= static_cast<uint8_t>(0xff00u >> (bits % 8));
}

void BitString::Set(size_t i, bool on)
{
    if (i >= bits_)
        SetSize(i + 1);
    uint8_t mask = static_cast<uint8_t>(0x80u >> (i % 8));
    if (on)
        bytes_[i / 8] |= mask;
    else
        bytes_[i / 8] &= static_cast<uint8_t>(~mask);
}

void BitString::assign(const uint8_t *data, size_t bits)
{
    bytes_.assign(data, data + (bits + 7) / 8);
    bits_ = bits;
    SetSize(bits);
}

ObjectId::ObjectId(std::string_view dotted)
{
    size_t i = 0;
    while (i < dotted.size()) {
        uint32_t arc = 0;
        auto [p, ec] = std::from_chars(dotted.data() + i, dotted.data() + dotted.size(), arc);
        if (ec != std::errc() || p == dotted.data() + i) {
            clear();
            return;
        }
        push_back(arc);
        i = static_cast<size_t>(p - dotted.data());
        if (i < dotted.size()) {
            if (dotted[i] != '.' || i + 1 == dotted.size()) {
                clear();
                return;
            }
            i++;
        }
    }
}

std::string ObjectId::AsString() const
{
    std::string s;
    for (size_t i = 0; i < size(); i++) {
        if (i)
            s += '.';
        s += std::to_string((*this)[i]);
    }
    return s;
}

BMPString BMPString::FromLatin1(std::string_view s)
{
    BMPString r;
    r.reserve(s.size());
    for (unsigned char c : s)
        r.push_back(c);
    return r;
}

std::string BMPString::ToLatin1() const
{
    std::string r;
    r.reserve(size());
    for (char16_t c : *this)
        r.push_back(c <= 0xff ? static_cast<char>(c) : '?');
    return r;
}

bool Choice::SetTag(unsigned tag)
{
    return Select(tag) != nullptr;
}

void *Choice::Select(unsigned tag)
{
    const ChoiceInfo &ci = desc_->choice();
    if (tag >= ci.count)
        return nullptr;
    if (tag_ != tag) {
        Clear();
        value_ = ci.alts[tag].type->ops->create();
        tag_ = tag;
    }
    return value_;
}

const void *Choice::Get(unsigned tag) const
{
    const ChoiceInfo &ci = desc_->choice();
    if (tag_ == tag && value_)
        return value_;
    return ci.alts[tag < ci.count ? tag : 0].type->ops->default_value();
}

void Choice::Clear()
{
    if (value_)
        desc_->choice().alts[tag_].type->ops->destroy(value_);
    value_ = nullptr;
    tag_ = kUnset;
    unknown_.clear();
}

Choice::Choice(const Choice &o) : desc_(o.desc_), tag_(o.tag_), unknown_(o.unknown_)
{
    if (o.value_)
        value_ = desc_->choice().alts[tag_].type->ops->clone(o.value_);
}

Choice::Choice(Choice &&o) noexcept
    : desc_(o.desc_), tag_(o.tag_), value_(o.value_), unknown_(std::move(o.unknown_))
{
    o.value_ = nullptr;
    o.tag_ = kUnset;
}

Choice &Choice::operator=(const Choice &o)
{
    if (this != &o) {
        Choice copy(o);
        *this = std::move(copy);
    }
    return *this;
}

Choice &Choice::operator=(Choice &&o) noexcept
{
    if (this != &o) {
        Clear();
        desc_ = o.desc_;
        tag_ = o.tag_;
        value_ = o.value_;
        unknown_ = std::move(o.unknown_);
        o.value_ = nullptr;
        o.tag_ = kUnset;
    }
    return *this;
}

Choice::~Choice()
{
    Clear();
}

} // namespace asn1
