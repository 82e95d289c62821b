// H323TransportAddress: parsing and the H.225.0 / H.245 address forms.
#include <h323/transports/transport_address.h>

#include <h323/asn1/gen/h225.h>
#include <h323/asn1/gen/h245.h>

namespace {

const char kPrefix[] = "ip$";

PString FromOctets(const asn1::OctetString &ip, unsigned port)
{
    if (ip.size() != 4)
        return PString();
    return psprintf("ip$%u.%u.%u.%u:%u", ip[0], ip[1], ip[2], ip[3], port);
}

} // namespace

H323TransportAddress::H323TransportAddress(const char *address) : PString(address)
{
    Normalise();
}

H323TransportAddress::H323TransportAddress(const PString &address) : PString(address)
{
    Normalise();
}

H323TransportAddress::H323TransportAddress(const PIPSocket::Address &ip, WORD port)
    : PString(psprintf("ip$%s:%u", (const char *)ip.AsString(), port))
{
    if (ip.IsAny())
        *this = psprintf("ip$*:%u", port);
}

H323TransportAddress::H323TransportAddress(const H225_TransportAddress &pdu)
{
    if (pdu.GetTag() == H225_TransportAddress::e_ipAddress)
        PString::operator=(FromOctets(pdu.ipAddress().m_ip, unsigned(pdu.ipAddress().m_port)));
}

H323TransportAddress::H323TransportAddress(const H245_TransportAddress &pdu)
{
    if (pdu.GetTag() != H245_TransportAddress::e_unicastAddress)
        return;
    const H245_UnicastAddress &unicast = pdu.unicastAddress();
    if (unicast.GetTag() != H245_UnicastAddress::e_iPAddress)
        return;
    PString::operator=(FromOctets(unicast.iPAddress().m_network,
                                  unsigned(unicast.iPAddress().m_tsapIdentifier)));
}

void H323TransportAddress::Normalise()
{
    PString text = Trim();
    if (text.IsEmpty()) {
        PString::operator=(PString());
        return;
    }
    if (text.Find(kPrefix) == 0) {
        PString::operator=(text);
        return;
    }
    PString::operator=(PString(kPrefix) + text);
}

PString H323TransportAddress::GetHostName() const
{
    PString body = Mid(sizeof(kPrefix) - 1);
    PINDEX colon = body.Find(':');
    return colon == P_MAX_INDEX ? body : body.Left(colon);
}

WORD H323TransportAddress::GetPort() const
{
    PString body = Mid(sizeof(kPrefix) - 1);
    PINDEX colon = body.Find(':');
    if (colon == P_MAX_INDEX)
        return 0;
    long port = body.Mid(colon + 1).AsInteger();
    return port > 0 && port <= 65535 ? WORD(port) : 0;
}

BOOL H323TransportAddress::GetIpAddress(PIPSocket::Address &ip) const
{
    if (IsEmpty())
        return FALSE;
    PString host = GetHostName();
    if (host == "*") {
        ip = PIPSocket::Address();
        return TRUE;
    }
    if (host.IsEmpty())
        return FALSE;
    return PIPSocket::GetHostAddress(host, ip);
}

BOOL H323TransportAddress::GetIpAndPort(PIPSocket::Address &ip, WORD &port, WORD defaultPort) const
{
    if (!GetIpAddress(ip))
        return FALSE;
    WORD p = GetPort();
    port = p != 0 ? p : defaultPort;
    return TRUE;
}

BOOL H323TransportAddress::SetPDU(H225_TransportAddress &pdu, WORD defaultPort) const
{
    PIPSocket::Address ip;
    WORD port;
    if (!GetIpAndPort(ip, port, defaultPort))
        return FALSE;
    H225_TransportAddress_ipAddress &addr = pdu.ipAddress();
    addr.m_ip = asn1::OctetString{ip[0], ip[1], ip[2], ip[3]};
    addr.m_port = port;
    return TRUE;
}

BOOL H323TransportAddress::SetPDU(H245_TransportAddress &pdu, WORD defaultPort) const
{
    PIPSocket::Address ip;
    WORD port;
    if (!GetIpAndPort(ip, port, defaultPort))
        return FALSE;
    H245_UnicastAddress_iPAddress &addr = pdu.unicastAddress().iPAddress();
    addr.m_network = asn1::OctetString{ip[0], ip[1], ip[2], ip[3]};
    addr.m_tsapIdentifier = port;
    return TRUE;
}

BOOL H323TransportAddress::IsEquivalent(const H323TransportAddress &other, WORD defaultPort) const
{
    if (IsEmpty() || other.IsEmpty())
        return FALSE;
    WORD p1 = GetPort() != 0 ? GetPort() : defaultPort;
    WORD p2 = other.GetPort() != 0 ? other.GetPort() : defaultPort;
    if (p1 != p2)
        return FALSE;
    PString h1 = GetHostName(), h2 = other.GetHostName();
    if (h1 == "*" || h2 == "*" || (h1 *= h2))
        return TRUE;
    PIPSocket::Address a1, a2;
    return GetIpAddress(a1) && other.GetIpAddress(a2) && a1 == a2;
}
