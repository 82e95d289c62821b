// Address, identifier and H.235 token helpers.
#include <h323/asn1/per.h>
#include <h323/pdu/addresses.h>
#include <h323/pdu/h235_tokens.h>
#include <h323/pdu/identifiers.h>
#include <h323/pdu/md5.h>

#include <gtest/gtest.h>

#include <cstring>
#include <set>

namespace {

using Bytes = std::vector<uint8_t>;

std::string hex(const uint8_t *p, size_t n)
{
    std::string s;
    char b[4];
    for (size_t i = 0; i < n; i++) {
        snprintf(b, sizeof b, "%02x", p[i]);
        s += b;
    }
    return s;
}

TEST(Md5, Rfc1321TestSuite)
{
    const std::pair<const char *, const char *> cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (auto [in, want] : cases) {
        auto d = h323::Md5::of(reinterpret_cast<const uint8_t *>(in), std::strlen(in));
        EXPECT_EQ(hex(d.data(), d.size()), want) << in;
    }
}

TEST(Addresses, TransportAddressRoundTrip)
{
    auto ep = h323::ParseIPv4("10.1.2.3:1720", 1719);
    ASSERT_TRUE(ep);
    EXPECT_EQ(h323::ToString(*ep), "10.1.2.3:1720");
    EXPECT_EQ(h323::ParseIPv4("10.1.2.3", 1719)->port, 1719);
    for (const char *bad : {"10.1.2", "10.1.2.256", "10.1.2.3:", "10.1.2.3:70000", "a.b.c.d",
                            "10.1.2.3x"})
        EXPECT_FALSE(h323::ParseIPv4(bad, 1)) << bad;
    H225_TransportAddress a = h323::MakeTransportAddress(*ep);
    EXPECT_EQ(h323::GetIPv4(a), ep);
    H225_TransportAddress other;
    other.ip6Address().m_ip.resize(16);
    EXPECT_FALSE(h323::GetIPv4(other));
}

TEST(Addresses, AliasKindFollowsTheText)
{
    EXPECT_EQ(h323::MakeAlias("8613800138000").GetTag(), H225_AliasAddress::e_dialedDigits);
    EXPECT_EQ(h323::MakeAlias("12#*,").GetTag(), H225_AliasAddress::e_dialedDigits);
    EXPECT_EQ(h323::MakeAlias("alice").GetTag(), H225_AliasAddress::e_h323_ID);
    EXPECT_EQ(h323::MakeAlias("").GetTag(), H225_AliasAddress::e_h323_ID);
    EXPECT_EQ(h323::AliasText(h323::MakeAlias("alice")), "alice");
    EXPECT_EQ(h323::AliasText(h323::MakeAlias("123")), "123");
}

TEST(Identifiers, GuidsAreRandomVersion4)
{
    std::set<std::string> seen;
    for (int i = 0; i < 100; i++) {
        h323::Guid g = h323::Guid::Generate();
        EXPECT_EQ(g.bytes()[6] >> 4, 4);
        EXPECT_TRUE(seen.insert(g.AsString()).second);
    }
    H225_CallIdentifier id = h323::MakeCallIdentifier(h323::Guid::Generate());
    EXPECT_EQ(id.m_guid.size(), 16u);
    EXPECT_TRUE(h323::Guid().IsNull());
}

TEST(Identifiers, ProtocolIdentifiersAreVersions4And7)
{
    EXPECT_EQ(h323::H225ProtocolIdentifier().AsString(), "0.0.8.2250.0.4");
    EXPECT_EQ(h323::H245ProtocolIdentifier().AsString(), "0.0.8.245.0.7");
    EXPECT_EQ(h323::ProtocolVersion(asn1::ObjectId("0.0.8.2250.0.7")), 7u);
    EXPECT_EQ(h323::ProtocolVersion(asn1::ObjectId("1.2.3")), 0u);
}

TEST(Identifiers, NonStandardDataCarriesText)
{
    auto p = h323::MakeNonStandardParameter(9, 0, 61, "NAT=1.2.3.4;");
    EXPECT_EQ(p.m_nonStandardIdentifier.GetTag(), H225_NonStandardIdentifier::e_h221NonStandard);
    EXPECT_EQ(h323::NonStandardText(p), "NAT=1.2.3.4;");
}

TEST(H235, PasswordHashIsMd5OfTheEncodedClearToken)
{
    // The ClearToken for alias 8613800138000, password "secret", time 1700000000, written
    // out by hand: ext 0, bitmap 11000010 (timeStamp, password, generalID), pad; tokenOID
    // 0.0; timeStamp-1 in 4 octets ('11'); password and generalID as UCS-2 with NUL.
    const std::string clear_token =
        "61000100c06553f0ff0c00730065006300720065007400001a0038003600310033003800300030003100"
        "3300380030003000300000";
    H235_ClearToken ct;
    ct.m_tokenOID = asn1::ObjectId("0.0");
    ct.IncludeOptionalField(H235_ClearToken::e_timeStamp);
    ct.m_timeStamp = 1700000000;
    ct.IncludeOptionalField(H235_ClearToken::e_password);
    ct.m_password = asn1::BMPString(u"secret", 7);
    ct.IncludeOptionalField(H235_ClearToken::e_generalID);
    ct.m_generalID = asn1::BMPString(u"8613800138000", 14);
    Bytes enc;
    ASSERT_TRUE(asn1::encode(ct, enc));
    EXPECT_EQ(hex(enc.data(), enc.size()), clear_token);
    H225_CryptoH323Token t = h323::h235::MakePasswordHashToken("8613800138000", "secret",
                                                               1700000000);
    ASSERT_EQ(t.GetTag(), H225_CryptoH323Token::e_cryptoEPPwdHash);
    const auto &h = t.cryptoEPPwdHash();
    EXPECT_EQ(h.m_alias.GetTag(), H225_AliasAddress::e_dialedDigits);
    EXPECT_EQ(h.m_timeStamp, 1700000000);
    EXPECT_EQ(h.m_token.m_algorithmOID.AsString(), "1.2.840.113549.2.5");
    ASSERT_EQ(h.m_token.m_hash.GetSize(), 128u);
    // MD5 of the bytes above, from an independent MD5.
    EXPECT_EQ(hex(h.m_token.m_hash.bytes().data(), 16), "771bcaa1cde638ec5fa97955e46cd6b6");
    EXPECT_TRUE(h323::h235::CheckPasswordHashToken(t, "secret"));
    EXPECT_FALSE(h323::h235::CheckPasswordHashToken(t, "Secret"));
}

TEST(H235, CatChallengeIsMd5OfRandomPasswordAndTime)
{
    H235_ClearToken t = h323::h235::MakeCatToken("8613800138000", "secret", 1700000000, 7);
    EXPECT_EQ(t.m_tokenOID.AsString(), "1.2.840.113548.10.1.2.1");
    EXPECT_EQ(t.m_random, 7);
    EXPECT_EQ(t.m_generalID.size(), 14u); // 13 digits and the NUL
    EXPECT_EQ(t.m_generalID.back(), u'\0');
    // MD5(07 "secret" 6553f100) from an independent MD5.
    EXPECT_EQ(hex(t.m_challenge.data(), t.m_challenge.size()), "fbb9fef036bf0e0be6ea60559f77a81d");
    EXPECT_TRUE(h323::h235::CheckCatToken(t, "secret"));
    EXPECT_FALSE(h323::h235::CheckCatToken(t, "other"));
}

} // namespace
