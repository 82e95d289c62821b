// PUDPSocket: binding, receiving with the sender's address and sending datagrams.
#include <pwlib/internal/sockethandle.h>
#include <pwlib/pudpsocket.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <time.h>

using pwlib::Deadline;
using pwlib::SocketHandle;
using pwlib::SocketUse;

PUDPSocket::~PUDPSocket()
{
    // Operations of other threads use the addresses; they must have left first.
    Close();
}

BOOL PUDPSocket::Listen(unsigned queueSize, WORD port, Reusability reuse)
{
    return Listen(Address(), queueSize, port, reuse);
}

BOOL PUDPSocket::Listen(const Address &bind, unsigned, WORD port, Reusability reuse)
{
    if (!OpenBound(SOCK_DGRAM, bind, port != 0 ? port : port_.load(), reuse))
        return FALSE;
    return SetErrorValues(NoError, 0, LastGeneralError);
}

BOOL PUDPSocket::ListenInRange(const Address &bind, WORD firstPort, WORD lastPort,
                               Reusability reuse)
{
    if (firstPort == 0 || lastPort < firstPort)
        return SetErrorValues(BadParameter, EINVAL, LastGeneralError);
    for (unsigned port = firstPort; port <= lastPort; ++port) {
        if (OpenBound(SOCK_DGRAM, bind, static_cast<WORD>(port), reuse))
            return SetErrorValues(NoError, 0, LastGeneralError);
        if (GetErrorCode(LastGeneralError) != DeviceInUse)
            return FALSE;
    }
    return FALSE;
}

std::shared_ptr<SocketHandle> PUDPSocket::OpenForUse()
{
    std::shared_ptr<SocketHandle> handle = GetHandle();
    if (handle)
        return handle;
    return OpenBound(SOCK_DGRAM, Address(), 0, AddressIsExclusive);
}

namespace
{

/// When a datagram received at kernelTime (the system clock) arrived, in ms of the steady
/// clock PTimer::Tick() reads.
PInt64 SteadyArrival(const struct timespec *kernelTime)
{
    using namespace std::chrono;
    const auto steadyNow = steady_clock::now();
    nanoseconds age{0};
    if (kernelTime != nullptr) {
        const auto received = system_clock::time_point(duration_cast<system_clock::duration>(
            seconds(kernelTime->tv_sec) + nanoseconds(kernelTime->tv_nsec)));
        age = duration_cast<nanoseconds>(system_clock::now() - received);
        // A clock set between the arrival and now says nothing: taken as now.
        if (age < nanoseconds(0) || age > minutes(1))
            age = nanoseconds(0);
    }
    return duration_cast<milliseconds>((steadyNow - age).time_since_epoch()).count();
}

} // namespace

BOOL PUDPSocket::ReadFrom(void *buf, PINDEX len, Address &addr, WORD &port)
{
    return Receive(buf, len, addr, port, nullptr);
}

BOOL PUDPSocket::ReadFrom(void *buf, PINDEX len, Address &addr, WORD &port, PInt64 &arrivedMs)
{
    return Receive(buf, len, addr, port, &arrivedMs);
}

