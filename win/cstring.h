// CString: a counted byte string in the ANSI code page, with the MFC members the program uses.
//
// The bytes are kept exactly as the data files and the service hold them; a CString may contain
// zero bytes (GetLength counts them), and operator LPCTSTR always gives a zero-terminated view.
// Searching, case mapping, trimming and replacing step over two-byte characters of the ANSI code
// page (win/codepage.h), so a trail byte such as 0x5C is never taken for a '\'.
// Indexes and lengths count bytes. Text reaches the user interface through ToUtf8/FromUtf8.
#pragma once

#include <win/windef.h>

#include <cstdarg>
#include <iosfwd>
#include <string>
#include <string_view>

class CString
{
  public:
    CString() = default;
    CString(const char *psz);
    CString(const char *pch, int nLength);
    CString(char ch, int nRepeat = 1);
    explicit CString(std::string_view bytes);

    CString &operator=(const char *psz);
    CString &operator=(char ch);

    int GetLength() const { return static_cast<int>(m_data.size()); }
    BOOL IsEmpty() const { return m_data.empty(); }
    void Empty() { m_data.clear(); }

    char GetAt(int nIndex) const { return m_data.at(static_cast<size_t>(nIndex)); }
    void SetAt(int nIndex, char ch) { m_data.at(static_cast<size_t>(nIndex)) = ch; }
    char operator[](int nIndex) const { return GetAt(nIndex); }

    operator LPCTSTR() const { return m_data.c_str(); }
    LPCTSTR GetString() const { return m_data.c_str(); }
    const std::string &StdString() const { return m_data; }
    std::string_view View() const { return m_data; }

    CString Left(int nCount) const;
    CString Mid(int nFirst) const;
    CString Mid(int nFirst, int nCount) const;
    CString Right(int nCount) const;

    /// Byte index of the first match at or after nStart, or -1.
    int Find(char ch, int nStart = 0) const;
    int Find(LPCTSTR pszSub, int nStart = 0) const;
    /// Byte index of the last character equal to ch, or -1.
    int ReverseFind(char ch) const;
    /// Byte index of the first character that is one of the single-byte characters in pszSet.
    int FindOneOf(LPCTSTR pszSet) const;

    /// Replaces the text with printf-style output.
    void Format(LPCTSTR pszFormat, ...) __attribute__((format(printf, 2, 3)));
    void FormatV(LPCTSTR pszFormat, va_list args);
    void AppendFormat(LPCTSTR pszFormat, ...) __attribute__((format(printf, 2, 3)));

    /// Case mapping of the ASCII letters; two-byte characters are kept.
    CString &MakeUpper();
    CString &MakeLower();

    /// Trimming of white space, of one character, or of any character of a set.
    CString &TrimLeft();
    CString &TrimLeft(char chTarget);
    CString &TrimLeft(LPCTSTR pszTargets);
    CString &TrimRight();
    CString &TrimRight(char chTarget);
    CString &TrimRight(LPCTSTR pszTargets);
    CString &Trim();

    /// Replacements and removals; each returns the number of places changed.
    int Replace(char chOld, char chNew);
    int Replace(LPCTSTR pszOld, LPCTSTR pszNew);
    int Remove(char ch);

    /// Byte-indexed insertion and deletion; each returns the new length.
    int Insert(int nIndex, char ch);
    int Insert(int nIndex, LPCTSTR psz);
    int Delete(int nIndex, int nCount = 1);

    int Compare(LPCTSTR psz) const;
    /// Comparison with ASCII letters folded; two-byte characters compare exactly.
    int CompareNoCase(LPCTSTR psz) const;

    /// A writable buffer of at least nMinBufLength bytes. Until ReleaseBuffer the length is the
    /// buffer's; ReleaseBuffer(-1) cuts at the first zero byte, ReleaseBuffer(n) at n bytes.
    char *GetBuffer(int nMinBufLength = 0);
    char *GetBufferSetLength(int nNewLength);
    void ReleaseBuffer(int nNewLength = -1);

    /// Loads string nID through the loader set by win::SetStringLoader; empties and returns
    /// FALSE when there is no loader or no such string.
    BOOL LoadString(UINT nID);

    /// Conversions at the user interface boundary.
    static CString FromUtf8(std::string_view utf8);
    std::string ToUtf8() const;

    CString &operator+=(const CString &s);
    CString &operator+=(const char *psz);
    CString &operator+=(char ch);

  private:
    std::string m_data;
};

CString operator+(const CString &a, const CString &b);
CString operator+(const CString &a, const char *b);
CString operator+(const char *a, const CString &b);
CString operator+(const CString &a, char b);
CString operator+(char a, const CString &b);

bool operator==(const CString &a, const CString &b);
bool operator==(const CString &a, const char *b);
bool operator==(const char *a, const CString &b);
bool operator!=(const CString &a, const CString &b);
bool operator!=(const CString &a, const char *b);
bool operator!=(const char *a, const CString &b);
bool operator<(const CString &a, const CString &b);
bool operator<(const CString &a, const char *b);
bool operator<(const char *a, const CString &b);
bool operator>(const CString &a, const CString &b);
bool operator<=(const CString &a, const CString &b);
bool operator>=(const CString &a, const CString &b);

/// Writes the raw bytes (for logs and test output).
std::ostream &operator<<(std::ostream &os, const CString &s);

namespace win
{

/// Supplies the strings of the resources in force: fills out and returns TRUE when nID exists.
using StringLoader = BOOL (*)(UINT nID, CString &out);

/// Sets the loader that CString::LoadString uses (null: none).
void SetStringLoader(StringLoader loader);

} // namespace win
