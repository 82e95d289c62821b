// PTCPSocket: TCP connections: connect, listen, accept.
#pragma once

#include <pwlib/pipsocket.h>

/// A TCP socket. Connected sockets send without delay (Nagle's algorithm is off), since the
/// signalling it carries is small request/response traffic.
class PTCPSocket : public PIPSocket
{
    PCLASSINFO(PTCPSocket, PIPSocket)
  public:
    /// A closed socket whose port (for Connect or Listen) is port.
    explicit PTCPSocket(WORD port = 0) : PIPSocket(port) {}
    /// Connects at once to host:port; check IsOpen() for the result.
    PTCPSocket(const PString &host, WORD port);

    /// Connects to addr at GetPort(), blocking until connected, refused or unreachable, the
    /// read time-out (PMaxTimeInterval: the system's own limit) or a Close() from another
    /// thread (Interrupted). An invalid address (0.0.0.0) or port 0 fails at once with
    /// BadParameter. On failure the socket is closed; GetErrorNumber() gives the errno.
    BOOL Connect(const Address &addr);
    /// Looks the host up, then connects as above.
    BOOL Connect(const PString &host);

    /// Listens on all interfaces at port (0: the port set in the object; both 0: any free
    /// port, see GetPort() afterwards).
    BOOL Listen(unsigned queueSize = 5, WORD port = 0, Reusability reuse = AddressIsExclusive);
    /// Listens on the interface bind only.
    BOOL Listen(const Address &bind, unsigned queueSize = 5, WORD port = 0,
                Reusability reuse = AddressIsExclusive);

    /// Waits (within the listener's read time-out) for a connection on listener and makes
    /// this socket that connection. A Close() of the listener from another thread ends the
    /// wait with Interrupted.
    BOOL Accept(PSocket &listener);
};
