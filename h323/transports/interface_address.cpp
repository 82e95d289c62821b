// The interface towards a remote address: a connected datagram socket reports it.
#include <h323/transports/interface_address.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace h323 {

PIPSocket::Address LocalInterfaceFor(const PIPSocket::Address &remote)
{
    if (remote.IsLoopback())
        return PIPSocket::Address(127, 0, 0, 1);
    PIPSocket::Address result;
    if (remote.IsValid()) {
        int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (fd >= 0) {
            sockaddr_in to{};
            to.sin_family = AF_INET;
            to.sin_port = htons(9); // any port: a datagram connect sends nothing
            to.sin_addr.s_addr = remote.GetNetworkOrder();
            sockaddr_in local{};
            socklen_t len = sizeof(local);
            if (::connect(fd, reinterpret_cast<sockaddr *>(&to), sizeof(to)) == 0 &&
                ::getsockname(fd, reinterpret_cast<sockaddr *>(&local), &len) == 0)
                result = PIPSocket::Address(DWORD(local.sin_addr.s_addr));
            ::close(fd);
        }
    }
    if (!result.IsValid())
        PIPSocket::GetHostAddress(result);
    return result;
}

} // namespace h323
