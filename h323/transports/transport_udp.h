// H323TransportUDP: RAS datagrams over UDP.
#pragma once

#include <h323/transports/transport.h>

#include <pwlib/pudpsocket.h>

/// A UDP transport for RAS. Each PDU is one datagram. Replies are accepted from the remote
/// address only, unless the transport is promiscuous (discovery, where the gatekeeper may
/// answer from another address); GetLastReceivedAddress gives the sender.
class H323TransportUDP : public H323Transport
{
    PCLASSINFO(H323TransportUDP, H323Transport)
  public:
    /// The largest RAS datagram read.
    static constexpr PINDEX MaxDatagram = 10000;

    /// Binds at once to binding:localPort (port 0: any free port).
    explicit H323TransportUDP(H323EndPoint &endpoint,
                              PIPSocket::Address binding = PIPSocket::Address(),
                              WORD localPort = 0);
    ~H323TransportUDP() override;

    /// Receives one datagram of up to MaxDatagram bytes and passes it through the traffic
    /// hook; datagrams from other senders are skipped unless promiscuous.
    BOOL ReadPDU(PBYTEArray &pdu) override;
    /// Sends one datagram to the remote address, through the traffic hook into a copy.
    BOOL WritePDU(const PBYTEArray &pdu) override;

    /// Nothing to connect: TRUE when a remote address is set.
    BOOL Connect() override;
    BOOL SetRemoteAddress(const H323TransportAddress &address) override;
    H323TransportAddress GetRemoteAddress() const override;
    H323TransportAddress GetLocalAddress() const override;

    /// Accepts datagrams from any sender (discovery) or from the remote address only.
    void SetPromiscuous(BOOL on) { promiscuous = on; }
    /// The sender of the last datagram read.
    H323TransportAddress GetLastReceivedAddress() const;

  private:
    PUDPSocket *udp = nullptr;
    mutable PMutex addressMutex;
    PIPSocket::Address remoteAddress;
    WORD remotePort = 0;
    PIPSocket::Address lastAddress;
    WORD lastPort = 0;
    std::atomic<bool> promiscuous{false};
};
