// A loopback UDP socket for the simulator's servers: bind, send, receive with length check.
#pragma once

#include <cstdint>
#include <string>

namespace servicesim
{

/** An IPv4 address and port, host byte order. */
struct Endpoint {
    uint32_t address = 0;
    uint16_t port = 0;

    std::string ToString() const;
    auto operator<=>(const Endpoint &) const = default;
};

/** A non-blocking UDP socket bound to an IPv4 address. */
class UdpSocket
{
  public:
    UdpSocket() = default;
    ~UdpSocket();
    UdpSocket(const UdpSocket &) = delete;
    UdpSocket &operator=(const UdpSocket &) = delete;

    /** Binds to address:port (port 0: any free port); false with error set on failure. */
    bool Bind(const std::string &address, uint16_t port, std::string *error);

    /** Sends one datagram; false when the system refused it. */
    bool SendTo(const Endpoint &to, const std::string &data);

    enum class Received { Datagram, NoneWaiting, Error };

    /**
     * Receives one datagram: at most maxLength bytes into data, its full length into
     * length (longer than data when the datagram did not fit).
     */
    Received Receive(std::string *data, size_t maxLength, Endpoint *from, size_t *length);

    int Fd() const { return fd_; }
    uint16_t LocalPort() const;
    void Close();

  private:
    int fd_ = -1;
};

} // namespace servicesim
