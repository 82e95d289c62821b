// H323TransportAddress: an IPv4 transport address as text, "ip$a.b.c.d:port".
#pragma once

#include <pwlib/pipsocket.h>
#include <pwlib/pstring.h>

class H225_TransportAddress;
class H245_TransportAddress;

/// A transport address in the library's text form "ip$a.b.c.d:port" ("ip$*:port" for every
/// interface, "ip$host:port" before a look-up). Construction accepts "a.b.c.d[:port]",
/// "host[:port]", "*:port" and the "ip$" form; a missing port stays missing and the
/// readers fill in the default of the protocol.
class H323TransportAddress : public PString
{
    PCLASSINFO(H323TransportAddress, PString)
  public:
    /// Default ports of H.225.0: call signalling (TCP) and RAS (UDP).
    enum { DefaultSignalPort = 1720, DefaultRasPort = 1719 };

    H323TransportAddress() = default;
    H323TransportAddress(const char *address);
    H323TransportAddress(const PString &address);
    H323TransportAddress(const PIPSocket::Address &ip, WORD port);
    /// From the ipAddress alternative; empty for the others.
    explicit H323TransportAddress(const H225_TransportAddress &pdu);
    /// From the unicast iPAddress alternative; empty for the others.
    explicit H323TransportAddress(const H245_TransportAddress &pdu);

    PObject *Clone() const override { return new H323TransportAddress(*this); }

    /// Writes the address as the ipAddress alternative; FALSE when it is not an IPv4
    /// address (a host name is looked up first).
    BOOL SetPDU(H225_TransportAddress &pdu, WORD defaultPort = DefaultSignalPort) const;
    BOOL SetPDU(H245_TransportAddress &pdu, WORD defaultPort = 0) const;

    /// The address and port (defaultPort when the text has none); a host name is looked
    /// up (blocking). FALSE for empty or unusable text; "*" gives 0.0.0.0.
    BOOL GetIpAndPort(PIPSocket::Address &ip, WORD &port, WORD defaultPort = DefaultSignalPort) const;
    BOOL GetIpAddress(PIPSocket::Address &ip) const;
    /// The port in the text, 0 when it has none.
    WORD GetPort() const;
    /// The host part ("a.b.c.d", a host name or "*").
    PString GetHostName() const;

    /// TRUE when both name the same address and port (a missing port counting as
    /// defaultPort, "*" matching any address).
    BOOL IsEquivalent(const H323TransportAddress &other, WORD defaultPort = DefaultSignalPort) const;

  private:
    void Normalise();
};
