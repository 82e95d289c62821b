// PUDPSocket: datagrams to and from any address.
#pragma once

#include <pwlib/pipsocket.h>

#include <mutex>

/// A UDP socket. Datagrams may be up to 64 KiB. A socket that is written to before Listen()
/// is opened on a free port first.
class PUDPSocket : public PIPSocket
{
    PCLASSINFO(PUDPSocket, PIPSocket)
  public:
    /// A closed socket whose port (for Listen) is port.
    explicit PUDPSocket(WORD port = 0) : PIPSocket(port) {}
    ~PUDPSocket() override;

    /// Binds to port on all interfaces (0: the port set in the object; both 0: any free
    /// port, see GetPort()). queueSize is not used by datagram sockets.
    BOOL Listen(unsigned queueSize = 5, WORD port = 0, Reusability reuse = AddressIsExclusive);
    BOOL Listen(const Address &bind, unsigned queueSize = 5, WORD port = 0,
                Reusability reuse = AddressIsExclusive);
    /// Binds to the first free port of firstPort..lastPort on bind.
    BOOL ListenInRange(const Address &bind, WORD firstPort, WORD lastPort,
                       Reusability reuse = AddressIsExclusive);

    /// Receives one datagram (waiting at most the read time-out) and gives its sender. A
    /// datagram longer than len is dropped after its first len bytes: FALSE with
    /// BufferTooSmall and the count of the bytes kept.
    BOOL ReadFrom(void *buf, PINDEX len, Address &addr, WORD &port);
    /// ReadFrom() that also gives when the datagram arrived: the system's receive time, in
    /// milliseconds of PTimer::Tick(). A datagram read long after it came keeps its time.
    BOOL ReadFrom(void *buf, PINDEX len, Address &addr, WORD &port, PInt64 &arrivedMs);
    /// Sends one datagram to addr:port.
    BOOL WriteTo(const void *buf, PINDEX len, const Address &addr, WORD port);

    /// ReadFrom() that keeps the sender for GetLastReceiveAddress().
    BOOL Read(void *buf, PINDEX len) override;
    /// WriteTo() the send address.
    BOOL Write(const void *buf, PINDEX len) override;

    void SetSendAddress(const Address &addr, WORD port);
    void GetSendAddress(Address &addr, WORD &port) const;
    void GetLastReceiveAddress(Address &addr, WORD &port) const;

  private:
    std::shared_ptr<pwlib::SocketHandle> OpenForUse();
    /// ReadFrom() with the arrival time when arrivedMs is given.
    BOOL Receive(void *buf, PINDEX len, Address &addr, WORD &port, PInt64 *arrivedMs);

    mutable std::mutex addressMutex_;
    Address sendAddress_;
    WORD sendPort_ = 0;
    Address lastReceiveAddress_;
    WORD lastReceivePort_ = 0;
};
