// Login digest: fixed values worked out with md5sum, one step of the chain at a time.
#include <core/login_digest.h>

#include <gtest/gtest.h>

namespace
{

struct DigestCase {
    const char *account, *password, *aliasDomain, *challenge, *digest;
};

// H1 of the first row is md5("8001@service.localhost") = d16049f2...,
// its H2 md5("8001demo" H1) = 70bbfebe...; the digest is md5("8001demo" H2 "3f2a9c").
const DigestCase kCases[] = {
    {"8001", "demo", "service.localhost", "3f2a9c", "562aa6578243a3a134180fb9701c8bea"},
    {"8001", "demo", "service.localhost", "3f2a9d", "9eaa04810f1b1561d58acba8515c39f7"},
    // GBK account bytes (a Chinese name) and no challenge: bytes are digested as they are.
    {"\xd5\xc5\xc8\xfd", "pw", "example.test", "", "c3fdb8f3b410882d152117c001800dca"},
};

TEST(LoginDigest, ChainsTheThreeDigestsOverAccountPasswordDomainAndChallenge)
{
    for (const DigestCase &c : kCases)
        EXPECT_EQ(LoginDigest(c.account, c.password, c.aliasDomain, c.challenge), c.digest)
            << c.account << " / " << c.challenge;
}

TEST(LoginDigest, DependsOnTheAliasDomain)
{
    EXPECT_NE(LoginDigest("8001", "demo", "service.localhost", "3f2a9c"),
              LoginDigest("8001", "demo", "other.localhost", "3f2a9c"));
}

} // namespace
