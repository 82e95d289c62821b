// CArchive: buffered little-endian fields and counted strings.
#include <win/carchive.h>

#include <algorithm>
#include <cstring>

CArchive::CArchive(CFile *pFile, UINT nMode, int nBufSize)
    : m_pFile(pFile), m_nMode(nMode), m_nBufSize(static_cast<size_t>(std::max(nBufSize, 16)))
{
    if (!m_pFile || !m_pFile->IsOpen())
        m_bFailed = true;
}

CArchive::~CArchive()
{
    Close();
}

BOOL CArchive::Flush()
{
    if (m_nMode == store && m_pFile && !m_buf.empty()) {
        if (!m_bFailed && !m_pFile->Write(m_buf.data(), static_cast<UINT>(m_buf.size())))
            m_bFailed = true;
        m_buf.clear();
    }
    return !m_bFailed;
}

void CArchive::Close()
{
    Flush();
    m_pFile = nullptr;
    m_buf.clear();
    m_nTaken = 0;
}

bool CArchive::Fill(size_t want)
{
    size_t have = m_buf.size() - m_nTaken;
    if (have >= want)
        return true;
    m_buf.erase(m_buf.begin(), m_buf.begin() + static_cast<std::ptrdiff_t>(m_nTaken));
    m_nTaken = 0;
    size_t chunk = std::max(want - have, m_nBufSize);
    m_buf.resize(have + chunk);
    UINT got = m_pFile->Read(m_buf.data() + have, static_cast<UINT>(chunk));
    m_buf.resize(have + got);
    return m_buf.size() >= want;
}

BOOL CArchive::Read(void *lpBuf, UINT nCount)
{
    if (m_bFailed || m_nMode != load || !m_pFile || !Fill(nCount)) {
        m_bFailed = true;
        return FALSE;
    }
    std::memcpy(lpBuf, m_buf.data() + m_nTaken, nCount);
    m_nTaken += nCount;
    return TRUE;
}

void CArchive::Write(const void *lpBuf, UINT nCount)
{
    if (m_bFailed || m_nMode != store || !m_pFile) {
        m_bFailed = true;
        return;
    }
    const char *p = static_cast<const char *>(lpBuf);
    m_buf.insert(m_buf.end(), p, p + nCount);
    if (m_buf.size() >= m_nBufSize)
        Flush();
}

template <typename T> bool CArchive::ReadLE(T &value)
{
    unsigned char b[sizeof(T)];
    if (!Read(b, sizeof b))
        return false;
    uint64_t v = 0;
    for (size_t i = sizeof b; i-- > 0;)
        v = (v << 8) | b[i];
    value = static_cast<T>(v);
    return true;
}

template <typename T> void CArchive::WriteLE(T value)
{
    unsigned char b[sizeof(T)];
    uint64_t v = static_cast<uint64_t>(value);
    for (size_t i = 0; i < sizeof b; ++i, v >>= 8)
        b[i] = static_cast<unsigned char>(v & 0xFF);
    Write(b, sizeof b);
}

CArchive &CArchive::operator<<(int n)
{
    WriteLE(static_cast<uint32_t>(n));
    return *this;
}

CArchive &CArchive::operator<<(DWORD dw)
{
    WriteLE(dw);
    return *this;
}

CArchive &CArchive::operator<<(WORD w)
{
    WriteLE(w);
    return *this;
}

CArchive &CArchive::operator<<(BYTE by)
{
    Write(&by, 1);
    return *this;
}

CArchive &CArchive::operator<<(const CString &s)
{
    auto n = static_cast<DWORD>(s.GetLength());
    if (n < 0xFF) {
        *this << static_cast<BYTE>(n);
    } else if (n <= 0xFFFD) {
        *this << static_cast<BYTE>(0xFF) << static_cast<WORD>(n);
    } else {
        *this << static_cast<BYTE>(0xFF) << static_cast<WORD>(0xFFFF) << n;
    }
    Write(s.GetString(), n);
    return *this;
}

CArchive &CArchive::operator>>(int &n)
{
    uint32_t v;
    if (ReadLE(v))
        n = static_cast<int32_t>(v);
    return *this;
}

CArchive &CArchive::operator>>(DWORD &dw)
{
    ReadLE(dw);
    return *this;
}

CArchive &CArchive::operator>>(WORD &w)
{
    ReadLE(w);
    return *this;
}

CArchive &CArchive::operator>>(BYTE &by)
{
    Read(&by, 1);
    return *this;
}

CArchive &CArchive::operator>>(CString &s)
{
    BYTE b = 0;
    DWORD n = 0;
    if (!Read(&b, 1))
        return *this;
    n = b;
    if (b == 0xFF) {
        WORD w = 0;
        if (!ReadLE(w))
            return *this;
        n = w;
        if (w == 0xFFFF && !ReadLE(n))
            return *this;
    }
    // A length beyond the end of the file is malformed; nothing is allocated for it.
    ULONGLONG left = m_buf.size() - m_nTaken;
    ULONGLONG length = m_pFile->GetLength(), position = m_pFile->GetPosition();
    if (length > position)
        left += length - position;
    if (n > left) {
        m_bFailed = true;
        return *this;
    }
    CString text;
    if (n > 0 && !Read(text.GetBufferSetLength(static_cast<int>(n)), n))
        return *this;
    s = text;
    return *this;
}