BOOL PUDPSocket::Receive(void *buf, PINDEX len, Address &addr, WORD &port, PInt64 *arrivedMs)
{
    lastReadCount_ = 0;
    if (buf == nullptr || len <= 0)
        return SetErrorValues(BadParameter, EINVAL, LastReadError);
    SocketUse use(GetHandle());
    if (!use)
        return SetErrorValues(NotOpen, EBADF, LastReadError);
    if (arrivedMs != nullptr)
        use->EnableReceiveTimes(); // datagrams queued before carry no time: received now
    Deadline deadline = Deadline::After(GetReadTimeout());
    for (;;) {
        struct sockaddr_in sin;
        std::memset(&sin, 0, sizeof(sin));
        struct iovec iov = {buf, static_cast<size_t>(len)};
        alignas(struct cmsghdr) char control[CMSG_SPACE(sizeof(struct timespec))];
        struct msghdr msg;
        std::memset(&msg, 0, sizeof(msg));
        msg.msg_name = &sin;
        msg.msg_namelen = sizeof(sin);
        msg.msg_iov = &iov;
        msg.msg_iovlen = 1;
        if (arrivedMs != nullptr) {
            msg.msg_control = control;
            msg.msg_controllen = sizeof(control);
        }
        ssize_t count = recvmsg(use->Fd(), &msg, MSG_TRUNC);
        if (use->IsClosing())
            return SetErrorValues(Interrupted, 0, LastReadError);
        if (count >= 0) {
            addr = Address(static_cast<DWORD>(sin.sin_addr.s_addr));
            port = ntohs(sin.sin_port);
            if (arrivedMs != nullptr) {
                const struct timespec *received = nullptr;
                for (struct cmsghdr *c = CMSG_FIRSTHDR(&msg); c != nullptr;
                     c = CMSG_NXTHDR(&msg, c)) {
                    if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS &&
                        c->cmsg_len >= CMSG_LEN(sizeof(struct timespec)))
                        received = reinterpret_cast<const struct timespec *>(CMSG_DATA(c));
                }
                *arrivedMs = SteadyArrival(received);
            }
            if (count > len) {
                lastReadCount_ = len;
                return SetErrorValues(BufferTooSmall, EMSGSIZE, LastReadError);
            }
            lastReadCount_ = static_cast<PINDEX>(count);
            return SetErrorValues(NoError, 0, LastReadError);
        }
        int error = errno;
        if (error == EINTR)
            continue;
        // An ICMP error left by an earlier datagram says nothing about this read.
        if (error == ECONNREFUSED)
            continue;
        if (error != EAGAIN && error != EWOULDBLOCK)
            return ConvertOSError(error, LastReadError);
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

BOOL PUDPSocket::WriteTo(const void *buf, PINDEX len, const Address &addr, WORD port)
{
    lastWriteCount_ = 0;
    if (len < 0 || (buf == nullptr && len > 0) || port == 0 || addr.IsAny())
        return SetErrorValues(BadParameter, EINVAL, LastWriteError);
    SocketUse use(OpenForUse());
    if (!use)
        return SetErrorValues(NotOpen, EBADF, LastWriteError);
    struct sockaddr_in sin;
    std::memset(&sin, 0, sizeof(sin));
    sin.sin_family = AF_INET;
    sin.sin_addr.s_addr = addr.GetNetworkOrder();
    sin.sin_port = htons(port);
    Deadline deadline = Deadline::After(GetWriteTimeout());
    for (;;) {
        ssize_t count = sendto(use->Fd(), buf, static_cast<size_t>(len), MSG_NOSIGNAL,
                               reinterpret_cast<struct sockaddr *>(&sin), sizeof(sin));
        if (use->IsClosing())
            return SetErrorValues(Interrupted, 0, LastWriteError);
        if (count >= 0) {
            lastWriteCount_ = static_cast<PINDEX>(count);
            return SetErrorValues(NoError, 0, LastWriteError);
        }
        int error = errno;
        if (error == EINTR)
            continue;
        if (error != EAGAIN && error != EWOULDBLOCK)
            return ConvertOSError(error, LastWriteError);
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
}

BOOL PUDPSocket::Read(void *buf, PINDEX len)
{
    Address addr;
    WORD port = 0;
    BOOL ok = ReadFrom(buf, len, addr, port);
    if (ok || GetErrorCode(LastReadError) == BufferTooSmall) {
        std::lock_guard<std::mutex> lock(addressMutex_);
        lastReceiveAddress_ = addr;
        lastReceivePort_ = port;
    }
    return ok;
}

BOOL PUDPSocket::Write(const void *buf, PINDEX len)
{
    Address addr;
    WORD port;
    GetSendAddress(addr, port);
    return WriteTo(buf, len, addr, port);
}

void PUDPSocket::SetSendAddress(const Address &addr, WORD port)
{
    std::lock_guard<std::mutex> lock(addressMutex_);
    sendAddress_ = addr;
    sendPort_ = port;
}

void PUDPSocket::GetSendAddress(Address &addr, WORD &port) const
{
    std::lock_guard<std::mutex> lock(addressMutex_);
    addr = sendAddress_;
    port = sendPort_;
}

void PUDPSocket::GetLastReceiveAddress(Address &addr, WORD &port) const
{
    std::lock_guard<std::mutex> lock(addressMutex_);
    addr = lastReceiveAddress_;
    port = lastReceivePort_;
}
