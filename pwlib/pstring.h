// PString and PCaselessString: byte strings in the program's ANSI code page.
#pragma once

#include <pwlib/pobject.h>

#include <cstdarg>
#include <string>

class PStringArray;

/// A byte string (text in the ANSI code page, for example GBK). Lengths and positions count
/// bytes; positions past the end and "not found" are P_MAX_INDEX.
class PString : public PObject
{
    PCLASSINFO(PString, PObject)
  public:
    enum ConversionType { Signed, Unsigned };

    PString() = default;
    /// Copies a NUL-terminated string; nullptr gives the empty string.
    PString(const char *cstr);
    /// Copies len bytes (fewer when cstr is nullptr or len is negative: none).
    PString(const char *cstr, PINDEX len);
    PString(const std::string &str) : text_(str) {}
    PString(std::string &&str) : text_(std::move(str)) {}
    explicit PString(char ch) : text_(1, ch) {}
    /// The decimal (or other base, 2..36) text of a number.
    PString(ConversionType type, PInt64 value, unsigned base = 10);

    PObject *Clone() const override;
    Comparison Compare(const PObject &obj) const override;
    void PrintOn(std::ostream &strm) const override;

    operator const char *() const { return text_.c_str(); }
    const std::string &GetText() const { return text_; }

    BOOL IsEmpty() const { return text_.empty(); }
    PINDEX GetLength() const { return static_cast<PINDEX>(text_.size()); }
    void MakeEmpty() { text_.clear(); }
    static const PString &Empty();

    /// The byte at index, or '\0' when index is out of range.
    char operator[](PINDEX index) const;

    PString operator+(const PString &str) const;
    PString operator+(const char *cstr) const;
    PString operator+(char ch) const;
    friend PString operator+(const char *cstr, const PString &str);
    friend PString operator+(char ch, const PString &str);
    PString &operator+=(const PString &str);
    PString &operator+=(const char *cstr);
    PString &operator+=(char ch);

    /// Comparisons follow the left operand's rule (exact bytes, or caseless for
    /// PCaselessString).
    bool operator==(const PString &str) const { return InternalCompare(str) == EqualTo; }
    bool operator==(const char *cstr) const { return InternalCompare(cstr) == EqualTo; }
    bool operator!=(const PString &str) const { return InternalCompare(str) != EqualTo; }
    bool operator!=(const char *cstr) const { return InternalCompare(cstr) != EqualTo; }
    bool operator<(const PString &str) const { return InternalCompare(str) == LessThan; }
    bool operator<(const char *cstr) const { return InternalCompare(cstr) == LessThan; }
    bool operator>(const PString &str) const { return InternalCompare(str) == GreaterThan; }
    bool operator>(const char *cstr) const { return InternalCompare(cstr) == GreaterThan; }
    bool operator<=(const PString &str) const { return InternalCompare(str) != GreaterThan; }
    bool operator<=(const char *cstr) const { return InternalCompare(cstr) != GreaterThan; }
    bool operator>=(const PString &str) const { return InternalCompare(str) != LessThan; }
    bool operator>=(const char *cstr) const { return InternalCompare(cstr) != LessThan; }
    /// Caseless equality (ASCII letters), whatever the class of either operand.
    bool operator*=(const char *cstr) const;

    /// Position of the first ch or cstr at or after offset, or P_MAX_INDEX.
    PINDEX Find(char ch, PINDEX offset = 0) const;
    PINDEX Find(const char *cstr, PINDEX offset = 0) const;
    /// Position of the last ch or cstr starting at or before offset, or P_MAX_INDEX.
    PINDEX FindLast(char ch, PINDEX offset = P_MAX_INDEX) const;
    PINDEX FindLast(const char *cstr, PINDEX offset = P_MAX_INDEX) const;

    /// The first len bytes (all when len is longer, none when negative).
    PString Left(PINDEX len) const;
    /// The last len bytes.
    PString Right(PINDEX len) const;
    /// len bytes from start (to the end by default); empty when start is past the end.
    PString Mid(PINDEX start, PINDEX len = P_MAX_INDEX) const;

    /// A copy without leading and trailing white space (space, tab, CR, LF, FF, VT).
    PString Trim() const;
    PString LeftTrim() const;
    PString RightTrim() const;
    /// Copies with ASCII letters changed; double-byte characters are left alone.
    PString ToLower() const;
    PString ToUpper() const;

    /// The number the text starts with (after white space and a sign), as strtol reads
    /// it: "12ab" is 12, junk is 0.
    long AsInteger(unsigned base = 10) const;
    /// As AsInteger, unsigned; a negative number gives 0.
    unsigned long AsUnsigned(unsigned base = 10) const;

    /// Splits at any of the separator bytes. With onePerSeparator every separator ends a
    /// token (so empty tokens appear between adjacent ones); otherwise runs of separators
    /// count as one and leading/trailing ones are skipped. The empty string gives no tokens.
    PStringArray Tokenise(const char *separators, BOOL onePerSeparator = TRUE) const;

    /// Appends printf-formatted text and returns this string.
    PString &sprintf(const char *fmt, ...) __attribute__((format(printf, 2, 3)));
    PString &vsprintf(const char *fmt, va_list args) __attribute__((format(printf, 2, 0)));

  protected:
    /// Compares count bytes; PCaselessString folds ASCII letters.
    virtual int CompareBytes(const char *a, const char *b, size_t count) const;

  private:
    Comparison InternalCompare(const char *cstr, size_t len) const;
    Comparison InternalCompare(const PString &str) const
    {
        return InternalCompare(str.text_.data(), str.text_.size());
    }
    Comparison InternalCompare(const char *cstr) const;

    std::string text_;
};

/// A PString whose comparisons and searches ignore the case of ASCII letters.
class PCaselessString : public PString
{
    PCLASSINFO(PCaselessString, PString)
  public:
    using PString::PString;
    PCaselessString() = default;
    PCaselessString(const PString &str) : PString(str) {}

    PObject *Clone() const override;

  protected:
    int CompareBytes(const char *a, const char *b, size_t count) const override;
};

/// A new string with printf-formatted text.
PString psprintf(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
PString pvsprintf(const char *fmt, va_list args) __attribute__((format(printf, 1, 0)));

#include <pwlib/pstringarray.h>
