// CAsyncSocket over a non-blocking UDP socket and a QSocketNotifier on the interface thread.
#include <win/casyncsocket.h>

#include <win/winmsg.h>

#include <QMetaObject>
#include <QSocketNotifier>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <unistd.h>

namespace
{

thread_local int t_lastError = 0;

int SetError(int wsaError)
{
    t_lastError = wsaError;
    return SOCKET_ERROR;
}

BOOL Fail(int wsaError)
{
    t_lastError = wsaError;
    return FALSE;
}

int FromErrno(int e)
{
    switch (e) {
    case EAGAIN:
        return WSAEWOULDBLOCK;
    case EINTR:
        return WSAEINTR;
    case EBADF:
    case ENOTSOCK:
        return WSAENOTSOCK;
    case EACCES:
    case EPERM:
        return WSAEACCES;
    case EFAULT:
        return WSAEFAULT;
    case EMFILE:
    case ENFILE:
        return WSAEMFILE;
    case EMSGSIZE:
        return WSAEMSGSIZE;
    case EADDRINUSE:
        return WSAEADDRINUSE;
    case EADDRNOTAVAIL:
        return WSAEADDRNOTAVAIL;
    case ENETDOWN:
        return WSAENETDOWN;
    case ENETUNREACH:
        return WSAENETUNREACH;
    case ENOBUFS:
    case ENOMEM:
        return WSAENOBUFS;
    case ECONNREFUSED:
        return WSAECONNREFUSED;
    case EHOSTUNREACH:
        return WSAEHOSTUNREACH;
    default:
        return WSAEINVAL;
    }
}

// Resolves a host name or dotted address to an IPv4 address.
bool Resolve(LPCTSTR host, in_addr &out)
{
    if (!host || !*host)
        return false;
    if (inet_pton(AF_INET, host, &out) == 1)
        return true;
    addrinfo hints = {};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo *list = nullptr;
    if (getaddrinfo(host, nullptr, &hints, &list) != 0 || !list)
        return false;
    out = reinterpret_cast<sockaddr_in *>(list->ai_addr)->sin_addr;
    freeaddrinfo(list);
    return true;
}

CString AddressText(const in_addr &addr)
{
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &addr, text, sizeof text);
    return CString(text);
}

} // namespace

CAsyncSocket::~CAsyncSocket()
{
    Close();
}

BOOL CAsyncSocket::Create(UINT nSocketPort, int nSocketType, long lEvent, LPCTSTR lpszSocketAddress)
{
    if (m_hSocket != INVALID_SOCKET)
        return Fail(WSAEINVAL);
    if (nSocketType != SOCK_DGRAM)
        return Fail(WSAESOCKTNOSUPPORT);
    sockaddr_in local = {};
    local.sin_family = AF_INET;
    local.sin_port = htons(static_cast<uint16_t>(nSocketPort));
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    if (lpszSocketAddress && !Resolve(lpszSocketAddress, local.sin_addr))
        return Fail(WSAHOST_NOT_FOUND);

    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return Fail(FromErrno(errno));
    if (bind(fd, reinterpret_cast<sockaddr *>(&local), sizeof local) != 0) {
        int e = errno;
        close(fd);
        return Fail(FromErrno(e));
    }
    m_hSocket = fd;
    if (lEvent & FD_READ) {
        bool made = win::InvokeOnUiThread([this] {
            m_pNotifier = new QSocketNotifier(m_hSocket, QSocketNotifier::Read);
            QSocketNotifier *n = m_pNotifier;
            QObject::connect(n, &QSocketNotifier::activated, n, [this, n] {
                n->setEnabled(false);
                OnReceive(0);
            });
        });
        if (!made) {
            Close();
            return Fail(WSAENETDOWN);
        }
    }
    return TRUE;
}

