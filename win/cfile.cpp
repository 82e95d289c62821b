// CFile over POSIX file descriptors, with safe replacement of created files.
#include <win/cfile.h>

#include <win/path.h>

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

std::atomic<unsigned> g_tempCounter{0};

// Hidden name in the same directory, unique within and across processes.
std::string TempNameFor(const std::string &path)
{
    size_t slash = path.rfind('/');
    std::string dir = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    return dir + "." + name + "." + std::to_string(getpid()) + "-" +
           std::to_string(g_tempCounter.fetch_add(1)) + ".tmp";
}

void SyncDirectoryOf(const std::string &path)
{
    size_t slash = path.rfind('/');
    std::string dir = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

} // namespace

CFile::~CFile()
{
    Close();
}

void CFile::Fail(int error)
{
    if (m_nError == 0)
        m_nError = error ? error : EIO;
}

BOOL CFile::Open(LPCTSTR lpszFileName, UINT nOpenFlags)
{
    Close();
    m_nError = 0;
    std::string path = win::MapPath(lpszFileName);
    m_strPath = CString(std::string_view(path));
    if (path.empty()) {
        m_nError = ENOENT;
        return FALSE;
    }

    int access = nOpenFlags & 0x3;
    int flags = O_CLOEXEC | (access == modeWrite       ? O_WRONLY
                             : access == modeReadWrite ? O_RDWR
                                                       : O_RDONLY);
    bool writing = access == modeWrite || access == modeReadWrite;
    bool replace = writing && (nOpenFlags & modeCreate) && !(nOpenFlags & modeNoTruncate);
    if (replace) {
        std::string temp = TempNameFor(path);
        m_hFile = open(temp.c_str(), flags | O_CREAT | O_EXCL, 0666);
        if (m_hFile < 0) {
            m_nError = errno;
            return FALSE;
        }
        struct stat old;
        if (stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode))
            fchmod(m_hFile, old.st_mode & 07777);
        m_strTempPath = CString(std::string_view(temp));
        return TRUE;
    }

    if (nOpenFlags & modeCreate)
        flags |= O_CREAT;
    m_hFile = open(path.c_str(), flags, 0666);
    if (m_hFile < 0) {
        m_nError = errno;
        return FALSE;
    }
    struct stat st;
    if (fstat(m_hFile, &st) != 0 || !S_ISREG(st.st_mode)) {
        m_nError = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        close(m_hFile);
        m_hFile = -1;
        return FALSE;
    }
    return TRUE;
}

UINT CFile::Read(void *lpBuf, UINT nCount)
{
    if (m_hFile < 0) {
        Fail(EBADF);
        return 0;
    }
    auto *p = static_cast<char *>(lpBuf);
    UINT done = 0;
    while (done < nCount) {
        ssize_t n = read(m_hFile, p + done, nCount - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            Fail(errno);
            return 0;
        }
        if (n == 0)
            break;
        done += static_cast<UINT>(n);
    }
    return done;
}

BOOL CFile::Write(const void *lpBuf, UINT nCount)
{
    if (m_hFile < 0) {
        Fail(EBADF);
        return FALSE;
    }
    const auto *p = static_cast<const char *>(lpBuf);
    UINT done = 0;
    while (done < nCount) {
        ssize_t n = write(m_hFile, p + done, nCount - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            Fail(n < 0 ? errno : ENOSPC);
            return FALSE;
        }
        done += static_cast<UINT>(n);
    }
    return TRUE;
}

LONGLONG CFile::Seek(LONGLONG lOff, UINT nFrom)
{
    int whence = nFrom == current ? SEEK_CUR : nFrom == end ? SEEK_END : SEEK_SET;
    off_t pos = m_hFile < 0 ? -1 : lseek(m_hFile, lOff, whence);
    if (pos < 0)
        Fail(m_hFile < 0 ? EBADF : errno);
    return pos;
}

ULONGLONG CFile::GetLength() const
{
    struct stat st;
    if (m_hFile < 0 || fstat(m_hFile, &st) != 0)
        return 0;
    return static_cast<ULONGLONG>(st.st_size);
}

ULONGLONG CFile::GetPosition() const
{
    off_t pos = m_hFile < 0 ? -1 : lseek(m_hFile, 0, SEEK_CUR);
    return pos < 0 ? 0 : static_cast<ULONGLONG>(pos);
}

BOOL CFile::Flush()
{
    if (m_hFile < 0)
        return FALSE;
    if (fsync(m_hFile) != 0) {
        Fail(errno);
        return FALSE;
    }
    return TRUE;
}

BOOL CFile::Close()
{
    if (m_hFile < 0)
        return FALSE;
    bool ok = m_nError == 0;
    if (!m_strTempPath.IsEmpty()) {
        if (ok && fsync(m_hFile) != 0) {
            Fail(errno);
            ok = false;
        }
    }
    if (close(m_hFile) != 0 && ok) {
        Fail(errno);
        ok = false;
    }
    m_hFile = -1;
    if (!m_strTempPath.IsEmpty()) {
        if (ok && rename(m_strTempPath, m_strPath) != 0) {
            Fail(errno);
            ok = false;
        }
        if (ok)
            SyncDirectoryOf(m_strPath.StdString());
        else
            unlink(m_strTempPath);
        m_strTempPath.Empty();
    }
    return ok;
}

void CFile::Abort()
{
    if (m_hFile >= 0)
        Fail(ECANCELED);
    Close();
}
