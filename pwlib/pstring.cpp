// PString and PCaselessString: construction, comparison, searching, slicing and conversion.
#include <pwlib/pstring.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ostream>

namespace
{

bool IsSpace(char ch)
{
    return ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n' || ch == '\f' || ch == '\v';
}

/// A lead byte of a double-byte character in the ANSI code pages in use (GBK, Big5): the
/// byte after it is never an ASCII letter of its own.
bool IsLeadByte(unsigned char ch)
{
    return ch >= 0x81 && ch != 0xff;
}

char FoldLower(char ch)
{
    return ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch - 'A' + 'a') : ch;
}

int CompareCaseless(const char *a, const char *b, size_t count)
{
    bool trail = false;
    for (size_t i = 0; i < count; ++i) {
        unsigned char ca = static_cast<unsigned char>(trail ? a[i] : FoldLower(a[i]));
        unsigned char cb = static_cast<unsigned char>(trail ? b[i] : FoldLower(b[i]));
        if (ca != cb)
            return ca < cb ? -1 : 1;
        trail = !trail && IsLeadByte(static_cast<unsigned char>(a[i]));
    }
    return 0;
}

template <typename Fold> PString MapLetters(const std::string &text, Fold fold)
{
    std::string out(text);
    bool trail = false;
    for (char &ch : out) {
        if (!trail)
            ch = fold(ch);
        trail = !trail && IsLeadByte(static_cast<unsigned char>(ch));
    }
    return PString(std::move(out));
}

} // namespace

PString::PString(const char *cstr) : text_(cstr != nullptr ? cstr : "") {}

PString::PString(const char *cstr, PINDEX len)
{
    if (cstr != nullptr && len > 0)
        text_.assign(cstr, static_cast<size_t>(len));
}

PString::PString(ConversionType type, PInt64 value, unsigned base)
{
    if (base < 2 || base > 36)
        base = 10;
    bool negative = type == Signed && value < 0;
    PUInt64 magnitude = negative ? 0 - static_cast<PUInt64>(value) : static_cast<PUInt64>(value);
    char digits[72];
    size_t pos = sizeof(digits);
    do {
        unsigned digit = static_cast<unsigned>(magnitude % base);
        digits[--pos] = static_cast<char>(digit < 10 ? '0' + digit : 'a' + digit - 10);
        magnitude /= base;
    } while (magnitude != 0);
    if (negative)
        digits[--pos] = '-';
    text_.assign(digits + pos, sizeof(digits) - pos);
}

const PString &PString::Empty()
{
    static const PString empty;
    return empty;
}

PObject *PString::Clone() const
{
    return new PString(*this);
}

PObject::Comparison PString::Compare(const PObject &obj) const
{
    const PString *other = dynamic_cast<const PString *>(&obj);
    if (other == nullptr)
        return PObject::Compare(obj);
    return InternalCompare(*other);
}

void PString::PrintOn(std::ostream &strm) const
{
    strm.write(text_.data(), static_cast<std::streamsize>(text_.size()));
}

char PString::operator[](PINDEX index) const
{
    if (index < 0 || static_cast<size_t>(index) >= text_.size())
        return '\0';
    return text_[static_cast<size_t>(index)];
}

PString PString::operator+(const PString &str) const
{
    return PString(text_ + str.text_);
}

PString PString::operator+(const char *cstr) const
{
    return PString(text_ + (cstr != nullptr ? cstr : ""));
}

PString PString::operator+(char ch) const
{
    return PString(text_ + ch);
}

PString operator+(const char *cstr, const PString &str)
{
    return PString((cstr != nullptr ? cstr : "") + str.text_);
}

PString operator+(char ch, const PString &str)
{
    return PString(ch + str.text_);
}

PString &PString::operator+=(const PString &str)
{
    text_ += str.text_;
    return *this;
}

PString &PString::operator+=(const char *cstr)
{
    if (cstr != nullptr)
        text_ += cstr;
    return *this;
}

PString &PString::operator+=(char ch)
{
    text_ += ch;
    return *this;
}

int PString::CompareBytes(const char *a, const char *b, size_t count) const
{
    return count == 0 ? 0 : std::memcmp(a, b, count);
}

PObject::Comparison PString::InternalCompare(const char *cstr, size_t len) const
{
    size_t common = std::min(len, text_.size());
    int result = CompareBytes(text_.data(), cstr, common);
    if (result == 0)
        return text_.size() == len ? EqualTo : (text_.size() < len ? LessThan : GreaterThan);
    return result < 0 ? LessThan : GreaterThan;
}

PObject::Comparison PString::InternalCompare(const char *cstr) const
{
    if (cstr == nullptr)
        cstr = "";
    return InternalCompare(cstr, std::strlen(cstr));
}

bool PString::operator*=(const char *cstr) const
{
    if (cstr == nullptr)
        cstr = "";
    size_t len = std::strlen(cstr);
    return len == text_.size() && CompareCaseless(text_.data(), cstr, len) == 0;
}

PINDEX PString::Find(char ch, PINDEX offset) const
{
    char pattern[2] = {ch, '\0'};
    if (ch == '\0')
        return P_MAX_INDEX;
    return Find(pattern, offset);
}

PINDEX PString::Find(const char *cstr, PINDEX offset) const
{
    if (cstr == nullptr || *cstr == '\0' || offset < 0)
        return P_MAX_INDEX;
    size_t len = std::strlen(cstr);
    for (size_t pos = static_cast<size_t>(offset); pos + len <= text_.size(); ++pos) {
        if (CompareBytes(text_.data() + pos, cstr, len) == 0)
            return static_cast<PINDEX>(pos);
    }
    return P_MAX_INDEX;
}

