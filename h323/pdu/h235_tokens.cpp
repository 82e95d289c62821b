// H.235 MD5 password hash and CAT tokens.
#include <h323/pdu/addresses.h>
#include <h323/pdu/h235_tokens.h>
#include <h323/pdu/md5.h>

#include <h323/asn1/per.h>

namespace h323::h235 {
namespace {

asn1::BMPString ucs2_with_nul(std::string_view text)
{
    asn1::BMPString s = asn1::BMPString::FromLatin1(text);
    s.push_back(u'\0');
    return s;
}

/** The hash of the password token for the name and password. */
bool password_hash(const asn1::BMPString &general_id, std::string_view password, uint32_t ts,
                   Md5::Digest &digest)
{
    H235_ClearToken t;
    t.m_tokenOID = asn1::ObjectId("0.0");
    t.IncludeOptionalField(H235_ClearToken::e_timeStamp);
    t.m_timeStamp = ts;
    t.IncludeOptionalField(H235_ClearToken::e_password);
    t.m_password = ucs2_with_nul(password);
    t.IncludeOptionalField(H235_ClearToken::e_generalID);
    t.m_generalID = general_id;
    std::vector<uint8_t> bytes;
    if (!asn1::encode(t, bytes))
        return false;
    digest = Md5::of(bytes.data(), bytes.size());
    return true;
}

Md5::Digest cat_challenge(uint8_t random, std::string_view password, uint32_t ts)
{
    Md5 m;
    m.update(&random, 1);
    m.update(reinterpret_cast<const uint8_t *>(password.data()), password.size());
    uint8_t t[4] = {uint8_t(ts >> 24), uint8_t(ts >> 16), uint8_t(ts >> 8), uint8_t(ts)};
    m.update(t, 4);
    return m.finish();
}

} // namespace

H225_CryptoH323Token MakePasswordHashToken(std::string_view alias, std::string_view password,
                                           uint32_t timestamp)
{
    H225_CryptoH323Token token;
    auto &h = token.cryptoEPPwdHash();
    h.m_alias = MakeAlias(alias);
    h.m_timeStamp = timestamp;
    h.m_token.m_algorithmOID = asn1::ObjectId(kMd5Oid);
    Md5::Digest d{};
    password_hash(ucs2_with_nul(alias), password, timestamp, d);
    h.m_token.m_hash.assign(d.data(), 128);
    return token;
}

bool CheckPasswordHashToken(const H225_CryptoH323Token &token, std::string_view password)
{
    if (token.GetTag() != H225_CryptoH323Token::e_cryptoEPPwdHash)
        return false;
    const auto &h = token.cryptoEPPwdHash();
    if (h.m_token.m_algorithmOID.AsString() != kMd5Oid || h.m_token.m_hash.GetSize() != 128)
        return false;
    Md5::Digest d;
    if (!password_hash(ucs2_with_nul(AliasText(h.m_alias)), password,
                       uint32_t(h.m_timeStamp.GetValue()), d))
        return false;
    return std::equal(d.begin(), d.end(), h.m_token.m_hash.bytes().begin());
}

H235_ClearToken MakeCatToken(std::string_view alias, std::string_view password,
                             uint32_t timestamp, uint8_t random)
{
    H235_ClearToken t;
    t.m_tokenOID = asn1::ObjectId(kCatOid);
    t.IncludeOptionalField(H235_ClearToken::e_generalID);
    t.m_generalID = ucs2_with_nul(alias);
    t.IncludeOptionalField(H235_ClearToken::e_timeStamp);
    t.m_timeStamp = timestamp;
    t.IncludeOptionalField(H235_ClearToken::e_random);
    t.m_random = random;
    t.IncludeOptionalField(H235_ClearToken::e_challenge);
    Md5::Digest d = cat_challenge(random, password, timestamp);
    t.m_challenge.assign(d.begin(), d.end());
    return t;
}

bool CheckCatToken(const H235_ClearToken &token, std::string_view password)
{
    if (token.m_tokenOID.AsString() != kCatOid ||
        !token.HasOptionalField(H235_ClearToken::e_challenge) ||
        !token.HasOptionalField(H235_ClearToken::e_random) ||
        !token.HasOptionalField(H235_ClearToken::e_timeStamp))
        return false;
    int64_t random = token.m_random.GetValue();
    if (random < 0 || random > 255 || token.m_challenge.size() != 16)
        return false;
    Md5::Digest d = cat_challenge(uint8_t(random), password, uint32_t(token.m_timeStamp.GetValue()));
    return std::equal(d.begin(), d.end(), token.m_challenge.begin());
}

} // namespace h323::h235
