// H.225.0 transport and alias addresses.
#include <h323/pdu/addresses.h>

#include <h323/pdu/peer_text.h>

#include <charconv>

namespace h323 {

H225_TransportAddress MakeTransportAddress(const IPv4Endpoint &ep)
{
    H225_TransportAddress addr;
    auto &ip = addr.ipAddress();
    ip.m_ip.assign(ep.ip.begin(), ep.ip.end());
    ip.m_port = ep.port;
    return addr;
}

std::optional<IPv4Endpoint> GetIPv4(const H225_TransportAddress &addr)
{
    if (addr.GetTag() != H225_TransportAddress::e_ipAddress)
        return std::nullopt;
    const auto &ip = addr.ipAddress();
    if (ip.m_ip.size() != 4)
        return std::nullopt;
    IPv4Endpoint ep;
    std::copy(ip.m_ip.begin(), ip.m_ip.end(), ep.ip.begin());
    ep.port = static_cast<uint16_t>(ip.m_port.GetValue());
    return ep;
}

std::string ToString(const IPv4Endpoint &ep)
{
    return std::to_string(ep.ip[0]) + "." + std::to_string(ep.ip[1]) + "." +
           std::to_string(ep.ip[2]) + "." + std::to_string(ep.ip[3]) + ":" +
           std::to_string(ep.port);
}

std::optional<IPv4Endpoint> ParseIPv4(std::string_view text, uint16_t default_port)
{
    IPv4Endpoint ep;
    ep.port = default_port;
    const char *p = text.data(), *end = text.data() + text.size();
    for (int i = 0; i < 4; i++) {
        unsigned v = 0;
        auto [q, ec] = std::from_chars(p, end, v);
        if (ec != std::errc() || q == p || v > 255 || q - p > 3)
            return std::nullopt;
        ep.ip[size_t(i)] = uint8_t(v);
        p = q;
        if (i < 3) {
            if (p == end || *p != '.')
                return std::nullopt;
            p++;
        }
    }
    if (p != end) {
        if (*p != ':')
            return std::nullopt;
        p++;
        unsigned port = 0;
        auto [q, ec] = std::from_chars(p, end, port);
        if (ec != std::errc() || q != end || q == p || port > 65535)
            return std::nullopt;
        ep.port = uint16_t(port);
    }
    return ep;
}

bool IsDialedDigits(std::string_view text)
{
    if (text.empty() || text.size() > 128)
        return false;
    for (char c : text)
        if (!((c >= '0' && c <= '9') || c == '#' || c == '*' || c == ','))
            return false;
    return true;
}

H225_AliasAddress MakeDialedDigitsAlias(std::string_view digits)
{
    H225_AliasAddress a;
    a.dialedDigits() = std::string(digits);
    return a;
}

H225_AliasAddress MakeH323IdAlias(std::string_view name)
{
    H225_AliasAddress a;
    a.h323_ID() = asn1::BMPString::FromLatin1(name.substr(0, 256));
    return a;
}

H225_AliasAddress MakeAlias(std::string_view text)
{
    return IsDialedDigits(text) ? MakeDialedDigitsAlias(text) : MakeH323IdAlias(text);
}

std::string AliasText(const H225_AliasAddress &alias)
{
    switch (alias.GetTag()) {
    case H225_AliasAddress::e_dialedDigits: return TrimTrailingNuls(alias.dialedDigits());
    case H225_AliasAddress::e_h323_ID: return TrimTrailingNuls(alias.h323_ID().ToLatin1());
    case H225_AliasAddress::e_url_ID: return TrimTrailingNuls(alias.url_ID());
    case H225_AliasAddress::e_email_ID: return TrimTrailingNuls(alias.email_ID());
    default: return {};
    }
}

} // namespace h323
