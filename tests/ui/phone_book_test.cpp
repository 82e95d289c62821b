// pbook.dat: the file layout, bounds, malformed files and the name lookup for a number.
#include <ui/phone_book.h>

#include <core/settings.h>

#include <tests/support/temp_dir.h>
#include <win/module_testing.h>

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <csignal>

namespace
{

using kestrelin::testing::TempDir;
using Bytes = std::vector<unsigned char>;

Bytes I32(int32_t v)
{
    auto u = static_cast<uint32_t>(v);
    return {static_cast<unsigned char>(u), static_cast<unsigned char>(u >> 8),
            static_cast<unsigned char>(u >> 16), static_cast<unsigned char>(u >> 24)};
}

Bytes Str(const std::string &s)
{
    Bytes b(1 + s.size());
    b[0] = static_cast<unsigned char>(s.size());
    std::copy(s.begin(), s.end(), b.begin() + 1);
    return b;
}

void Append(Bytes &b, const Bytes &more)
{
    b.insert(b.end(), more.begin(), more.end());
}

// A file of count records, record i being "name<i>", "b<i>", "h<i>", "m<i>", "x<i>".
Bytes BookFile(int declared, int records)
{
    Bytes b = I32(declared);
    for (int i = 0; i < records; ++i)
        for (const char *f : {"name", "b", "h", "m", "x"})
            Append(b, Str(f + std::to_string(i)));
    return b;
}

class PhoneBookFile : public ::testing::Test
{
  protected:
    PhoneBookFile() { win::testing::OverrideExecutablePath(tmp.file("kestrelin").c_str()); }
    ~PhoneBookFile() override { win::testing::OverrideExecutablePath(nullptr); }
    CString Path() const { return CString(tmp.file("pbook.dat").c_str()); }

    TempDir tmp;
    PhoneBookTable table;
};

TEST_F(PhoneBookFile, WritesTheLayoutByteForByteAndReadsItBack)
{
    table[0] = {"Ann", "111", "", "333", "kept"};
    table[1] = {"Bob", "", "222", "", ""};
    ASSERT_TRUE(WritePhoneBook(Path(), table, 2));
    Bytes want = I32(2);
    for (const char *f : {"Ann", "111", "", "333", "kept", "Bob", "", "222", "", ""})
        Append(want, Str(f));
    EXPECT_EQ(tmp.read("pbook.dat"), want);

    PhoneBookTable back;
    ASSERT_EQ(ReadPhoneBook(Path(), back), 2);
    EXPECT_EQ(back[0], table[0]);
    EXPECT_EQ(back[1], table[1]);
}

TEST_F(PhoneBookFile, BoundsAndMalformedFiles)
{
    Bytes cut = BookFile(3, 3);
    cut.resize(cut.size() - 2); // the third record's last string is short
    Bytes longString = BookFile(2, 1);
    Append(longString, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 'a'}); // claims 2 GB
    const struct {
        const char *what;
        Bytes file;
        int records;
    } cases[] = {
        {"count above 300", BookFile(350, 350), 300},
        {"negative count", BookFile(-5, 2), 0},
        {"fewer records than counted", BookFile(4, 2), 2},
        {"a record cut short", cut, 2},
        {"a string longer than the file", longString, 1},
        {"no count", {0x01, 0x00}, 0},
        {"empty file", {}, 0},
    };
    for (const auto &c : cases) {
        tmp.write("pbook.dat", c.file);
        PhoneBookTable t;
        EXPECT_EQ(ReadPhoneBook(Path(), t), c.records) << c.what;
        if (c.records > 0) {
            EXPECT_EQ(t[c.records - 1][0],
                      CString(("name" + std::to_string(c.records - 1)).c_str()))
                << c.what;
        }
    }
    PhoneBookTable none;
    EXPECT_EQ(ReadPhoneBook(CString(tmp.file("missing.dat").c_str()), none), 0);
}

TEST_F(PhoneBookFile, AWriterNeverWritesMoreThan300)
{
    tmp.write("pbook.dat", BookFile(350, 350));
    int n = ReadPhoneBook(Path(), table);
    ASSERT_TRUE(WritePhoneBook(Path(), table, n + 50));
    EXPECT_EQ(tmp.read("pbook.dat"), BookFile(300, 300));
}

// A write that cannot complete (here the file size limit, as a full disk would) leaves the
// previous file whole and no partial file beside it.
TEST_F(PhoneBookFile, AFailedWriteKeepsTheFile)
{
    tmp.write("pbook.dat", BookFile(1, 1));
    for (int i = 0; i < 100; ++i)
        table[i] = {"new", "5550100", "", "", ""};
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit small = old;
    small.rlim_cur = 512;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    bool written = WritePhoneBook(Path(), table, 100);
    setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_FALSE(written);
    EXPECT_EQ(tmp.read("pbook.dat"), BookFile(1, 1));
    EXPECT_EQ(tmp.entries(), std::vector<std::string>{"pbook.dat"});
}

TEST_F(PhoneBookFile, LookupTakesQuickCallsFirstThenTheFirstRecordInFileOrder)
{
    CSettings settings;
    settings.m_QuickCalls.m_nCount = 1;
    settings.m_QuickCalls.m_strNumber[0] = "555";
    settings.m_QuickCalls.m_strText[0] = "Quick";
    // Record 2 (index 1) has the number as mobile, record 5 (index 4) as business number.
    table[0] = {"One", "1", "", "", ""};
    table[1] = {"Two", "", "", "777", ""};
    table[2] = {"Three", "555", "", "", ""};
    table[3] = {"Four", "", "", "", "888"};
    table[4] = {"Five", "777", "", "", ""};
    ASSERT_TRUE(WritePhoneBook(settings.m_strPhoneBookFile, table, 5));
    const struct {
        const char *number, *name;
    } cases[] = {
        {"777", "Two"}, {"555", "Quick"}, {"888", "Four"},
        {"1", "One"},   {"77", "77"},     {"777 ", "777 "},
    };
    for (const auto &c : cases)
        EXPECT_EQ(LookupPhoneBookName(settings, c.number), CString(c.name)) << c.number;
    std::filesystem::remove(tmp.file("pbook.dat"));
    EXPECT_EQ(LookupPhoneBookName(settings, "777"), CString("777")) << "no file";
    EXPECT_EQ(LookupPhoneBookName(settings, "555"), CString("Quick"));
}

} // namespace
