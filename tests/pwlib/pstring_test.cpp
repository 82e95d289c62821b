// PString: the operations the stack and the phone rely on, with their edge cases.
#include <pwlib/pstring.h>

#include <gtest/gtest.h>

#include <climits>
#include <sstream>
#include <string>
#include <vector>

namespace
{

std::vector<std::string> Tokens(const PStringArray &array)
{
    std::vector<std::string> out;
    for (const PString &s : array)
        out.emplace_back(s);
    return out;
}

TEST(PString, ConstructsFromCStringsLengthsAndNumbers)
{
    EXPECT_TRUE(PString().IsEmpty());
    EXPECT_TRUE(PString(static_cast<const char *>(nullptr)).IsEmpty());
    EXPECT_EQ(PString("abcdef", 3), "abc");
    EXPECT_TRUE(PString("abc", -1).IsEmpty());
    EXPECT_EQ(PString('x'), "x");
    EXPECT_EQ(PString(PString::Signed, -1991), "-1991");
    EXPECT_EQ(PString(PString::Unsigned, 255, 16), "ff");
    EXPECT_EQ(PString(PString::Signed, INT64_MIN), "-9223372036854775808");
    EXPECT_EQ(PString(PString::Unsigned, 0), "0");
}

TEST(PString, KeepsBytesOfTheAnsiCodePage)
{
    const char gbk[] = "\xc4\xe3\xba\xc3"; // two GBK characters
    PString s(gbk);
    EXPECT_EQ(s.GetLength(), 4);
    EXPECT_STREQ(static_cast<const char *>(s), gbk);
    EXPECT_EQ(s.Mid(2), "\xba\xc3");
}

TEST(PString, FindReportsPositionsOrMaxIndex)
{
    struct Case {
        const char *text;
        const char *pattern;
        PINDEX offset;
        PINDEX expected;
    };
    const Case cases[] = {
        {"*:1991", ":", 0, 1},           {"*:1991", "1991", 0, 2},
        {"*:1991", "9", 3, 3},           {"*:1991", "9", 4, 4},
        {"*:1991", "9", 5, P_MAX_INDEX}, {"*:1991", "x", 0, P_MAX_INDEX},
        {"", "a", 0, P_MAX_INDEX},       {"abc", "", 0, P_MAX_INDEX},
        {"abc", "abcd", 0, P_MAX_INDEX}, {"abc", "c", P_MAX_INDEX, P_MAX_INDEX},
        {"abc", "a", -1, P_MAX_INDEX},
    };
    for (const Case &c : cases)
        EXPECT_EQ(PString(c.text).Find(c.pattern, c.offset), c.expected)
            << c.text << " / " << c.pattern << " @" << c.offset;
    EXPECT_EQ(PString("a.b.c").Find('.'), 1);
    EXPECT_EQ(PString("a.b.c").FindLast('.'), 3);
    EXPECT_EQ(PString("a.b.c").FindLast('.', 2), 1);
    EXPECT_EQ(PString("abcabc").FindLast("abc"), 3);
    EXPECT_EQ(PString("abc").FindLast('x'), P_MAX_INDEX);
}

TEST(PString, SlicesClampToTheString)
{
    struct Case {
        const char *what;
        PString result;
        const char *expected;
    };
    PString s("Frame test N.5");
    const Case cases[] = {
        {"Left 5", s.Left(5), "Frame"},
        {"Left 0", s.Left(0), ""},
        {"Left -3", s.Left(-3), ""},
        {"Left past end", s.Left(100), "Frame test N.5"},
        {"Left max", s.Left(P_MAX_INDEX), "Frame test N.5"},
        {"Right 3", s.Right(3), "N.5"},
        {"Right past end", s.Right(100), "Frame test N.5"},
        {"Right 0", s.Right(0), ""},
        {"Mid to end", s.Mid(13), "5"},
        {"Mid with length", s.Mid(6, 4), "test"},
        {"Mid at end", s.Mid(14), ""},
        {"Mid past end", s.Mid(50, 2), ""},
        {"Mid zero length", s.Mid(2, 0), ""},
        {"Mid negative start", s.Mid(-2, 4), "Fr"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.result, c.expected) << c.what;
}

TEST(PString, AsIntegerReadsTheLeadingNumber)
{
    struct Case {
        const char *text;
        long integer;
        unsigned long unsignedValue;
    };
    const Case cases[] = {
        {"1991", 1991, 1991}, {"  42", 42, 42},  {"-7", -7, 0},
        {"+8", 8, 8},         {"12abc", 12, 12}, {"abc", 0, 0},
        {"", 0, 0},           {"0x1f", 0, 0},    {"99999999999999999999", LONG_MAX, ULONG_MAX},
        {" - 3", 0, 0},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(PString(c.text).AsInteger(), c.integer) << c.text;
        EXPECT_EQ(PString(c.text).AsUnsigned(), c.unsignedValue) << c.text;
    }
    EXPECT_EQ(PString("1f").AsInteger(16), 31);
    EXPECT_EQ(PString("777").AsUnsigned(8), 511u);
}

TEST(PString, TokeniseSplitsAtSeparators)
{
    struct Case {
        const char *text;
        const char *separators;
        BOOL onePerSeparator;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"*:1991", ",", TRUE, {"*:1991"}},
        {"a,b,c", ",", TRUE, {"a", "b", "c"}},
        {"a,,b", ",", TRUE, {"a", "", "b"}},
        {"a,", ",", TRUE, {"a", ""}},
        {",a", ",", TRUE, {"", "a"}},
        {"", ",", TRUE, {}},
        {"a b;c", " ;", TRUE, {"a", "b", "c"}},
        {"  a   b  ", " ", FALSE, {"a", "b"}},
        {",,,", ",", FALSE, {}},
        {"abc", "", TRUE, {"abc"}},
    };
    for (const Case &c : cases)
        EXPECT_EQ(Tokens(PString(c.text).Tokenise(c.separators, c.onePerSeparator)), c.expected)
            << "'" << c.text << "'";
}

TEST(PString, SprintfAppendsAndPsprintfFormats)
{
    PString s("ip$");
    s.sprintf("%d.%d.%d.%d", 10, 0, 0, 1).sprintf(":%u", 1720u);
    EXPECT_EQ(s, "ip$10.0.0.1:1720");
    EXPECT_EQ(psprintf("*:%d", 1991), "*:1991");
    EXPECT_EQ(psprintf("H225 Answer:%0x", 0xbeef), "H225 Answer:beef");
    EXPECT_EQ(psprintf("%s|%5s|%-3s|", "a", "b", "c"), "a|    b|c  |");
    std::string big(5000, 'z');
    EXPECT_EQ(psprintf("%s!", big.c_str()).GetLength(), 5001);
    EXPECT_TRUE(psprintf("%s", "").IsEmpty());
}

TEST(PString, ConcatenatesAndCompares)
{
    PString a("abc");
    EXPECT_EQ(a + "def", "abcdef");
    EXPECT_EQ("x" + a, "xabc");
    EXPECT_EQ(a + PString("1") + '2', "abc12");
    PString b(a);
    b += "d";
    b += PString("e");
    b += 'f';
    EXPECT_EQ(b, "abcdef");
    EXPECT_EQ(a, "abc");

    EXPECT_TRUE(PString("abc") == "abc");
    EXPECT_TRUE("abc" == PString("abc"));
    EXPECT_TRUE(PString("abc") != "abd");
    EXPECT_TRUE(PString("abc") < PString("abd"));
    EXPECT_TRUE(PString("ab") < "abc");
    EXPECT_TRUE(PString("b") > "abc");
    EXPECT_TRUE(PString("\xc4") > "z") << "bytes compare unsigned";
    EXPECT_TRUE(PString("Abc") != "abc");
    EXPECT_TRUE(PString("Abc") *= "aBC");
    EXPECT_EQ(PString("abc").Compare(PString("abc")), PObject::EqualTo);
}

TEST(PString, CaselessStringIgnoresAsciiCaseOnly)
{
    PCaselessString s("Hello World");
    EXPECT_TRUE(s == "hello world");
    EXPECT_TRUE(s == PString("HELLO WORLD"));
    EXPECT_FALSE(s == "hello worl");
    EXPECT_EQ(s.Find("WORLD"), 6);
    EXPECT_TRUE(PCaselessString("a") < "B");
    // The trail byte 0x41 of a double-byte character is not the letter 'A'.
    EXPECT_FALSE(PCaselessString("\x81\x41") == "\x81\x61");
}

TEST(PString, TrimAndCaseChanges)
{
    EXPECT_EQ(PString(" \t a b \r\n").Trim(), "a b");
    EXPECT_EQ(PString("  a ").LeftTrim(), "a ");
    EXPECT_EQ(PString("  a ").RightTrim(), "  a");
    EXPECT_EQ(PString("   ").Trim(), "");
    EXPECT_EQ(PString("MiXeD 1").ToLower(), "mixed 1");
    EXPECT_EQ(PString("MiXeD 1").ToUpper(), "MIXED 1");
    EXPECT_EQ(PString("A\x81\x41Z").ToLower(), "a\x81\x41z");
}

TEST(PString, IndexingAndEmptying)
{
    PString s("ab");
    EXPECT_EQ(s[0], 'a');
    EXPECT_EQ(s[1], 'b');
    EXPECT_EQ(s[2], '\0');
    EXPECT_EQ(s[-1], '\0');
    s.MakeEmpty();
    EXPECT_TRUE(s.IsEmpty());
    EXPECT_EQ(s.GetLength(), 0);
    EXPECT_TRUE(PString::Empty().IsEmpty());

    std::ostringstream out;
    out << PString("printed");
    EXPECT_EQ(out.str(), "printed");
}

} // namespace
