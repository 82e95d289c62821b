// H323ListenerTCP: accepts incoming call-signalling connections on one TCP port.
#pragma once

#include <h323/transports/transport_address.h>

#include <pwlib/pmutex.h>
#include <pwlib/psyncpoint.h>
#include <pwlib/ptcpsocket.h>
#include <pwlib/pthread.h>

#include <set>

class H323EndPoint;
class H323TransportTCP;

/// A TCP listener. Its thread accepts connections; each accepted socket becomes an
/// H323TransportTCP whose own thread reads the first PDU and runs the call
/// (H323Transport::HandleFirstSignallingChannelPDU). Close() stops accepting and ends the
/// transports still waiting for their first PDU.
class H323ListenerTCP : public PObject
{
    PCLASSINFO(H323ListenerTCP, PObject)
  public:
    /// How long an accepted connection may take to send its first PDU.
    static constexpr int FirstPDUTimeout = 10000; // ms

    H323ListenerTCP(H323EndPoint &endpoint, PIPSocket::Address binding, WORD port);
    ~H323ListenerTCP() override;

    /// Binds (the address may be reused at once, so a restart on the same port works) and
    /// starts accepting. FALSE when the port cannot be bound.
    BOOL Open();
    /// Stops accepting, waits for the accept thread and for transports without a call.
    void Close();
    BOOL IsOpen() const;

    /// "ip$a.b.c.d:port" ("ip$*:port" when bound to every interface).
    H323TransportAddress GetTransportAddress() const;
    WORD GetPort() const { return listener.GetPort(); }

  private:
    class AcceptThread;
    class AnswerThread;
    void AcceptLoop();
    void AnswerConnection(H323TransportTCP *transport);
    void Forget(H323TransportTCP *transport);

    H323EndPoint &endpoint;
    PIPSocket::Address binding;
    WORD requestedPort;
    PTCPSocket listener;
    PThread *acceptThread = nullptr;
    PMutex pendingMutex;
    std::set<H323TransportTCP *> pending; // transports reading their first PDU
    PSyncPoint pendingEmpty;
    bool closing = false;
};
