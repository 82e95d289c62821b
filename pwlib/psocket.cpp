// PSocket: stream reads and writes, shutdown, close and Select.
#include <pwlib/internal/sockethandle.h>
#include <pwlib/psocket.h>

#include <cerrno>

#include <sys/socket.h>

using pwlib::Deadline;
using pwlib::SocketHandle;
using pwlib::SocketUse;

PSocket::~PSocket()
{
    Close();
}

std::shared_ptr<SocketHandle> PSocket::GetHandle() const
{
    std::lock_guard<std::mutex> lock(handleMutex_);
    return handle_;
}

std::shared_ptr<SocketHandle> PSocket::SetHandle(int fd)
{
    auto handle = std::make_shared<SocketHandle>(fd);
    std::shared_ptr<SocketHandle> previous;
    {
        std::lock_guard<std::mutex> lock(handleMutex_);
        previous = std::move(handle_);
        handle_ = handle;
    }
    if (previous)
        previous->Close();
    return handle;
}

BOOL PSocket::IsOpen() const
{
    std::shared_ptr<SocketHandle> handle = GetHandle();
    return handle && !handle->IsClosing();
}

BOOL PSocket::Close()
{
    std::shared_ptr<SocketHandle> handle;
    {
        std::lock_guard<std::mutex> lock(handleMutex_);
        handle = std::move(handle_);
    }
    if (!handle)
        return SetErrorValues(NotOpen, 0, LastGeneralError);
    handle->Close();
    return SetErrorValues(NoError, 0, LastGeneralError);
}

BOOL PSocket::Read(void *buf, PINDEX len)
{
    lastReadCount_ = 0;
    if (buf == nullptr || len <= 0)
        return SetErrorValues(BadParameter, EINVAL, LastReadError);
    SocketUse use(GetHandle());
    if (!use)
        return SetErrorValues(NotOpen, EBADF, LastReadError);
    Deadline deadline = Deadline::After(GetReadTimeout());
    for (;;) {
        ssize_t count = recv(use->Fd(), buf, static_cast<size_t>(len), 0);
        if (count > 0) {
            lastReadCount_ = static_cast<PINDEX>(count);
            return SetErrorValues(NoError, 0, LastReadError);
        }
        if (use->IsClosing())
            return SetErrorValues(Interrupted, 0, LastReadError);
        if (count == 0)
            return SetErrorValues(NotOpen, 0, LastReadError);
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            return ConvertOSError(errno, LastReadError);
        switch (use->WaitFor(POLLIN, deadline)) {
        case SocketHandle::Ready:
            break;
        case SocketHandle::TimedOut:
            return SetErrorValues(Timeout, 0, LastReadError);
        case SocketHandle::Closed:
            return SetErrorValues(Interrupted, 0, LastReadError);
        case SocketHandle::Failed:
            return ConvertOSError(errno, LastReadError);
        }
    }
}

BOOL PSocket::Write(const void *buf, PINDEX len)
{
    lastWriteCount_ = 0;
    if (len < 0 || (buf == nullptr && len > 0))
        return SetErrorValues(BadParameter, EINVAL, LastWriteError);
    SocketUse use(GetHandle());
    if (!use)
        return SetErrorValues(NotOpen, EBADF, LastWriteError);
    Deadline deadline = Deadline::After(GetWriteTimeout());
    const char *bytes = static_cast<const char *>(buf);
    PINDEX written = 0;
    while (written < len) {
        ssize_t count =
            send(use->Fd(), bytes + written, static_cast<size_t>(len - written), MSG_NOSIGNAL);
        if (count > 0) {
            written += static_cast<PINDEX>(count);
            lastWriteCount_ = written;
            continue;
        }
        if (use->IsClosing())
            return SetErrorValues(Interrupted, 0, LastWriteError);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            return ConvertOSError(errno, LastWriteError);
        switch (use->WaitFor(POLLOUT, deadline)) {
        case SocketHandle::Ready:
            break;
        case SocketHandle::TimedOut:
            return SetErrorValues(Timeout, 0, LastWriteError);
        case SocketHandle::Closed:
            return SetErrorValues(Interrupted, 0, LastWriteError);
        case SocketHandle::Failed:
            return ConvertOSError(errno, LastWriteError);
        }
    }
    return SetErrorValues(NoError, 0, LastWriteError);
}

BOOL PSocket::Shutdown(ShutdownValue value)
{
    SocketUse use(GetHandle());
    if (!use)
        return SetErrorValues(NotOpen, EBADF, LastGeneralError);
    static const int how[] = {SHUT_RD, SHUT_WR, SHUT_RDWR};
    if (shutdown(use->Fd(), how[value <= ShutdownReadAndWrite ? value : ShutdownReadAndWrite]) != 0)
        return ConvertOSError(errno, LastGeneralError);
    return SetErrorValues(NoError, 0, LastGeneralError);
}

namespace
{

int SelectOn(PSocket &sock1, PSocket *sock2, const PTimeInterval &timeout,
             std::shared_ptr<SocketHandle> handle1, std::shared_ptr<SocketHandle> handle2)
{
    SocketUse use1(std::move(handle1));
    SocketUse use2(std::move(handle2));
    if (!use1 || (sock2 != nullptr && !use2))
        return PChannel::NotOpen;
    bool ready1 = false, ready2 = false;
    switch (SocketHandle::WaitReadable(*use1, sock2 != nullptr ? &*use2 : nullptr,
                                       Deadline::After(timeout), ready1, ready2)) {
    case SocketHandle::Ready:
        return (ready1 ? -1 : 0) + (ready2 ? -2 : 0);
    case SocketHandle::TimedOut:
        return 0;
    case SocketHandle::Closed:
        return PChannel::Interrupted;
    case SocketHandle::Failed:
        break;
    }
    return PChannel::Miscellaneous;
}

} // namespace

int PSocket::Select(PSocket &sock, const PTimeInterval &timeout)
{
    return SelectOn(sock, nullptr, timeout, sock.GetHandle(), nullptr);
}

int PSocket::Select(PSocket &sock1, PSocket &sock2, const PTimeInterval &timeout)
{
    return SelectOn(sock1, &sock2, timeout, sock1.GetHandle(), sock2.GetHandle());
}
