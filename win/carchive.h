// CArchive: the class library's binary archive format over a CFile.
//
// Integers are little-endian (int and DWORD 4 bytes, WORD 2, BYTE 1). A string is a length
// prefix and its bytes, no terminator: one byte n for n < 255; 0xFF and a 16-bit n for
// n <= 0xFFFD; 0xFF, 0xFFFF and a 32-bit n otherwise.
//
// Errors do not throw: the first failed read (end of file, a string longer than the bytes
// left) or failed write puts the archive in a failed state, after which reads leave their
// targets unchanged and writes are dropped. Check IsOK() (or the archive as a bool) after a
// run of fields:
//
//     ar >> m_nLeft >> m_nTop;     // a short file leaves the fields not read as they were
//     if (!ar) return;
#pragma once

#include <win/cfile.h>
#include <win/cstring.h>
#include <win/windef.h>

#include <vector>

class CArchive
{
  public:
    enum Mode : UINT { store = 0, load = 1 };

    CArchive(CFile *pFile, UINT nMode, int nBufSize = 4096);
    CArchive(const CArchive &) = delete;
    CArchive &operator=(const CArchive &) = delete;
    /// A storing archive flushes what it holds.
    ~CArchive();

    BOOL IsLoading() const { return m_nMode == load; }
    BOOL IsStoring() const { return m_nMode == store; }
    CFile *GetFile() const { return m_pFile; }

    BOOL IsOK() const { return !m_bFailed; }
    explicit operator bool() const { return !m_bFailed; }

    /// Writes out the buffer of a storing archive; FALSE once anything failed.
    BOOL Flush();
    /// Flushes and detaches from the file (which stays open).
    void Close();

    /// Reads exactly nCount bytes, or fails and reads nothing more.
    BOOL Read(void *lpBuf, UINT nCount);
    void Write(const void *lpBuf, UINT nCount);

    CArchive &operator<<(int n);
    CArchive &operator<<(DWORD dw);
    CArchive &operator<<(WORD w);
    CArchive &operator<<(BYTE by);
    CArchive &operator<<(const CString &s);

    CArchive &operator>>(int &n);
    CArchive &operator>>(DWORD &dw);
    CArchive &operator>>(WORD &w);
    CArchive &operator>>(BYTE &by);
    CArchive &operator>>(CString &s);

  private:
    bool Fill(size_t want);
    template <typename T> bool ReadLE(T &value);
    template <typename T> void WriteLE(T value);

    CFile *m_pFile;
    UINT m_nMode;
    bool m_bFailed = false;
    size_t m_nBufSize;
    std::vector<char> m_buf; // storing: bytes not yet written; loading: bytes not yet taken
    size_t m_nTaken = 0;     // loading: bytes of m_buf already taken
};
