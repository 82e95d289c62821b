// CArchive: the exact bytes of integers and counted strings, and reads that fail safely.
#include <win/carchive.h>

#include <tests/support/temp_dir.h>

#include <gtest/gtest.h>

namespace
{

using kestrelin::testing::TempDir;
using Bytes = std::vector<unsigned char>;

Bytes Concat(Bytes a, const Bytes &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

template <typename Fill> Bytes Store(const TempDir &tmp, Fill fill)
{
    {
        CFile f;
        EXPECT_TRUE(f.Open(tmp.file("a.dat").c_str(), CFile::modeCreate | CFile::modeWrite));
        CArchive ar(&f, CArchive::store);
        fill(ar);
        EXPECT_TRUE(ar.Flush());
    }
    return tmp.read("a.dat");
}

TEST(CArchiveTest, IntegersAreLittleEndian)
{
    TempDir tmp;
    Bytes got = Store(tmp, [](CArchive &ar) {
        ar << 0 << 1 << -1 << 0x12345678 << static_cast<DWORD>(0xA1B2C3D4)
           << static_cast<WORD>(0xBEEF) << static_cast<BYTE>(7);
    });
    EXPECT_EQ(got, (Bytes{0,    0,    0,    0,    1,    0,    0,    0,    0xFF, 0xFF, 0xFF, 0xFF,
                          0x78, 0x56, 0x34, 0x12, 0xD4, 0xC3, 0xB2, 0xA1, 0xEF, 0xBE, 7}));
}

TEST(CArchiveTest, StringLengthPrefixes)
{
    struct Case {
        int length;
        Bytes prefix;
    } cases[] = {
        {0, {0x00}},
        {1, {0x01}},
        {254, {0xFE}},
        {255, {0xFF, 0xFF, 0x00}},
        {300, {0xFF, 0x2C, 0x01}},
        {0xFFFD, {0xFF, 0xFD, 0xFF}},
        {0xFFFE, {0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x00}},
        {70000, {0xFF, 0xFF, 0xFF, 0x70, 0x11, 0x01, 0x00}},
    };
    TempDir tmp;
    for (const Case &c : cases) {
        CString text(std::string(static_cast<size_t>(c.length), 'q').c_str());
        Bytes got = Store(tmp, [&](CArchive &ar) { ar << text; });
        EXPECT_EQ(got, Concat(c.prefix, Bytes(static_cast<size_t>(c.length), 'q')))
            << "length " << c.length;

        CFile f;
        ASSERT_TRUE(f.Open(tmp.file("a.dat").c_str(), CFile::modeRead));
        CArchive ar(&f, CArchive::load);
        CString back;
        ar >> back;
        EXPECT_TRUE(ar.IsOK());
        EXPECT_EQ(back, text) << "length " << c.length;
    }
}

TEST(CArchiveTest, ReadsEveryPrefixForm)
{
    struct Case {
        Bytes bytes;
        CString text;
    } cases[] = {
        {{0x00}, ""},
        {{0x02, 'h', 'i'}, "hi"},
        {{0xFF, 0x02, 0x00, 'h', 'i'}, "hi"},
        {{0xFF, 0xFF, 0xFF, 0x02, 0x00, 0x00, 0x00, 'h', 'i'}, "hi"},
        {{0x03, 'a', 0x00, 'b'}, CString("a\0b", 3)},
        {{0x04, 0xD6, 0xD0, 0xCE, 0xC4}, "\xD6\xD0\xCE\xC4"},
    };
    TempDir tmp;
    for (const Case &c : cases) {
        tmp.write("a.dat", c.bytes);
        CFile f;
        ASSERT_TRUE(f.Open(tmp.file("a.dat").c_str(), CFile::modeRead));
        CArchive ar(&f, CArchive::load);
        CString s;
        ar >> s;
        EXPECT_TRUE(ar.IsOK());
        EXPECT_EQ(s, c.text);
    }
}

// A short or malformed field fails the archive; the target and every later one keep their value.
TEST(CArchiveTest, ShortOrMalformedFieldsFailAndLeaveTargets)
{
    struct Case {
        const char *what;
        Bytes bytes;
    } cases[] = {
        {"empty file", {}},
        {"int cut", {1, 0, 0}},
        {"no string", {1, 0, 0, 0}},
        {"string cut", {1, 0, 0, 0, 0x05, 'a', 'b'}},
        {"word length cut", {1, 0, 0, 0, 0xFF, 0x01}},
        {"dword length cut", {1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x01}},
        {"length beyond the file", {1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 'x'}},
    };
    TempDir tmp;
    for (const Case &c : cases) {
        tmp.write("a.dat", c.bytes);
        CFile f;
        ASSERT_TRUE(f.Open(tmp.file("a.dat").c_str(), CFile::modeRead));
        CArchive ar(&f, CArchive::load);
        int n = -7, after = -8;
        CString s("keep");
        ar >> n >> s >> after;
        EXPECT_FALSE(ar.IsOK()) << c.what;
        EXPECT_EQ(n, c.bytes.size() >= 4 ? 1 : -7) << c.what;
        EXPECT_EQ(s, "keep") << c.what;
        EXPECT_EQ(after, -8) << c.what;
    }
}

TEST(CArchiveTest, LongStreamsCrossTheBuffer)
{
    TempDir tmp;
    Store(tmp, [](CArchive &ar) {
        for (int i = 0; i < 3000; ++i)
            ar << i << CString(std::to_string(i).c_str());
    });
    CFile f;
    ASSERT_TRUE(f.Open(tmp.file("a.dat").c_str(), CFile::modeRead));
    CArchive ar(&f, CArchive::load, 64);
    for (int i = 0; i < 3000; ++i) {
        int n = -1;
        CString s;
        ar >> n >> s;
        ASSERT_EQ(n, i);
        ASSERT_EQ(s, std::to_string(i).c_str());
    }
    int extra = 5;
    ar >> extra;
    EXPECT_FALSE(ar);
    EXPECT_EQ(extra, 5);
}

} // namespace
