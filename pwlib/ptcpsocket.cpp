// PTCPSocket: non-blocking connect with its wait, listening and accepting.
#include <pwlib/internal/sockethandle.h>
#include <pwlib/ptcpsocket.h>

#include <cerrno>
#include <cstring>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

using pwlib::Deadline;
using pwlib::SocketHandle;
using pwlib::SocketUse;

namespace
{

void NoDelay(int fd)
{
    int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
}

} // namespace

PTCPSocket::PTCPSocket(const PString &host, WORD port) : PIPSocket(port)
{
    Connect(host);
}

BOOL PTCPSocket::Connect(const PString &host)
{
    Address addr;
    if (!GetHostAddress(host, addr))
        return SetErrorValues(NotFound, 0, LastGeneralError);
    return Connect(addr);
}

BOOL PTCPSocket::Connect(const Address &addr)
{
    WORD port = port_;
    if (!addr.IsValid() || port == 0)
        return SetErrorValues(BadParameter, EINVAL, LastGeneralError);
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return ConvertOSError(errno, LastGeneralError);
    NoDelay(fd);
    // Installed before connecting, so that a Close() from another thread can end the wait.
    SocketUse use(SetHandle(fd));
    if (!use)
        return SetErrorValues(Interrupted, 0, LastGeneralError);

    struct sockaddr_in sin;
    std::memset(&sin, 0, sizeof(sin));
    sin.sin_family = AF_INET;
    sin.sin_addr.s_addr = addr.GetNetworkOrder();
    sin.sin_port = htons(port);
    int error = 0;
    if (connect(fd, reinterpret_cast<struct sockaddr *>(&sin), sizeof(sin)) != 0)
        error = errno;
    BOOL result;
    if (error == 0) {
        result = SetErrorValues(NoError, 0, LastGeneralError);
    } else if (error != EINPROGRESS && error != EINTR) {
        result = ConvertOSError(error, LastGeneralError);
    } else {
        switch (use->WaitFor(POLLOUT, Deadline::After(GetReadTimeout()))) {
        case SocketHandle::Ready: {
            socklen_t len = sizeof(error);
            if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) != 0)
                error = errno;
            result = error == 0 ? SetErrorValues(NoError, 0, LastGeneralError)
                                : ConvertOSError(error, LastGeneralError);
            break;
        }
        case SocketHandle::TimedOut:
            result = SetErrorValues(Timeout, ETIMEDOUT, LastGeneralError);
            break;
        case SocketHandle::Closed:
            result = SetErrorValues(Interrupted, 0, LastGeneralError);
            break;
        default:
            result = ConvertOSError(errno, LastGeneralError);
            break;
        }
    }
    if (use->IsClosing())
        result = SetErrorValues(Interrupted, 0, LastGeneralError);
    if (!result) {
        Errors code = GetErrorCode(LastGeneralError);
        int number = GetErrorNumber(LastGeneralError);
        // Not waiting for ourselves: this thread's use ends with the function.
        Close();
        SetErrorValues(code, number, LastGeneralError);
    }
    return result;
}

BOOL PTCPSocket::Listen(unsigned queueSize, WORD port, Reusability reuse)
{
    return Listen(Address(), queueSize, port, reuse);
}

BOOL PTCPSocket::Listen(const Address &bind, unsigned queueSize, WORD port, Reusability reuse)
{
    std::shared_ptr<SocketHandle> handle =
        OpenBound(SOCK_STREAM, bind, port != 0 ? port : port_.load(), reuse);
    if (!handle)
        return FALSE;
    if (listen(handle->Fd(), queueSize > 0 ? static_cast<int>(queueSize) : 1) != 0) {
        int error = errno;
        Close();
        return ConvertOSError(error, LastGeneralError);
    }
    return SetErrorValues(NoError, 0, LastGeneralError);
}

BOOL PTCPSocket::Accept(PSocket &listener)
{
    PTCPSocket *tcpListener = dynamic_cast<PTCPSocket *>(&listener);
    if (tcpListener == nullptr)
        return SetErrorValues(BadParameter, EINVAL, LastGeneralError);
    SocketUse use(tcpListener->GetHandle());
    if (!use)
        return SetErrorValues(NotOpen, EBADF, LastGeneralError);
    Deadline deadline = Deadline::After(listener.GetReadTimeout());
    for (;;) {
        int fd = accept4(use->Fd(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd >= 0) {
            if (use->IsClosing()) {
                close(fd);
                return SetErrorValues(Interrupted, 0, LastGeneralError);
            }
            NoDelay(fd);
            SetHandle(fd);
            port_ = tcpListener->GetPort();
            return SetErrorValues(NoError, 0, LastGeneralError);
        }
        if (use->IsClosing())
            return SetErrorValues(Interrupted, 0, LastGeneralError);
        int error = errno;
        // A connection that went away before it was taken is no reason to stop listening.
        if (error == EINTR || error == ECONNABORTED || error == EPROTO)
            continue;
        if (error != EAGAIN && error != EWOULDBLOCK)
            return ConvertOSError(error, LastGeneralError);
        switch (use->WaitFor(POLLIN, deadline)) {
        case SocketHandle::Ready:
            break;
        case SocketHandle::TimedOut:
            return SetErrorValues(Timeout, 0, LastGeneralError);
        case SocketHandle::Closed:
            return SetErrorValues(Interrupted, 0, LastGeneralError);
        case SocketHandle::Failed:
            return ConvertOSError(errno, LastGeneralError);
        }
    }
}
