// CFile over POSIX file descriptors, with safe replacement of created files.
#include <win/cfile.h>

#include <win/path.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <dirent.h>
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

// The process that wrote a replacement's name (".<name>.<pid>-<n>.tmp"), or 0 when the name
// is not one.
pid_t WriterOfReplacement(const std::string &name)
{
    const std::string suffix = ".tmp";
    if (name.size() < 8 || name[0] != '.' || !name.ends_with(suffix))
        return 0;
    std::string stem = name.substr(0, name.size() - suffix.size());
    size_t dash = stem.rfind('-');
    size_t dot = stem.rfind('.', dash);
    if (dash == std::string::npos || dot == std::string::npos || dot == 0 || dash + 1 == stem.size())
        return 0;
    std::string pid = stem.substr(dot + 1, dash - dot - 1), counter = stem.substr(dash + 1);
    auto digits = [](const std::string &t) {
        return !t.empty() && t.size() <= 10 && t.find_first_not_of("0123456789") == std::string::npos;
    };
    if (!digits(pid) || !digits(counter))
        return 0;
    long value = std::stol(pid);
    return value > 0 && value <= 0x7fffffff ? pid_t(value) : 0;
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
    // Opened without waiting (a FIFO would block until a writer came), then checked to be a
    // regular file before it is used.
    struct stat st;
    if (stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        m_nError = S_ISDIR(st.st_mode) ? EISDIR : ENODEV;
        return FALSE;
    }
    m_hFile = open(path.c_str(), flags | O_NONBLOCK | O_NOCTTY, 0666);
    if (m_hFile < 0) {
        m_nError = errno;
        return FALSE;
    }
    if (fstat(m_hFile, &st) != 0 || !S_ISREG(st.st_mode)) {
        m_nError = S_ISDIR(st.st_mode) ? EISDIR : ENODEV;
        close(m_hFile);
        m_hFile = -1;
        return FALSE;
    }
    fcntl(m_hFile, F_SETFL, fcntl(m_hFile, F_GETFL) & ~O_NONBLOCK);
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

int CFile::RemoveLeftoverReplacements(LPCTSTR lpszDirectory)
{
    std::string dir = win::MapPath(lpszDirectory);
    if (dir.empty())
        return 0;
    if (dir.back() != '/')
        dir += '/';
    DIR *d = opendir(dir.c_str());
    if (d == nullptr)
        return 0;
    int removed = 0;
    while (dirent *entry = readdir(d)) {
        pid_t writer = WriterOfReplacement(entry->d_name);
        // A writer still running may be saving it now (or be another process by that id).
        if (writer == 0 || writer == getpid() || kill(writer, 0) == 0 || errno != ESRCH)
            continue;
        std::string path = dir + entry->d_name;
        struct stat st;
        if (lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && unlink(path.c_str()) == 0)
            removed++;
    }
    closedir(d);
    return removed;
}

void CFile::Abort()
{
    if (m_hFile >= 0)
        Fail(ECANCELED);
    Close();
}