void CAsyncSocket::ArmNotifier()
{
    if (!m_pNotifier)
        return;
    if (win::IsUiThread())
        m_pNotifier->setEnabled(true);
    else
        QMetaObject::invokeMethod(
            m_pNotifier, [n = m_pNotifier] { n->setEnabled(true); }, Qt::QueuedConnection);
}

int CAsyncSocket::SendTo(const void *lpBuf, int nBufLen, UINT nHostPort, LPCTSTR lpszHostAddress,
                         int nFlags)
{
    if (m_hSocket == INVALID_SOCKET)
        return SetError(WSAENOTSOCK);
    if (!lpBuf || nBufLen < 0)
        return SetError(WSAEFAULT);
    sockaddr_in to = {};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(nHostPort));
    if (!lpszHostAddress || !*lpszHostAddress)
        return SetError(WSAEDESTADDRREQ);
    if (!Resolve(lpszHostAddress, to.sin_addr))
        return SetError(WSAHOST_NOT_FOUND);
    ssize_t n = sendto(m_hSocket, lpBuf, static_cast<size_t>(nBufLen), nFlags | MSG_NOSIGNAL,
                       reinterpret_cast<sockaddr *>(&to), sizeof to);
    if (n < 0)
        return SetError(FromErrno(errno));
    return static_cast<int>(n);
}

int CAsyncSocket::ReceiveFrom(void *lpBuf, int nBufLen, CString &rSocketAddress, UINT &rSocketPort,
                              int nFlags)
{
    if (m_hSocket == INVALID_SOCKET)
        return SetError(WSAENOTSOCK);
    if (!lpBuf || nBufLen < 0)
        return SetError(WSAEFAULT);
    ArmNotifier();
    sockaddr_in from = {};
    socklen_t fromLen = sizeof from;
    ssize_t n = recvfrom(m_hSocket, lpBuf, static_cast<size_t>(nBufLen), nFlags | MSG_TRUNC,
                         reinterpret_cast<sockaddr *>(&from), &fromLen);
    if (n < 0)
        return SetError(FromErrno(errno));
    rSocketAddress = AddressText(from.sin_addr);
    rSocketPort = ntohs(from.sin_port);
    if (n > nBufLen)
        return SetError(WSAEMSGSIZE);
    return static_cast<int>(n);
}

int CAsyncSocket::Receive(void *lpBuf, int nBufLen, int nFlags)
{
    CString address;
    UINT port = 0;
    return ReceiveFrom(lpBuf, nBufLen, address, port, nFlags);
}

BOOL CAsyncSocket::GetSockName(CString &rSocketAddress, UINT &rSocketPort)
{
    sockaddr_in local = {};
    socklen_t len = sizeof local;
    if (m_hSocket == INVALID_SOCKET ||
        getsockname(m_hSocket, reinterpret_cast<sockaddr *>(&local), &len) != 0)
        return Fail(m_hSocket == INVALID_SOCKET ? WSAENOTSOCK : FromErrno(errno));
    rSocketAddress = AddressText(local.sin_addr);
    rSocketPort = ntohs(local.sin_port);
    return TRUE;
}

void CAsyncSocket::Close()
{
    if (m_pNotifier) {
        QSocketNotifier *notifier = m_pNotifier;
        m_pNotifier = nullptr;
        // The notifier may be the sender of the OnReceive running now: it goes later. Without
        // an interface thread no signal can be running, and it goes at once.
        if (!win::InvokeOnUiThread([notifier] {
                notifier->setEnabled(false);
                notifier->deleteLater();
            }))
            delete notifier;
    }
    if (m_hSocket != INVALID_SOCKET) {
        close(m_hSocket);
        m_hSocket = INVALID_SOCKET;
    }
}

int CAsyncSocket::GetLastError()
{
    return t_lastError;
}

void CAsyncSocket::OnReceive(int) {}

BOOL AfxSocketInit()
{
    return TRUE;
}

int WSACleanup()
{
    return 0;
}

int WSAGetLastError()
{
    return t_lastError;
}
