// MD5 digest: the RFC 1321 test suite, block boundaries and the static text buffer.
#include <core/md5.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace
{

struct SuiteCase {
    const char *text;
    const char *digest;
};

// RFC 1321, appendix A.5.
const SuiteCase kSuite[] = {
    {"", "d41d8cd98f00b204e9800998ecf8427e"},
    {"a", "0cc175b9c0f1b6a831c399e269772661"},
    {"abc", "900150983cd24fb0d6963f7d28e17f72"},
    {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
    {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
    {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
     "d174ab98d277d9f5a5611c2c9f419d9f"},
    {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
     "57edf4a22be3c955ac49da2e2107b67a"},
};

TEST(MD5String, MatchesTheRfcSuiteInLowercase)
{
    for (const SuiteCase &c : kSuite)
        EXPECT_STREQ(MD5String(c.text), c.digest) << '"' << c.text << '"';
}

TEST(MD5String, TwoCallsShareOneBufferHoldingTheSecondDigest)
{
    const char *first = MD5String("a");
    const char *second = MD5String("abc");
    EXPECT_EQ(first, second);
    EXPECT_STREQ(second, "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(std::strlen(second), 32u);
}

std::string Hex(const unsigned char digest[16])
{
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    for (int i = 0; i < 16; i++) {
        out += kDigits[digest[i] >> 4];
        out += kDigits[digest[i] & 15];
    }
    return out;
}

// Feeding in chunks that straddle the 64-byte block and the 56-byte padding limits
// must give the digest of the whole; lengths 55, 56, 63, 64 and 65 pad differently.
TEST(MD5Update, ChunksAcrossBlockBoundariesGiveTheDigestOfTheWhole)
{
    std::string data;
    for (int i = 0; i < 200; i++)
        data += static_cast<char>('!' + (i * 7) % 90);

    for (size_t length : {55u, 56u, 63u, 64u, 65u, 127u, 128u, 200u}) {
        std::string whole = data.substr(0, length);
        std::string expected = MD5String(whole.c_str());
        for (size_t chunk : {1u, 3u, 63u, 64u, 65u}) {
            MD5_CTX context;
            MD5Init(&context);
            for (size_t at = 0; at < length; at += chunk) {
                size_t n = std::min(chunk, length - at);
                MD5Update(&context, reinterpret_cast<const unsigned char *>(whole.data() + at),
                          static_cast<unsigned int>(n));
            }
            unsigned char digest[16];
            MD5Final(digest, &context);
            EXPECT_EQ(Hex(digest), expected) << "length " << length << " chunk " << chunk;
        }
    }
}

TEST(MD5Final, ClearsTheWholeContext)
{
    MD5_CTX context;
    MD5Init(&context);
    MD5Update(&context, reinterpret_cast<const unsigned char *>("abc"), 3);
    unsigned char digest[16];
    MD5Final(digest, &context);

    MD5_CTX zero;
    std::memset(&zero, 0, sizeof(zero));
    EXPECT_EQ(std::memcmp(&context, &zero, sizeof(context)), 0);
    EXPECT_EQ(Hex(digest), "900150983cd24fb0d6963f7d28e17f72");
}

TEST(MD5Encode, WordsBecomeLittleEndianBytesAndBack)
{
    const uint32_t words[2] = {0x04030201, 0xddccbbaa};
    unsigned char bytes[8];
    MD5Encode(bytes, words, 8);
    const unsigned char expected[8] = {1, 2, 3, 4, 0xaa, 0xbb, 0xcc, 0xdd};
    EXPECT_EQ(std::memcmp(bytes, expected, 8), 0);

    uint32_t back[2];
    MD5Decode(back, bytes, 8);
    EXPECT_EQ(back[0], words[0]);
    EXPECT_EQ(back[1], words[1]);
}

} // namespace
