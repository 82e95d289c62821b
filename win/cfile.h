// CFile: binary file access with Windows-style paths; never throws.
//
// Open maps the path with win::MapPath. A file opened with modeCreate for writing (and without
// modeNoTruncate) is replaced safely: the bytes go to a new file beside it, and only a Close
// after every write succeeded renames it over the old one (after fsync). A failed write, a
// failed Close, Abort, or a crash leave the old file as it was; the replacement a crash left
// behind is removed by RemoveLeftoverReplacements.
//
// Only regular files are opened: a FIFO, device or directory in a file's place is refused
// without blocking (ENODEV, EISDIR), as if the file were missing.
#pragma once

#include <win/cstring.h>
#include <win/windef.h>

class CFile
{
  public:
    enum OpenFlags : UINT {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        modeReadWrite = 0x0002,
        shareCompat = 0x0000,
        shareExclusive = 0x0010,
        shareDenyWrite = 0x0020,
        shareDenyRead = 0x0030,
        shareDenyNone = 0x0040,
        modeNoInherit = 0x0080,
        modeCreate = 0x1000,
        modeNoTruncate = 0x2000,
        typeText = 0x4000,
        typeBinary = 0x8000,
    };
    enum SeekPosition : UINT { begin = 0, current = 1, end = 2 };

    CFile() = default;
    CFile(const CFile &) = delete;
    CFile &operator=(const CFile &) = delete;
    /// Closes the file as Close does.
    virtual ~CFile();

    /// Opens a regular file; FALSE (and GetError) on failure. Share modes are not enforced.
    BOOL Open(LPCTSTR lpszFileName, UINT nOpenFlags);

    /// Removes from a directory the replacements that processes no longer running left
    /// unfinished (a save interrupted by a crash or a kill). Returns how many were removed.
    static int RemoveLeftoverReplacements(LPCTSTR lpszDirectory);

    /// Bytes read into lpBuf; fewer than nCount at the end of the file, 0 on an error.
    UINT Read(void *lpBuf, UINT nCount);
    /// TRUE when all bytes were written.
    BOOL Write(const void *lpBuf, UINT nCount);
    /// The new position, or -1 on an error.
    LONGLONG Seek(LONGLONG lOff, UINT nFrom);
    ULONGLONG GetLength() const;
    ULONGLONG GetPosition() const;
    BOOL Flush();

    /// Closes the file; a replacement is committed only when no error occurred. TRUE when the
    /// file was open and everything written reached the file's name.
    BOOL Close();
    /// Closes the file and discards a replacement in progress.
    void Abort();

    BOOL IsOpen() const { return m_hFile >= 0; }
    /// errno of the first failure since Open, 0 when none.
    int GetError() const { return m_nError; }
    /// The file-system path that was opened.
    CString GetFilePath() const { return m_strPath; }

  private:
    void Fail(int error);

    int m_hFile = -1;
    int m_nError = 0;
    CString m_strPath;
    CString m_strTempPath; // set while a replacement is being written
};
