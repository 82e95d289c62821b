// The login digest that proves an account and password to the service.
#pragma once

#include <string>

/**
 * Digest sent in the service's "Auth" request, as 32 lowercase hexadecimal characters:
 * H1 = MD5(account "@" aliasDomain), H2 = MD5(account password H1),
 * digest = MD5(account password H2 challenge), every part as text, one after the other.
 */
std::string LoginDigest(const std::string &account, const std::string &password,
                        const std::string &aliasDomain, const std::string &challenge);
