// H323TransportTCP: TPKT-framed PDUs over a TCP connection (call signalling and H.245).
#pragma once

#include <h323/transports/transport.h>

#include <pwlib/ptcpsocket.h>

/// A TCP transport. It connects to a remote address, takes over a connected socket
/// (Open), or listens for the one incoming connection of a separate H.245 channel.
class H323TransportTCP : public H323Transport
{
    PCLASSINFO(H323TransportTCP, H323Transport)
  public:
    /// The read time-out for the rest of a PDU once its first byte has arrived.
    static constexpr int PDUBodyTimeout = 5000; // ms

    /// binding: the local interface for connecting or listening (any by default). With
    /// listen TRUE the transport opens a listening socket at once (port chosen by the
    /// system) and AcceptControlChannel waits for the peer.
    explicit H323TransportTCP(H323EndPoint &endpoint,
                              PIPSocket::Address binding = PIPSocket::Address(),
                              BOOL listen = FALSE);
    ~H323TransportTCP() override;

    /// Takes over a connected socket (it must be a PTCPSocket); with autoDelete the
    /// transport owns and deletes it.
    BOOL Open(PChannel *socket, BOOL autoDelete = TRUE);

    /// TPKT read: one byte, which must be version 3 (else ProtocolFailure); the other
    /// three header bytes and the body within PDUBodyTimeout; a length below 4 is a
    /// ProtocolFailure. The bytes pass the traffic hook as they arrive.
    BOOL ReadPDU(PBYTEArray &pdu) override;
    /// TPKT write: header and body in one buffer, through the traffic hook into a second
    /// buffer when a hook is installed, then one write.
    BOOL WritePDU(const PBYTEArray &pdu) override;

    /// Connects to the remote address; on failure GetErrorNumber() gives the errno.
    BOOL Connect() override;
    BOOL SetRemoteAddress(const H323TransportAddress &address) override;
    H323TransportAddress GetRemoteAddress() const override;
    H323TransportAddress GetLocalAddress() const override;

    /// For a listening transport: waits (within timeout) for the peer's connection and
    /// makes it this transport's socket. FALSE on time-out or close.
    BOOL AcceptControlChannel(const PTimeInterval &timeout);
    /// TRUE while the transport listens and has not accepted yet.
    BOOL IsListening() const { return listener != nullptr; }

    BOOL Close() override;

  private:
    PIPSocket::Address localBinding;
    PIPSocket::Address remoteAddress;
    WORD remotePort = 0;
    PTCPSocket *listener = nullptr;
    PMutex listenerMutex;
};
