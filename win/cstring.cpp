// CString: counted ANSI byte strings.
#include <win/cstring.h>

#include <win/codepage.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <ostream>
#include <vector>

namespace
{

std::atomic<win::StringLoader> g_stringLoader{nullptr};

bool IsAsciiSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

char AsciiUpper(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

char AsciiLower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Calls f(index, length) for each character from byte index start; stops when f returns true.
// Returns the index where f stopped, or -1.
template <typename F> int ScanChars(const std::string &s, size_t start, F f)
{
    for (size_t i = start; i < s.size();) {
        size_t n = win::CharLengthAt(s.data(), s.size(), i);
        if (f(i, n))
            return static_cast<int>(i);
        i += n;
    }
    return -1;
}

// Rebuilds s: a one-byte character c becomes map(c) (or is dropped when keep(c) is false).
template <typename Keep, typename Map> int RewriteSingleBytes(std::string &s, Keep keep, Map map)
{
    std::string out;
    out.reserve(s.size());
    int changed = 0;
    for (size_t i = 0; i < s.size();) {
        size_t n = win::CharLengthAt(s.data(), s.size(), i);
        if (n == 1) {
            if (!keep(s[i])) {
                ++changed;
            } else {
                char m = map(s[i]);
                changed += m != s[i];
                out += m;
            }
        } else {
            out.append(s, i, n);
        }
        i += n;
    }
    s.swap(out);
    return changed;
}

template <typename IsTarget> void TrimLeftIf(std::string &s, IsTarget target)
{
    int first = ScanChars(s, 0, [&](size_t i, size_t n) { return n != 1 || !target(s[i]); });
    s.erase(0, first < 0 ? s.size() : static_cast<size_t>(first));
}

template <typename IsTarget> void TrimRightIf(std::string &s, IsTarget target)
{
    size_t end = 0;
    ScanChars(s, 0, [&](size_t i, size_t n) {
        if (n != 1 || !target(s[i]))
            end = i + n;
        return false;
    });
    s.resize(end);
}

int Clamp(int v, int lo, int hi)
{
    return std::max(lo, std::min(v, hi));
}

int CompareBytes(std::string_view a, std::string_view b)
{
    int c = a.compare(b);
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}

} // namespace

CString::CString(const char *psz) : m_data(psz ? psz : "") {}

CString::CString(const char *pch, int nLength)
{
    if (pch && nLength > 0)
        m_data.assign(pch, static_cast<size_t>(nLength));
}

CString::CString(char ch, int nRepeat)
{
    if (nRepeat > 0)
        m_data.assign(static_cast<size_t>(nRepeat), ch);
}

CString::CString(std::string_view bytes) : m_data(bytes) {}

CString &CString::operator=(const char *psz)
{
    m_data = psz ? psz : "";
    return *this;
}

CString &CString::operator=(char ch)
{
    m_data.assign(1, ch);
    return *this;
}

CString CString::Left(int nCount) const
{
    return CString(std::string_view(m_data).substr(0, Clamp(nCount, 0, GetLength())));
}

CString CString::Mid(int nFirst) const
{
    return Mid(nFirst, GetLength());
}

CString CString::Mid(int nFirst, int nCount) const
{
    int first = Clamp(nFirst, 0, GetLength());
    int count = Clamp(nCount, 0, GetLength() - first);
    return CString(std::string_view(m_data).substr(first, count));
}

CString CString::Right(int nCount) const
{
    int count = Clamp(nCount, 0, GetLength());
    return CString(std::string_view(m_data).substr(GetLength() - count));
}

int CString::Find(char ch, int nStart) const
{
    if (nStart < 0)
        nStart = 0;
    return ScanChars(m_data, nStart, [&](size_t i, size_t n) { return n == 1 && m_data[i] == ch; });
}

int CString::Find(LPCTSTR pszSub, int nStart) const
{
    if (!pszSub || nStart < 0 || nStart > GetLength())
        return -1;
    std::string_view sub(pszSub);
    std::string_view all(m_data);
    return ScanChars(m_data, nStart,
                     [&](size_t i, size_t) { return all.substr(i).starts_with(sub); });
}

int CString::ReverseFind(char ch) const
{
    int last = -1;
    ScanChars(m_data, 0, [&](size_t i, size_t n) {
        if (n == 1 && m_data[i] == ch)
            last = static_cast<int>(i);
        return false;
    });
    return last;
}

int CString::FindOneOf(LPCTSTR pszSet) const
{
    if (!pszSet)
        return -1;
    return ScanChars(m_data, 0, [&](size_t i, size_t n) {
        return n == 1 && m_data[i] != '\0' && std::strchr(pszSet, m_data[i]) != nullptr;
    });
}

void CString::Format(LPCTSTR pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    FormatV(pszFormat, args);
    va_end(args);
}

void CString::FormatV(LPCTSTR pszFormat, va_list args)
{
    m_data.clear();
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(nullptr, 0, pszFormat, copy);
    va_end(copy);
    if (n <= 0)
        return;
    m_data.resize(static_cast<size_t>(n));
    std::vsnprintf(m_data.data(), m_data.size() + 1, pszFormat, args);
}

void CString::AppendFormat(LPCTSTR pszFormat, ...)
{
    CString tail;
    va_list args;
    va_start(args, pszFormat);
    tail.FormatV(pszFormat, args);
    va_end(args);
    m_data += tail.m_data;
}

CString &CString::MakeUpper()
{
    RewriteSingleBytes(
        m_data, [](char) { return true; }, AsciiUpper);
    return *this;
}

CString &CString::MakeLower()
{
    RewriteSingleBytes(
        m_data, [](char) { return true; }, AsciiLower);
    return *this;
}

CString &CString::TrimLeft()
{
    TrimLeftIf(m_data, IsAsciiSpace);
    return *this;
}

CString &CString::TrimLeft(char chTarget)
{
    TrimLeftIf(m_data, [&](char c) { return c == chTarget; });
    return *this;
}

CString &CString::TrimLeft(LPCTSTR pszTargets)
{
    std::string_view set(pszTargets ? pszTargets : "");
    TrimLeftIf(m_data, [&](char c) { return set.find(c) != set.npos; });
    return *this;
}

CString &CString::TrimRight()
{
    TrimRightIf(m_data, IsAsciiSpace);
    return *this;
}

CString &CString::TrimRight(char chTarget)
{
    TrimRightIf(m_data, [&](char c) { return c == chTarget; });
    return *this;
}

CString &CString::TrimRight(LPCTSTR pszTargets)
{
    std::string_view set(pszTargets ? pszTargets : "");
    TrimRightIf(m_data, [&](char c) { return set.find(c) != set.npos; });
    return *this;
}

CString &CString::Trim()
{
    return TrimRight().TrimLeft();
}

int CString::Replace(char chOld, char chNew)
{
    return RewriteSingleBytes(
        m_data, [](char) { return true; }, [&](char c) { return c == chOld ? chNew : c; });
}

int CString::Replace(LPCTSTR pszOld, LPCTSTR pszNew)
{
    std::string_view from(pszOld ? pszOld : "");
    std::string_view to(pszNew ? pszNew : "");
    if (from.empty())
        return 0;
    std::string out;
    std::string_view all(m_data);
    int count = 0;
    for (size_t i = 0; i < m_data.size();) {
        if (all.substr(i).starts_with(from)) {
            out += to;
            i += from.size();
            ++count;
        } else {
            size_t n = win::CharLengthAt(m_data.data(), m_data.size(), i);
            out.append(m_data, i, n);
            i += n;
        }
    }
    m_data.swap(out);
    return count;
}

int CString::Remove(char ch)
{
    return RewriteSingleBytes(
        m_data, [&](char c) { return c != ch; }, [](char c) { return c; });
}

int CString::Insert(int nIndex, char ch)
{
    m_data.insert(static_cast<size_t>(Clamp(nIndex, 0, GetLength())), 1, ch);
    return GetLength();
}

int CString::Insert(int nIndex, LPCTSTR psz)
{
    if (psz)
        m_data.insert(static_cast<size_t>(Clamp(nIndex, 0, GetLength())), psz);
    return GetLength();
}

int CString::Delete(int nIndex, int nCount)
{
    int first = Clamp(nIndex, 0, GetLength());
    int count = Clamp(nCount, 0, GetLength() - first);
    m_data.erase(static_cast<size_t>(first), static_cast<size_t>(count));
    return GetLength();
}

int CString::Compare(LPCTSTR psz) const
{
    return CompareBytes(m_data, psz ? psz : "");
}

int CString::CompareNoCase(LPCTSTR psz) const
{
    CString a(*this), b(psz);
    return a.MakeLower().Compare(b.MakeLower());
}

char *CString::GetBuffer(int nMinBufLength)
{
    if (nMinBufLength > GetLength())
        m_data.resize(static_cast<size_t>(nMinBufLength));
    return m_data.data();
}

char *CString::GetBufferSetLength(int nNewLength)
{
    m_data.resize(static_cast<size_t>(std::max(nNewLength, 0)));
    return m_data.data();
}

void CString::ReleaseBuffer(int nNewLength)
{
    if (nNewLength < 0)
        m_data.resize(strnlen(m_data.data(), m_data.size()));
    else
        m_data.resize(std::min(static_cast<size_t>(nNewLength), m_data.size()));
}

BOOL CString::LoadString(UINT nID)
{
    win::StringLoader loader = g_stringLoader.load();
    Empty();
    if (!loader)
        return FALSE;
    CString text;
    if (!loader(nID, text))
        return FALSE;
    *this = text;
    return TRUE;
}

CString CString::FromUtf8(std::string_view utf8)
{
    return CString(std::string_view(win::Utf8ToAnsi(utf8)));
}

std::string CString::ToUtf8() const
{
    return win::AnsiToUtf8(m_data);
}

CString &CString::operator+=(const CString &s)
{
    m_data += s.m_data;
    return *this;
}

CString &CString::operator+=(const char *psz)
{
    if (psz)
        m_data += psz;
    return *this;
}

CString &CString::operator+=(char ch)
{
    m_data += ch;
    return *this;
}

CString operator+(const CString &a, const CString &b)
{
    CString r(a);
    return r += b;
}

CString operator+(const CString &a, const char *b)
{
    CString r(a);
    return r += b;
}

CString operator+(const char *a, const CString &b)
{
    CString r(a);
    return r += b;
}

CString operator+(const CString &a, char b)
{
    CString r(a);
    return r += b;
}

CString operator+(char a, const CString &b)
{
    CString r(a);
    return r += b;
}

bool operator==(const CString &a, const CString &b)
{
    return a.View() == b.View();
}

bool operator==(const CString &a, const char *b)
{
    return a.Compare(b) == 0;
}

bool operator==(const char *a, const CString &b)
{
    return b.Compare(a) == 0;
}

bool operator!=(const CString &a, const CString &b)
{
    return !(a == b);
}

bool operator!=(const CString &a, const char *b)
{
    return !(a == b);
}

bool operator!=(const char *a, const CString &b)
{
    return !(a == b);
}

bool operator<(const CString &a, const CString &b)
{
    return a.View() < b.View();
}

bool operator<(const CString &a, const char *b)
{
    return a.Compare(b) < 0;
}

bool operator<(const char *a, const CString &b)
{
    return b.Compare(a) > 0;
}

bool operator>(const CString &a, const CString &b)
{
    return b < a;
}

bool operator<=(const CString &a, const CString &b)
{
    return !(b < a);
}

bool operator>=(const CString &a, const CString &b)
{
    return !(a < b);
}

std::ostream &operator<<(std::ostream &os, const CString &s)
{
    return os.write(s.GetString(), s.GetLength());
}

namespace win
{

void SetStringLoader(StringLoader loader)
{
    g_stringLoader.store(loader);
}

} // namespace win