PINDEX PString::FindLast(char ch, PINDEX offset) const
{
    char pattern[2] = {ch, '\0'};
    if (ch == '\0')
        return P_MAX_INDEX;
    return FindLast(pattern, offset);
}

PINDEX PString::FindLast(const char *cstr, PINDEX offset) const
{
    if (cstr == nullptr || *cstr == '\0' || offset < 0)
        return P_MAX_INDEX;
    size_t len = std::strlen(cstr);
    if (len > text_.size())
        return P_MAX_INDEX;
    size_t pos = std::min(static_cast<size_t>(offset), text_.size() - len);
    for (;;) {
        if (CompareBytes(text_.data() + pos, cstr, len) == 0)
            return static_cast<PINDEX>(pos);
        if (pos == 0)
            return P_MAX_INDEX;
        --pos;
    }
}

PString PString::Left(PINDEX len) const
{
    if (len <= 0)
        return PString();
    return PString(text_.substr(0, static_cast<size_t>(len)));
}

PString PString::Right(PINDEX len) const
{
    if (len <= 0)
        return PString();
    size_t count = std::min(static_cast<size_t>(len), text_.size());
    return PString(text_.substr(text_.size() - count));
}

PString PString::Mid(PINDEX start, PINDEX len) const
{
    if (len <= 0)
        return PString();
    if (start < 0) {
        // A start before the beginning shortens the slice by the bytes before it.
        if (len != P_MAX_INDEX)
            len += start;
        start = 0;
        if (len <= 0)
            return PString();
    }
    if (static_cast<size_t>(start) >= text_.size())
        return PString();
    return PString(text_.substr(static_cast<size_t>(start), static_cast<size_t>(len)));
}

PString PString::Trim() const
{
    return LeftTrim().RightTrim();
}

PString PString::LeftTrim() const
{
    size_t pos = 0;
    while (pos < text_.size() && IsSpace(text_[pos]))
        ++pos;
    return PString(text_.substr(pos));
}

PString PString::RightTrim() const
{
    size_t end = text_.size();
    while (end > 0 && IsSpace(text_[end - 1]))
        --end;
    return PString(text_.substr(0, end));
}

PString PString::ToLower() const
{
    return MapLetters(text_, FoldLower);
}

PString PString::ToUpper() const
{
    return MapLetters(text_, [](char ch) {
        return ch >= 'a' && ch <= 'z' ? static_cast<char>(ch - 'a' + 'A') : ch;
    });
}

long PString::AsInteger(unsigned base) const
{
    if (base == 1 || base > 36)
        return 0;
    return std::strtol(text_.c_str(), nullptr, static_cast<int>(base));
}

unsigned long PString::AsUnsigned(unsigned base) const
{
    if (base == 1 || base > 36)
        return 0;
    const char *p = text_.c_str();
    while (IsSpace(*p))
        ++p;
    if (*p == '-')
        return 0;
    return std::strtoul(p, nullptr, static_cast<int>(base));
}

PStringArray PString::Tokenise(const char *separators, BOOL onePerSeparator) const
{
    PStringArray tokens;
    if (text_.empty())
        return tokens;
    if (separators == nullptr || *separators == '\0') {
        tokens.AppendString(*this);
        return tokens;
    }
    auto isSeparator = [separators](char ch) { return std::strchr(separators, ch) != nullptr; };
    if (onePerSeparator) {
        size_t start = 0;
        for (size_t pos = 0; pos <= text_.size(); ++pos) {
            if (pos == text_.size() || isSeparator(text_[pos])) {
                tokens.AppendString(PString(text_.substr(start, pos - start)));
                start = pos + 1;
            }
        }
        return tokens;
    }
    size_t pos = 0;
    while (pos < text_.size()) {
        while (pos < text_.size() && isSeparator(text_[pos]))
            ++pos;
        size_t start = pos;
        while (pos < text_.size() && !isSeparator(text_[pos]))
            ++pos;
        if (pos > start)
            tokens.AppendString(PString(text_.substr(start, pos - start)));
    }
    return tokens;
}

PString &PString::sprintf(const char *fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    vsprintf(fmt, args);
    va_end(args);
    return *this;
}

PString &PString::vsprintf(const char *fmt, va_list args)
{
    if (fmt == nullptr)
        return *this;
    va_list copy;
    va_copy(copy, args);
    int needed = std::vsnprintf(nullptr, 0, fmt, copy);
    va_end(copy);
    if (needed <= 0)
        return *this;
    size_t old = text_.size();
    text_.resize(old + static_cast<size_t>(needed) + 1);
    std::vsnprintf(&text_[old], static_cast<size_t>(needed) + 1, fmt, args);
    text_.resize(old + static_cast<size_t>(needed));
    return *this;
}

PObject *PCaselessString::Clone() const
{
    return new PCaselessString(*this);
}

int PCaselessString::CompareBytes(const char *a, const char *b, size_t count) const
{
    return CompareCaseless(a, b, count);
}

PString psprintf(const char *fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    PString str;
    str.vsprintf(fmt, args);
    va_end(args);
    return str;
}

PString pvsprintf(const char *fmt, va_list args)
{
    PString str;
    str.vsprintf(fmt, args);
    return str;
}
