// H.235 password authenticators a gatekeeper password needs: MD5 password hash and CAT.
#pragma once

#include <h323/asn1/gen/h225.h>
#include <h323/asn1/gen/h235.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace h323::h235 {

inline constexpr const char *kMd5Oid = "1.2.840.113549.2.5";      // cryptoEPPwdHash
inline constexpr const char *kCatOid = "1.2.840.113548.10.1.2.1"; // Cisco access token

/**
 * cryptoEPPwdHash: the MD5 of the PER encoding of ClearToken {tokenOID 0.0, timeStamp,
 * password and generalID as UCS-2 with a terminating NUL}, with the alias and time stamp.
 */
H225_CryptoH323Token MakePasswordHashToken(std::string_view alias, std::string_view password,
                                           uint32_t timestamp);

/** True when the token is a cryptoEPPwdHash made with this password. */
bool CheckPasswordHashToken(const H225_CryptoH323Token &token, std::string_view password);

/**
 * CAT ClearToken: generalID = alias (UCS-2 and NUL), timeStamp, random, and
 * challenge = MD5(random octet, password, time stamp as 4 octets big-endian).
 */
H235_ClearToken MakeCatToken(std::string_view alias, std::string_view password,
                             uint32_t timestamp, uint8_t random);

/** True when the token is a CAT token whose challenge matches this password. */
bool CheckCatToken(const H235_ClearToken &token, std::string_view password);

} // namespace h323::h235
