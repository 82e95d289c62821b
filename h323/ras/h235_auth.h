// H.235 authenticators of the RAS client: the MD5 password hash and the CAT token.
#pragma once

#include <h323/asn1/gen/h225.h>

#include <pwlib/pmutex.h>

#include <cstdint>
#include <string>

namespace h323 {

/// Adds the password tokens to outgoing RAS requests: cryptoEPPwdHash (MD5) in RRQ, URQ,
/// ARQ, BRQ, DRQ and IRR, and the CAT ClearToken in RRQ and ARQ. Active only with both a
/// password and an alias.
class H235Authenticators
{
  public:
    void SetCredentials(const std::string &alias, const std::string &password);
    bool IsActive() const;

    /// Adds the tokens to one request; withCat adds the CAT token too.
    template <class PDU> void Attach(PDU &pdu, bool withCat)
    {
        if (!IsActive())
            return;
        AddCryptoToken(pdu.m_cryptoTokens);
        pdu.IncludeOptionalField(PDU::e_cryptoTokens);
        if (withCat) {
            AddCatToken(pdu.m_tokens);
            pdu.IncludeOptionalField(PDU::e_tokens);
        }
    }

  private:
    void AddCryptoToken(asn1::Array<H225_CryptoH323Token> &tokens);
    void AddCatToken(asn1::Array<H235_ClearToken> &tokens);

    mutable PMutex mutex;
    std::string alias;
    std::string password;
};

} // namespace h323
