// PIPSocket: binding, and the local and peer addresses of an open socket.
#include <pwlib/internal/sockethandle.h>
#include <pwlib/pipsocket.h>

#include <cerrno>
#include <cstring>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace
{

bool Name(int fd, bool peer, PIPSocket::Address &addr, WORD &port)
{
    struct sockaddr_in sin;
    socklen_t len = sizeof(sin);
    std::memset(&sin, 0, sizeof(sin));
    int result = peer ? getpeername(fd, reinterpret_cast<struct sockaddr *>(&sin), &len)
                      : getsockname(fd, reinterpret_cast<struct sockaddr *>(&sin), &len);
    if (result != 0 || sin.sin_family != AF_INET)
        return false;
    addr = PIPSocket::Address(static_cast<DWORD>(sin.sin_addr.s_addr));
    port = ntohs(sin.sin_port);
    return true;
}

} // namespace

PIPSocket::~PIPSocket()
{
    // Operations of other threads use port_; they must have left before it goes.
    Close();
}

BOOL PIPSocket::GetLocalAddress(Address &addr)
{
    WORD port;
    return GetLocalAddress(addr, port);
}

BOOL PIPSocket::GetLocalAddress(Address &addr, WORD &port)
{
    pwlib::SocketUse use(GetHandle());
    if (!use)
        return SetErrorValues(NotOpen, EBADF, LastGeneralError);
    if (!Name(use->Fd(), false, addr, port))
        return ConvertOSError(errno, LastGeneralError);
    return TRUE;
}

BOOL PIPSocket::GetPeerAddress(Address &addr)
{
    WORD port;
    return GetPeerAddress(addr, port);
}

BOOL PIPSocket::GetPeerAddress(Address &addr, WORD &port)
{
    pwlib::SocketUse use(GetHandle());
    if (!use)
        return SetErrorValues(NotOpen, EBADF, LastGeneralError);
    if (!Name(use->Fd(), true, addr, port))
        return ConvertOSError(errno, LastGeneralError);
    return TRUE;
}

std::shared_ptr<pwlib::SocketHandle> PIPSocket::OpenBound(int type, const Address &addr, WORD port,
                                                          Reusability reuse)
{
    int fd = socket(AF_INET, type | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        ConvertOSError(errno, LastGeneralError);
        return nullptr;
    }
    if (reuse == CanReuseAddress) {
        int on = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
    }
    struct sockaddr_in sin;
    std::memset(&sin, 0, sizeof(sin));
    sin.sin_family = AF_INET;
    sin.sin_addr.s_addr = addr.GetNetworkOrder();
    sin.sin_port = htons(port);
    if (bind(fd, reinterpret_cast<struct sockaddr *>(&sin), sizeof(sin)) != 0) {
        ConvertOSError(errno, LastGeneralError);
        close(fd);
        return nullptr;
    }
    Address bound;
    WORD boundPort = 0;
    if (Name(fd, false, bound, boundPort))
        port_ = boundPort;
    return SetHandle(fd);
}
