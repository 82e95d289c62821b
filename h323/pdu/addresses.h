// H.225.0 transport and alias addresses: building and reading the common forms.
#pragma once

#include <h323/asn1/gen/h225.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace h323 {

struct IPv4Endpoint {
    std::array<uint8_t, 4> ip{};
    uint16_t port = 0;
    bool operator==(const IPv4Endpoint &) const = default;
};

/** The ipAddress alternative holding ip and port. */
H225_TransportAddress MakeTransportAddress(const IPv4Endpoint &ep);
/** The IPv4 address and port; nothing for the other alternatives. */
std::optional<IPv4Endpoint> GetIPv4(const H225_TransportAddress &addr);
/** "a.b.c.d:port". */
std::string ToString(const IPv4Endpoint &ep);
/** Parses "a.b.c.d" or "a.b.c.d:port" (the port defaulting to default_port). */
std::optional<IPv4Endpoint> ParseIPv4(std::string_view text, uint16_t default_port);

/** True when text is made only of the dialedDigits characters 0-9 # * , (and not empty). */
bool IsDialedDigits(std::string_view text);
/** dialedDigits (e164) alias; the digits must pass IsDialedDigits. */
H225_AliasAddress MakeDialedDigitsAlias(std::string_view digits);
/** h323-ID alias (BMPString); 8-bit text is widened character by character. */
H225_AliasAddress MakeH323IdAlias(std::string_view name);
/** dialedDigits when the text is numeric, h323-ID otherwise. */
H225_AliasAddress MakeAlias(std::string_view text);
/**
 * The alias as text: digits, the h323-ID narrowed, URL, e-mail, without trailing zero bytes;
 * empty for other kinds.
 */
std::string AliasText(const H225_AliasAddress &alias);

} // namespace h323
