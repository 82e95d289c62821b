// Mapping of Windows-style paths: separators, case, and file names made from account names.
#include <win/path.h>

#include <tests/support/temp_dir.h>

#include <filesystem>
#include <gtest/gtest.h>

namespace
{

using kestrelin::testing::TempDir;

TEST(MapPathTest, MapsAndCollapsesSeparators)
{
    struct Case {
        const char *in;
        const char *out;
    } cases[] = {
        {"a\\b\\c.wav", "a/b/c.wav"},
        {"/opt/k/\\pbook.dat", "/opt/k/pbook.dat"},
        {"/opt//k\\\\\\x", "/opt/k/x"},
        {"\\rel", "/rel"},
        {"dir\\", "dir/"},
        {"", ""},
        // The trail byte 0x5C of a GBK character is not a separator.
        {"a\\\x95\x5C.dat", "a/\x95\x5C.dat"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(win::MapPath(c.in), c.out) << c.in;
}

TEST(MapPathTest, FindsExistingNamesWithoutCase)
{
    TempDir tmp;
    std::filesystem::create_directory(tmp.path() / "DTMF");
    tmp.write("DTMF/d0.wav", {1});
    tmp.write("RingOut.wav", {2});

    EXPECT_EQ(win::MapPath((tmp.dir() + "ringout.wav").c_str()), tmp.file("RingOut.wav"));
    EXPECT_EQ(win::MapPath((tmp.dir() + "dtmf\\D0.WAV").c_str()), tmp.file("DTMF/d0.wav"));
    // A missing name is kept as written, below the resolved part.
    EXPECT_EQ(win::MapPath((tmp.dir() + "dtmf\\star.wav").c_str()), tmp.file("DTMF/star.wav"));
    EXPECT_EQ(win::MapPath((tmp.dir() + "none\\x.wav").c_str()), tmp.file("none/x.wav"));
    // The exact name wins over a case variant.
    tmp.write("ringout.wav", {3});
    EXPECT_EQ(win::MapPath((tmp.dir() + "ringout.wav").c_str()), tmp.file("ringout.wav"));
}

TEST(MapPathTest, EscapesSeparatorsInFileNameParts)
{
    struct Case {
        CString in;
        CString out;
    } cases[] = {
        {"alice", "alice"},
        {"a/b", "a%2Fb"},
        {"a\\b", "a%5Cb"},
        {"50%", "50%25"},
        {"%2F", "%252F"},
        {"../x", "..%2Fx"},
        {CString("a\0b", 3), "a%00b"},
        {"\xD6\xD0\x95\x5C", "\xD6\xD0\x95\x5C"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(win::EscapeFileNamePart(c.in), c.out) << c.in;
}

} // namespace
