// TPKT-framed Q.931 on the simulator's TCP connections.
#include <tools/service-sim/tcp_frames.h>

#include <h323/q931/q931.h>
#include <h323/tpkt/tpkt.h>
#include <tools/masking/masking.h>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace servicesim {

namespace {

/** The payload length of the TPKT header at p (masked when masking); 0 when it is none. */
size_t FrameLength(const uint8_t *p, bool masking)
{
    uint8_t h[4];
    if (masking)
        toolmask::MaskStream(p, h, 4);
    else
        std::memcpy(h, p, 4);
    size_t length = (size_t(h[2]) << 8) | h[3];
    return h[0] == h323::tpkt::kVersion && length >= h323::tpkt::kHeaderSize ? length : 0;
}

} // namespace

int OpenListener(const std::string &address, uint16_t port, uint16_t *bound, std::string *error)
{
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        *error = std::string("socket: ") + std::strerror(errno);
        return -1;
    }
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    inet_pton(AF_INET, address.c_str(), &sa.sin_addr);
    if (::bind(fd, reinterpret_cast<sockaddr *>(&sa), sizeof(sa)) < 0 || ::listen(fd, 16) < 0) {
        *error = "tcp " + address + ":" + std::to_string(port) + ": " + std::strerror(errno);
        ::close(fd);
        return -1;
    }
    socklen_t len = sizeof(sa);
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&sa), &len);
    *bound = ntohs(sa.sin_port);
    return fd;
}

int ConnectTo(const Endpoint &to, int timeoutMs)
{
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return -1;
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(to.port);
    sa.sin_addr.s_addr = htonl(to.address);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&sa), sizeof(sa)) < 0) {
        pollfd p{fd, POLLOUT, 0};
        int error = 0;
        socklen_t len = sizeof(error);
        if (errno != EINPROGRESS || ::poll(&p, 1, timeoutMs) <= 0 ||
            ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) < 0 || error != 0) {
            ::close(fd);
            return -1;
        }
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

bool WriteAll(int fd, const uint8_t *p, size_t n)
{
    while (n > 0) {
        ssize_t w = ::send(fd, p, n, MSG_NOSIGNAL);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return false;
        p += w;
        n -= size_t(w);
    }
    return true;
}

std::vector<uint8_t> ReadFrame(int fd, bool masking, int timeoutMs)
{
    std::vector<uint8_t> frame;
    size_t need = h323::tpkt::kHeaderSize;
    while (frame.size() < need) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0)
            return {};
        uint8_t buf[4096];
        ssize_t n = ::recv(fd, buf, std::min(sizeof(buf), need - frame.size()), 0);
        if (n <= 0)
            return {};
        frame.insert(frame.end(), buf, buf + n);
        if (frame.size() == h323::tpkt::kHeaderSize && (need = FrameLength(frame.data(), masking)) == 0)
            return {};
    }
    return frame;
}

bool FrameMessage(const std::vector<uint8_t> &frame, bool masking, Q931 &q931)
{
    if (frame.size() < h323::tpkt::kHeaderSize)
        return false;
    std::vector<uint8_t> plain(frame.begin() + h323::tpkt::kHeaderSize, frame.end());
    if (masking)
        toolmask::MaskStream(plain.data(), plain.data(), plain.size());
    return q931.Decode(plain);
}

std::vector<uint8_t> MessageFrame(const Q931 &q931, bool masking)
{
    std::vector<uint8_t> message, frame;
    if (!q931.Encode(message) ||
        h323::tpkt::write_frame(message.data(), message.size(), frame) != h323::tpkt::Status::ok)
        return {};
    if (masking)
        toolmask::MaskStream(frame.data(), frame.data(), frame.size());
    return frame;
}

bool FrameSplitter::Next(std::vector<uint8_t> &frame)
{
    if (broken_ || buffer_.size() < h323::tpkt::kHeaderSize)
        return false;
    size_t length = FrameLength(buffer_.data(), masking_);
    if (length == 0) {
        broken_ = true;
        return false;
    }
    if (buffer_.size() < length)
        return false;
    frame.assign(buffer_.begin(), buffer_.begin() + long(length));
    buffer_.erase(buffer_.begin(), buffer_.begin() + long(length));
    return true;
}

} // namespace servicesim
