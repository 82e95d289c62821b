// CString: byte semantics, two-byte characters of the ANSI code page, conversions.
#include <win/codepage.h>
#include <win/cstring.h>

#include <gtest/gtest.h>

namespace
{

// GBK: "中" D6 D0, "文" CE C4; "昞" 95 5C has '\' as its trail byte, "亇" 81 61 has 'a'.
const char kZhong[] = "\xD6\xD0";
const char kTrailBackslash[] = "\x95\x5C";
const char kTrailLetter[] = "\x81\x61";

TEST(CStringTest, CountsBytesIncludingZeros)
{
    CString s("ab\0cd", 5);
    EXPECT_EQ(s.GetLength(), 5);
    EXPECT_EQ(s.Mid(3), "cd");
    EXPECT_EQ(s, CString("ab\0cd", 5));
    EXPECT_NE(s, CString("ab"));
    EXPECT_STREQ(static_cast<LPCTSTR>(CString()), "");
    EXPECT_TRUE(CString(static_cast<const char *>(nullptr)).IsEmpty());
}

TEST(CStringTest, SubstringsClampTheirBounds)
{
    CString s("abcdef");
    EXPECT_EQ(s.Left(2), "ab");
    EXPECT_EQ(s.Left(10), "abcdef");
    EXPECT_EQ(s.Left(-1), "");
    EXPECT_EQ(s.Mid(2, 3), "cde");
    EXPECT_EQ(s.Mid(4, 10), "ef");
    EXPECT_EQ(s.Mid(10), "");
    EXPECT_EQ(s.Mid(-3, 2), "ab");
    EXPECT_EQ(s.Right(2), "ef");
    EXPECT_EQ(s.Right(9), "abcdef");
}

TEST(CStringTest, FindStepsOverTwoByteCharacters)
{
    CString path = CString("dir") + kTrailBackslash + "\\file";
    EXPECT_EQ(path.Find('\\'), 5);
    EXPECT_EQ(path.ReverseFind('\\'), 5);
    EXPECT_EQ(path.FindOneOf("\\/"), 5);
    EXPECT_EQ(CString(kTrailLetter).Find('a'), -1);
    EXPECT_EQ(CString(kTrailLetter).Find("a"), -1);

    CString s("a,b,c");
    EXPECT_EQ(s.Find(','), 1);
    EXPECT_EQ(s.Find(',', 2), 3);
    EXPECT_EQ(s.Find(',', 4), -1);
    EXPECT_EQ(s.Find("b,c"), 2);
    EXPECT_EQ(s.Find("b,c", 3), -1);
    EXPECT_EQ(s.Find("", 0), 0);
    EXPECT_EQ(s.Find("x"), -1);
    EXPECT_EQ(s.ReverseFind(','), 3);
}

TEST(CStringTest, CaseMappingKeepsTwoByteCharacters)
{
    CString s = CString("Kestrelin.exe ") + kTrailLetter;
    EXPECT_EQ(CString(s).MakeUpper(), CString("KESTRELIN.EXE ") + kTrailLetter);
    EXPECT_EQ(CString(s).MakeLower(), CString("kestrelin.exe ") + kTrailLetter);
    EXPECT_EQ(CString("ABC").CompareNoCase("abc"), 0);
    EXPECT_NE(CString("\x81\x41").CompareNoCase(kTrailLetter), 0);
    EXPECT_LT(CString("abc").Compare("abd"), 0);
    EXPECT_GT(CString("\xD6").Compare("a"), 0); // bytes compare unsigned
}

TEST(CStringTest, TrimReplaceAndRemove)
{
    EXPECT_EQ(CString(" \t a b \r\n").Trim(), "a b");
    EXPECT_EQ(CString("xxaxx").TrimLeft('x'), "axx");
    EXPECT_EQ(CString("xxaxx").TrimRight('x'), "xxa");
    EXPECT_EQ(CString("-+a+-").TrimRight("+-").TrimLeft("+-"), "a");
    EXPECT_EQ(CString(kZhong).TrimRight('\xD0'), kZhong);

    CString number(" 12 3\r\n");
    EXPECT_EQ(number.Remove(' '), 2);
    number.Remove('\r');
    number.Remove('\n');
    EXPECT_EQ(number, "123");

    CString path = CString("a\\") + kTrailBackslash + "\\b";
    EXPECT_EQ(path.Replace('\\', '/'), 2);
    EXPECT_EQ(path, CString("a/") + kTrailBackslash + "/b");

    CString text("one two one");
    EXPECT_EQ(text.Replace("one", "1"), 2);
    EXPECT_EQ(text, "1 two 1");
    EXPECT_EQ(text.Replace("", "x"), 0);
}

TEST(CStringTest, FormatAndConcatenation)
{
    CString s;
    s.Format("%s %d %04X", "x", -5, 0xBEEF);
    EXPECT_EQ(s, "x -5 BEEF");
    s.AppendFormat("|%d.%d", 1, 2);
    EXPECT_EQ(s, "x -5 BEEF|1.2");
    CString dir("/opt/k/");
    s.Format("%sForward_%s.dat", static_cast<LPCTSTR>(dir), "bob");
    EXPECT_EQ(s, "/opt/k/Forward_bob.dat");
    CString big;
    big.Format("%s", std::string(5000, 'z').c_str());
    EXPECT_EQ(big.GetLength(), 5000);

    CString a("a");
    EXPECT_EQ(a + "b" + 'c' + CString("d"), "abcd");
    EXPECT_EQ("x" + a, "xa");
    a += "b";
    a += 'c';
    EXPECT_EQ(a, "abc");
    EXPECT_TRUE(CString("a") < CString("b"));
    EXPECT_TRUE(CString("a") < "ab");
}

TEST(CStringTest, BufferAccess)
{
    CString s("abc");
    char *p = s.GetBuffer(16);
    std::snprintf(p, 16, "%s", "hello");
    s.ReleaseBuffer();
    EXPECT_EQ(s, "hello");
    s.GetBuffer(0)[0] = 'j';
    s.ReleaseBuffer(3);
    EXPECT_EQ(s, "jel");
    s.SetAt(0, 'J');
    EXPECT_EQ(s.GetAt(0), 'J');
    EXPECT_EQ(s[2], 'l');
    EXPECT_EQ(s.Insert(1, "__"), 5);
    EXPECT_EQ(s, "J__el");
    EXPECT_EQ(s.Delete(1, 2), 3);
    EXPECT_EQ(s, "Jel");
}

TEST(CStringTest, ConvertsBetweenGbkAndUtf8)
{
    CString zh = CString::FromUtf8("中文 ok");
    EXPECT_EQ(zh, CString("\xD6\xD0\xCE\xC4 ok"));
    EXPECT_EQ(zh.ToUtf8(), "中文 ok");
    // Not in GBK, and invalid UTF-8: replaced, the rest kept.
    EXPECT_EQ(CString::FromUtf8("a\xF0\x9F\x98\x80"
                                "b"),
              "a?b");
    EXPECT_EQ(CString::FromUtf8("a\xE4\xB8"
                                "b"),
              "a?b");
    // Invalid GBK, and a lead byte cut off at the end.
    EXPECT_EQ(CString("a\xFF"
                      "b")
                  .ToUtf8(),
              "a\xEF\xBF\xBD"
              "b");
    EXPECT_EQ(CString("a\xD6").ToUtf8(), "a\xEF\xBF\xBD");
}

TEST(CStringTest, CodePageIsAProcessSetting)
{
    EXPECT_EQ(win::GetAnsiCodePage(), "GBK");
    EXPECT_FALSE(win::SetAnsiCodePage("NO-SUCH-CODE-PAGE"));
    ASSERT_TRUE(win::SetAnsiCodePage("BIG5"));
    EXPECT_EQ(CString::FromUtf8("中文"), CString("\xA4\xA4\xA4\xE5"));
    ASSERT_TRUE(win::SetAnsiCodePage("ISO-8859-1"));
    EXPECT_EQ(CString("\x95\x5C").Find('\\'), 1);
    ASSERT_TRUE(win::SetAnsiCodePage("GBK"));
    EXPECT_EQ(CString("\x95\x5C").Find('\\'), -1);
}

BOOL TestLoader(UINT nID, CString &out)
{
    if (nID != 123)
        return FALSE;
    out = "Please input phone number.";
    return TRUE;
}

TEST(CStringTest, LoadStringUsesTheLoaderInForce)
{
    CString s("old");
    EXPECT_FALSE(s.LoadString(123));
    EXPECT_TRUE(s.IsEmpty());
    win::SetStringLoader(TestLoader);
    EXPECT_TRUE(s.LoadString(123));
    EXPECT_EQ(s, "Please input phone number.");
    EXPECT_FALSE(s.LoadString(124));
    win::SetStringLoader(nullptr);
}

} // namespace
