// A loopback UDP socket for the simulator's servers: bind, send, receive with length check.
#include <tools/service-sim/udp_socket.h>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace servicesim
{

namespace
{

sockaddr_in ToSockaddr(const Endpoint &endpoint)
{
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(endpoint.address);
    sa.sin_port = htons(endpoint.port);
    return sa;
}

} // namespace

std::string Endpoint::ToString() const
{
    in_addr a{htonl(address)};
    char text[INET_ADDRSTRLEN];
    inet_ntop(AF_INET, &a, text, sizeof(text));
    return std::string(text) + ":" + std::to_string(port);
}

UdpSocket::~UdpSocket()
{
    Close();
}

void UdpSocket::Close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

bool UdpSocket::Bind(const std::string &address, uint16_t port, std::string *error)
{
    Close();
    in_addr a{};
    if (inet_pton(AF_INET, address.c_str(), &a) != 1) {
        *error = "not an IPv4 address: " + address;
        return false;
    }
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd_ < 0) {
        *error = std::string("socket: ") + std::strerror(errno);
        return false;
    }
    sockaddr_in sa = ToSockaddr({ntohl(a.s_addr), port});
    if (::bind(fd_, reinterpret_cast<sockaddr *>(&sa), sizeof(sa)) < 0) {
        *error = "bind " + address + ":" + std::to_string(port) + ": " + std::strerror(errno);
        Close();
        return false;
    }
    return true;
}

uint16_t UdpSocket::LocalPort() const
{
    sockaddr_in sa{};
    socklen_t len = sizeof(sa);
    if (fd_ < 0 || ::getsockname(fd_, reinterpret_cast<sockaddr *>(&sa), &len) < 0)
        return 0;
    return ntohs(sa.sin_port);
}

bool UdpSocket::SendTo(const Endpoint &to, const std::string &data)
{
    sockaddr_in sa = ToSockaddr(to);
    return ::sendto(fd_, data.data(), data.size(), 0, reinterpret_cast<sockaddr *>(&sa),
                    sizeof(sa)) == static_cast<ssize_t>(data.size());
}

UdpSocket::Received UdpSocket::Receive(std::string *data, size_t maxLength, Endpoint *from,
                                       size_t *length)
{
    data->resize(maxLength);
    sockaddr_in sa{};
    socklen_t len = sizeof(sa);
    ssize_t n = ::recvfrom(fd_, data->data(), maxLength, MSG_TRUNC,
                           reinterpret_cast<sockaddr *>(&sa), &len);
    if (n < 0) {
        data->clear();
        return errno == EAGAIN || errno == EWOULDBLOCK ? Received::NoneWaiting : Received::Error;
    }
    data->resize(std::min(static_cast<size_t>(n), maxLength));
    from->address = ntohl(sa.sin_addr.s_addr);
    from->port = ntohs(sa.sin_port);
    *length = static_cast<size_t>(n);
    return Received::Datagram;
}

} // namespace servicesim
