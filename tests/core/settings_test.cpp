// CSettings: file layouts byte for byte, defaults, bounds, bad files, per-account files and
// saves that fail.
//
// Fixtures are written from the layouts: I32 is a 4-byte little-endian integer, Str a
// counted string (one length byte below 255, else 0xFF and a 16-bit length).
#include <core/settings.h>

#include <pwlib/sound/psoundchannel.h>

#include <tests/support/temp_dir.h>
#include <win/module_testing.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

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
    Bytes b;
    if (s.size() < 255) {
        b.push_back(static_cast<unsigned char>(s.size()));
    } else {
        b = {0xFF, static_cast<unsigned char>(s.size()), static_cast<unsigned char>(s.size() >> 8)};
    }
    b.insert(b.end(), s.begin(), s.end());
    return b;
}

Bytes Cat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes &p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

Bytes Cut(Bytes b, size_t n)
{
    b.resize(std::min(n, b.size()));
    return b;
}

// The enciphered words of the kept passwords (account "alice", or "bob"), from the same
// independent script as the cipher's known answers.
const Bytes kAliceAbc = {0x57, 0x01, 0xE6, 0xB0, 0xD0, 0xC2, 0x3E, 0x9D,
                         0xE2, 0x66, 0xBA, 0x7D, 0x7B, 0x60, 0x72, 0x5A};
const Bytes kAlice0123456789 = {0xF5, 0x31, 0x6C, 0xDC, 0xB6, 0x15, 0x35, 0x44,
                                0x90, 0xA3, 0x93, 0xD5, 0xD4, 0x49, 0x44, 0x65};
const Bytes kAliceAToT = {0x64, 0x40, 0x07, 0xE4, 0xBB, 0xC0, 0x39, 0x88,
                          0xAC, 0x20, 0x68, 0x95, 0xEF, 0xBD, 0x86, 0xF8};
const Bytes kAliceEmpty = {0x57, 0x01, 0xE6, 0xB0, 0xD0, 0xC2, 0x3E, 0x9D,
                           0x57, 0x01, 0xE6, 0xB0, 0xD0, 0xC2, 0x3E, 0x9D};
const Bytes kBobAbc = {0x32, 0x72, 0x3F, 0x3D, 0x8C, 0x0F, 0xEF, 0xE0,
                       0x87, 0x19, 0x50, 0x19, 0xEF, 0x8A, 0x5B, 0x1A};

const char *const kDataFiles[] = {"audio.dat",   "ui.dat",     "client.dat",
                                  "General.dat", "calls.dat",  "Forward.dat",
                                  "Filter.dat",  "Server.dat", "Video.dat"};

// Each test runs with the executable seemingly in its own directory.
class SettingsTest : public ::testing::Test
{
  protected:
    SettingsTest() { win::testing::OverrideExecutablePath(tmp.file("kestrelin").c_str()); }
    ~SettingsTest() override { win::testing::OverrideExecutablePath(nullptr); }

    TempDir tmp;
};

TEST_F(SettingsTest, FirstStartHasEveryDefaultAndWritesAllNineFiles)
{
    {
        CSettings s;
        EXPECT_EQ(s.m_strInstallDir, tmp.dir().c_str());
        EXPECT_EQ(GetInstallDir(), tmp.dir().c_str());
        EXPECT_EQ(s.m_strPhoneBookFile, (tmp.dir() + "pbook.dat").c_str());
        EXPECT_EQ(s.m_strHelpFile, (tmp.dir() + "Quarnefol.chm").c_str());
        EXPECT_EQ(s.m_nAudioOption1, 0);
        EXPECT_EQ(s.m_nAudioOption2, 56);
        EXPECT_EQ(s.m_nAudioOption3, 200);
        EXPECT_EQ(s.m_strPlayDevice, "Default");
        EXPECT_EQ(s.m_strRecordDevice, "Default");
        // Callers look the stored names up in the device lists byte for byte.
        EXPECT_NE(PSoundChannel::GetDeviceNames(PSoundChannel::Player)
                      .GetStringsIndex(PString(s.m_strPlayDevice.GetString())),
                  P_MAX_INDEX);
        EXPECT_NE(PSoundChannel::GetDeviceNames(PSoundChannel::Recorder)
                      .GetStringsIndex(PString(s.m_strRecordDevice.GetString())),
                  P_MAX_INDEX);
        EXPECT_EQ(s.m_strRingOutWav, (tmp.dir() + "ringout.wav").c_str());
        EXPECT_EQ(s.m_strRingInWav, (tmp.dir() + "ringin.wav").c_str());
        EXPECT_EQ(s.m_strBusyWav, (tmp.dir() + "busy.wav").c_str());
        EXPECT_EQ(s.m_bNoWindowFile, 1);
        EXPECT_EQ(s.m_nWindowLeft, 0);
        EXPECT_EQ(s.m_nWindowTop, 0);
        EXPECT_EQ(s.m_nClientOption, 0);
        EXPECT_EQ(s.m_bKeepPassword, 0);
        EXPECT_TRUE(s.m_strAccount.IsEmpty());
        EXPECT_TRUE(s.m_strPassword.IsEmpty());
        EXPECT_EQ(s.m_nGeneralOption, 1);
        EXPECT_EQ(s.m_bAutoLogin, 0);
        EXPECT_TRUE(s.m_strGeneral.IsEmpty());
        EXPECT_EQ(s.m_QuickCalls.m_nCount + s.m_DialedCalls.m_nCount + s.m_MissedCalls.m_nCount +
                      s.m_ReceivedCalls.m_nCount,
                  0);
        EXPECT_TRUE(s.m_strForwardAlways.IsEmpty());
        EXPECT_TRUE(s.m_strForwardBusy.IsEmpty());
        EXPECT_TRUE(s.m_strForwardNoAnswer.IsEmpty());
        EXPECT_EQ(s.m_nNoAnswerTime, 30);
        EXPECT_EQ(s.m_nFilterMode, 0);
        EXPECT_EQ(s.m_nFilterCount, 0);
        EXPECT_EQ(s.m_nServerIndex, 0);
        EXPECT_EQ(s.m_nLocalPort, 1991);
        EXPECT_EQ(s.m_nServerPort, 19900);
        EXPECT_TRUE(s.m_strServerName.IsEmpty());
        EXPECT_EQ(s.m_nVideo,
                  (std::array<int, 15>{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 10, 320, 15}));
    }
    struct Case {
        const char *file;
        Bytes bytes;
    } cases[] = {
        {"audio.dat",
         Cat({I32(0), I32(56), Str(tmp.dir() + "ringin.wav"), Str("Default"), Str("Default")})},
        {"ui.dat", Cat({I32(0), I32(0)})},
        {"client.dat", Cat({I32(0), I32(0), Str("")})},
        {"General.dat", Cat({I32(1), I32(0), Str("")})},
        {"calls.dat", Cat({I32(0), I32(0), I32(0), I32(0)})},
        {"Forward.dat", Cat({Str(""), Str(""), I32(30)})},
        {"Filter.dat", Cat({I32(0), I32(0)})},
        {"Server.dat", Cat({I32(0), I32(1991), I32(19900), Str("")})},
        {"Video.dat", Cat({I32(0), I32(0), I32(0), I32(0), I32(0), I32(0), I32(0), I32(0), I32(10),
                           I32(320), I32(15), I32(0), I32(0), I32(0), I32(0)})},
    };
    for (const Case &c : cases)
        EXPECT_EQ(tmp.read(c.file), c.bytes) << c.file;
    std::vector<std::string> names(std::begin(kDataFiles), std::end(kDataFiles));
    std::sort(names.begin(), names.end());
    EXPECT_EQ(tmp.entries(), names);
}

TEST_F(SettingsTest, LoadsEveryFileInItsFieldOrder)
{
    tmp.write("audio.dat", Cat({I32(2), I32(57), Str("r.wav"), Str("hw:1"), Str("hw:2")}));
    tmp.write("ui.dat", Cat({I32(100), I32(-5)}));
    tmp.write("client.dat", Cat({I32(7), I32(1), Str("alice"), kAliceAbc}));
    tmp.write("General.dat", Cat({I32(3), I32(1), Str("gen")}));
    tmp.write("calls.dat", Cat({I32(1), Str("555"), Str("Ann"),                   // Quick
                                I32(2), Str("1"), Str("t1"), Str("2"), Str("t2"), // Dialed
                                I32(0),                                           // Missed
                                I32(1), Str("9"), Str("t9")}));                   // Received
    tmp.write("Forward.dat", Cat({Str("100"), Str("200"), I32(12)}));
    tmp.write("Filter.dat", Cat({I32(1), I32(2), Str("111"), Str("222")}));
    tmp.write("Server.dat", Cat({I32(1), I32(2000), I32(19901), Str("srv")}));
    tmp.write("Video.dat", Cat({I32(1), I32(1), I32(0), I32(1), I32(0), I32(2), I32(7), I32(3),
                                I32(20), I32(128), I32(50), I32(1), I32(0), I32(0), I32(1)}));
    CSettings s;
    EXPECT_EQ(s.m_nAudioOption1, 2);
    EXPECT_EQ(s.m_nAudioOption2, 57);
    EXPECT_EQ(s.m_strRingInWav, "r.wav");
    EXPECT_EQ(s.m_strPlayDevice, "hw:1");
    EXPECT_EQ(s.m_strRecordDevice, "hw:2");
    EXPECT_EQ(s.m_bNoWindowFile, 0);
    EXPECT_EQ(s.m_nWindowLeft, 100);
    EXPECT_EQ(s.m_nWindowTop, -5);
    EXPECT_EQ(s.m_nClientOption, 7);
    EXPECT_EQ(s.m_bKeepPassword, 1);
    EXPECT_EQ(s.m_strAccount, "alice");
    EXPECT_EQ(s.m_strPassword, "abc");
    EXPECT_EQ(s.m_nGeneralOption, 3);
    EXPECT_EQ(s.m_bAutoLogin, 1);
    EXPECT_EQ(s.m_strGeneral, "gen");
    EXPECT_EQ(s.m_QuickCalls.m_nCount, 1);
    EXPECT_EQ(s.m_QuickCalls.m_strText[0], "Ann");
    EXPECT_EQ(s.m_DialedCalls.m_nCount, 2);
    EXPECT_EQ(s.m_DialedCalls.m_strNumber[1], "2");
    EXPECT_EQ(s.m_DialedCalls.m_strText[1], "t2");
    EXPECT_EQ(s.m_MissedCalls.m_nCount, 0);
    EXPECT_EQ(s.m_ReceivedCalls.m_nCount, 1);
    EXPECT_EQ(s.m_ReceivedCalls.m_strNumber[0], "9");
    EXPECT_EQ(s.m_strForwardBusy, "100");
    EXPECT_EQ(s.m_strForwardNoAnswer, "200");
    EXPECT_EQ(s.m_nNoAnswerTime, 12);
    EXPECT_EQ(s.m_nFilterMode, 1);
    EXPECT_EQ(s.m_nFilterCount, 2);
    EXPECT_EQ(s.m_arrFilter[1], "222");
    EXPECT_EQ(s.m_nServerIndex, 1);
    EXPECT_EQ(s.m_nLocalPort, 2000);
    EXPECT_EQ(s.m_nServerPort, 19901);
    EXPECT_EQ(s.m_strServerName, "srv");
    EXPECT_EQ(s.m_nVideo, (std::array<int, 15>{1, 1, 0, 1, 0, 1, 0, 0, 1, 2, 7, 3, 20, 128, 50}));
}

TEST_F(SettingsTest, SavesExactBytes)
{
    Bytes calls;
    {
        CSettings s;
        s.m_nWindowLeft = 0x01020304;
        s.m_nWindowTop = -2;
        s.m_strGeneral = std::string(300, 'g').c_str();
        for (int i = 0; i < 15; ++i)
            s.m_nVideo[i] = i;
        s.m_QuickCalls.m_nCount = 1;
        s.m_QuickCalls.m_strNumber[0] = "8";
        s.m_QuickCalls.m_strText[0] = "\xD6\xD0"; // GBK text stays bytes
        s.m_MissedCalls.m_nCount = 1;
        s.m_MissedCalls.m_strNumber[0] = "7";
    }
    EXPECT_EQ(tmp.read("ui.dat"), Cat({{0x04, 0x03, 0x02, 0x01}, {0xFE, 0xFF, 0xFF, 0xFF}}));
    Bytes general = tmp.read("General.dat");
    ASSERT_GE(general.size(), 11u);
    EXPECT_EQ(Bytes(general.begin() + 8, general.begin() + 11), (Bytes{0xFF, 0x2C, 0x01}));
    EXPECT_EQ(general.size(), 8u + 3u + 300u);
    EXPECT_EQ(tmp.read("Video.dat"),
              Cat({I32(0), I32(1), I32(2), I32(3), I32(4), I32(9), I32(10), I32(11), I32(12),
                   I32(13), I32(14), I32(5), I32(6), I32(7), I32(8)}));
    EXPECT_EQ(
        tmp.read("calls.dat"),
        Cat({I32(1), Str("8"), {0x02, 0xD6, 0xD0}, I32(0), I32(1), Str("7"), {0x00}, I32(0)}));
}

// The kept password: block A holds all bytes but the last eight, block B the last eight.
TEST_F(SettingsTest, KeptPasswordBlocks)
{
    struct Case {
        std::string password;
        Bytes words;
        std::string loaded;
    } cases[] = {
        {"abc", kAliceAbc, "abc"},                                // A = 0, B = 0x616263
        {"0123456789", kAlice0123456789, "0123456789"},           // A = "01", B = "23456789"
        {"abcdefghijklmnopqrst", kAliceAToT, "efghijklmnopqrst"}, // A keeps eight bytes
        {"", kAliceEmpty, ""},                                    // two zero blocks
    };
    for (const Case &c : cases) {
        {
            CSettings s;
            s.m_bKeepPassword = 1;
            s.m_strAccount = "alice";
            s.m_strPassword = c.password.c_str();
        }
        EXPECT_EQ(tmp.read("client.dat"), Cat({I32(0), I32(1), Str("alice"), c.words}))
            << c.password;
        CSettings back;
        EXPECT_EQ(back.m_strPassword, c.loaded.c_str());
        back.m_bKeepPassword = 0;
    }
    EXPECT_EQ(tmp.read("client.dat"), Cat({I32(0), I32(0), Str("alice")}))
        << "without the keep flag only two integers and the account";
}

TEST_F(SettingsTest, PasswordDependsOnTheAccountName)
{
    tmp.write("client.dat", Cat({I32(0), I32(1), Str("bob"), kBobAbc}));
    {
        CSettings s;
        EXPECT_EQ(s.m_strPassword, "abc");
    }
    tmp.write("client.dat", Cat({I32(0), I32(1), Str("bob"), kAliceAbc}));
    CSettings s;
    EXPECT_NE(s.m_strPassword, "abc");
}

TEST_F(SettingsTest, ListCountsAreBounded)
{
    auto pairs = [](int n, const std::string &tag) {
        Bytes b = I32(n);
        for (int i = 0; i < n; ++i)
            b = Cat({b, Str(tag + std::to_string(i)), Str("x")});
        return b;
    };
    tmp.write("calls.dat", Cat({pairs(60, "q"), pairs(15, "d"), I32(-3), pairs(1, "r")}));
    Bytes filter = Cat({I32(0), I32(301)});
    for (int i = 0; i < 301; ++i)
        filter = Cat({filter, Str(std::to_string(i))});
    tmp.write("Filter.dat", filter);
    {
        CSettings s;
        EXPECT_EQ(s.m_QuickCalls.m_nCount, 50);
        EXPECT_EQ(s.m_QuickCalls.m_strNumber[49], "q49");
        EXPECT_EQ(s.m_DialedCalls.m_nCount, 10);
        EXPECT_EQ(s.m_DialedCalls.m_strNumber[9], "d9");
        EXPECT_EQ(s.m_MissedCalls.m_nCount, 0);
        EXPECT_EQ(s.m_ReceivedCalls.m_nCount, 1) << "the lists after a long one stay in step";
        EXPECT_EQ(s.m_ReceivedCalls.m_strNumber[0], "r0");
        EXPECT_EQ(s.m_nFilterCount, 300);
        EXPECT_EQ(s.m_arrFilter[299], "299");
        s.m_DialedCalls.m_nCount = 25; // a writer that broke the bound
    }
    Bytes calls = tmp.read("calls.dat");
    Bytes expected = Cat({pairs(50, "q"), pairs(10, "d"), I32(0), pairs(1, "r")});
    EXPECT_EQ(calls, expected);
    EXPECT_EQ(Cut(tmp.read("Filter.dat"), 8), Cat({I32(0), I32(300)}));
}

// A file that ends early or holds a bad length stops the reading there: what was read stays,
// the rest keeps its default; the next save writes a consistent file.
TEST_F(SettingsTest, ShortAndMalformedFilesStopReading)
{
    Bytes audio = Cat({I32(5), I32(6), Str("ring.wav"), Str("hw:3"), Str("hw:4")});
    Bytes client = Cat({I32(7), I32(1), Str("alice"), kAliceAbc});
    Bytes calls = Cat({I32(0), I32(3), Str("1"), Str("a"), Str("2"), Str("b"), Str("3")});
    Bytes filter = Cat({I32(1), I32(5), Str("x"), Str("y")});
    Bytes video = Cat({I32(1), I32(1), I32(1)});
    struct Case {
        const char *file;
        Bytes bytes;
        std::function<void(const CSettings &)> check;
    } cases[] = {
        {"audio.dat", Cut(audio, 6),
         [](const CSettings &s) {
             EXPECT_EQ(s.m_nAudioOption1, 5);
             EXPECT_EQ(s.m_nAudioOption2, 56);
         }},
        {"audio.dat", Cut(audio, 12),
         [&](const CSettings &s) {
             EXPECT_EQ(s.m_nAudioOption2, 6);
             EXPECT_EQ(s.m_strRingInWav, (tmp.dir() + "ringin.wav").c_str());
             EXPECT_EQ(s.m_strPlayDevice, "Default");
         }},
        {"audio.dat", Cat({I32(5), I32(6), {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F}, Str("z")}),
         [](const CSettings &s) {
             EXPECT_EQ(s.m_nAudioOption2, 6);
             EXPECT_EQ(s.m_strPlayDevice, "Default");
         }},
        {"ui.dat", Cut(Cat({I32(40), I32(50)}), 6),
         [](const CSettings &s) {
             EXPECT_EQ(s.m_bNoWindowFile, 0);
             EXPECT_EQ(s.m_nWindowLeft, 40);
             EXPECT_EQ(s.m_nWindowTop, 0);
         }},
        {"ui.dat",
         {},
         [](const CSettings &s) {
             EXPECT_EQ(s.m_bNoWindowFile, 0);
             EXPECT_EQ(s.m_nWindowLeft, 0);
         }},
        {"client.dat", Cut(client, client.size() - 1),
         [](const CSettings &s) {
             EXPECT_EQ(s.m_strAccount, "alice");
             EXPECT_TRUE(s.m_strPassword.IsEmpty());
         }},
        {"client.dat", Cat({I32(7), I32(0), {0x09, 'a', 'b'}}),
         [](const CSettings &s) {
             EXPECT_EQ(s.m_nClientOption, 7);
             EXPECT_TRUE(s.m_strAccount.IsEmpty());
         }},
        {"calls.dat", calls,
         [](const CSettings &s) {
             EXPECT_EQ(s.m_DialedCalls.m_nCount, 2) << "only the pairs read count";
             EXPECT_EQ(s.m_DialedCalls.m_strNumber[1], "2");
             EXPECT_TRUE(s.m_DialedCalls.m_strNumber[2].IsEmpty());
         }},
        {"Filter.dat", filter,
         [](const CSettings &s) {
             EXPECT_EQ(s.m_nFilterMode, 1);
             EXPECT_EQ(s.m_nFilterCount, 2);
         }},
        {"Forward.dat", Cut(Cat({Str("100"), Str("200"), I32(9)}), 6),
         [](const CSettings &s) {
             EXPECT_EQ(s.m_strForwardBusy, "100");
             EXPECT_TRUE(s.m_strForwardNoAnswer.IsEmpty());
             EXPECT_EQ(s.m_nNoAnswerTime, 30);
         }},
        {"Server.dat", Cat({I32(1), I32(70000), I32(0)}),
         [](const CSettings &s) {
             EXPECT_EQ(s.m_nServerIndex, 1);
             EXPECT_EQ(s.m_nLocalPort, 1991) << "not a port";
             EXPECT_EQ(s.m_nServerPort, 19900);
         }},
        {"Video.dat", video,
         [](const CSettings &s) {
             EXPECT_EQ(s.m_nVideo[2], 1);
             EXPECT_EQ(s.m_nVideo[3], 0);
             EXPECT_EQ(s.m_nVideo[12], 10);
         }},
        {"Video.dat",
         Cat({I32(0), I32(0), I32(0), I32(0), I32(0), I32(-4), I32(0), I32(9), I32(0), I32(1000),
              I32(0), I32(0), I32(0), I32(0), I32(0)}),
         [](const CSettings &s) {
             EXPECT_EQ(s.m_nVideo[9], 0);
             EXPECT_EQ(s.m_nVideo[11], 0);
             EXPECT_EQ(s.m_nVideo[12], 10) << "0 pictures a second";
             EXPECT_EQ(s.m_nVideo[13], 320);
             EXPECT_EQ(s.m_nVideo[14], 15);
         }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.file);
        for (const char *name : kDataFiles)
            std::filesystem::remove(tmp.path() / name);
        tmp.write(c.file, c.bytes);
        {
            CSettings s;
            c.check(s);
        }
        // Saved again, the file loads to the same members.
        CSettings again;
        c.check(again);
    }
}

TEST_F(SettingsTest, PerAccountForwardAndFilterFiles)
{
    tmp.write("Forward.dat", Cat({Str("100"), Str("200"), I32(15)}));
    tmp.write("Filter_bob.dat", Cat({I32(1), I32(1), Str("333")}));
    {
        CSettings s;
        s.m_strForwardAlways = "999";
        s.UseAccountFiles("bob");
        EXPECT_EQ(s.m_strForwardFile, (tmp.dir() + "Forward_bob.dat").c_str());
        EXPECT_EQ(s.m_strFilterFile, (tmp.dir() + "Filter_bob.dat").c_str());
        s.LoadForwardList();
        s.LoadFilterList();
        EXPECT_EQ(s.m_strForwardBusy, "100") << "no account file: the values stay";
        EXPECT_EQ(s.m_nNoAnswerTime, 15);
        EXPECT_EQ(s.m_nFilterCount, 1);
        EXPECT_EQ(s.m_arrFilter[0], "333");
        s.m_nNoAnswerTime = 20;
    }
    EXPECT_EQ(tmp.read("Forward_bob.dat"), Cat({Str("100"), Str("200"), I32(20)}));
    EXPECT_EQ(tmp.read("Forward.dat"), Cat({Str("100"), Str("200"), I32(15)}));
    CSettings restarted;
    EXPECT_TRUE(restarted.m_strForwardAlways.IsEmpty()) << "never stored";

    restarted.UseAccountFiles("a/b\\c%");
    EXPECT_EQ(restarted.m_strForwardFile, (tmp.dir() + "Forward_a%2Fb%5Cc%25.dat").c_str());
    restarted.SaveForwardList();
    EXPECT_TRUE(tmp.exists("Forward_a%2Fb%5Cc%25.dat"));
}

TEST_F(SettingsTest, FileNamesMatchWithoutCase)
{
    tmp.write("general.dat", Cat({I32(4), I32(0), Str("")}));
    tmp.write("VIDEO.DAT", Cat({I32(1)}));
    {
        CSettings s;
        EXPECT_EQ(s.m_nGeneralOption, 4);
        EXPECT_EQ(s.m_nVideo[0], 1);
    }
    EXPECT_FALSE(tmp.exists("General.dat")) << "the existing spelling is written";
    EXPECT_EQ(tmp.read("general.dat"), Cat({I32(4), I32(0), Str("")}));
}

// The file names of save failures, in the order of the saves.
std::vector<std::string> Names(const std::vector<CSettings::SaveFailure> &failures)
{
    std::vector<std::string> names;
    for (const CSettings::SaveFailure &f : failures)
        names.push_back(std::filesystem::path(f.strPath.StdString()).filename().string());
    return names;
}

// A save that cannot complete (here the file size limit, as a full disk would) leaves every
// previous file as it was and no partial file behind.
TEST_F(SettingsTest, FailedSaveKeepsThePreviousFiles)
{
    Bytes calls = Cat({I32(1), Str("555"), Str("Ann"), I32(0), I32(0), I32(0)});
    Bytes general = Cat({I32(2), I32(1), Str("old")});
    tmp.write("calls.dat", calls);
    tmp.write("General.dat", general);
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old;
    getrlimit(RLIMIT_FSIZE, &old);
    {
        CSettings s;
        s.m_strGeneral = std::string(1000, 'n').c_str();
        for (int i = 0; i < 50; ++i)
            s.m_QuickCalls.m_strNumber[i] = std::string(40, 'q').c_str();
        s.m_QuickCalls.m_nCount = 50;
        rlimit small = old;
        small.rlim_cur = 512;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
        std::vector<CSettings::SaveFailure> failed = s.SaveAll();
        setrlimit(RLIMIT_FSIZE, &old);
        EXPECT_EQ(Names(failed), (std::vector<std::string>{"General.dat", "calls.dat"}));
        for (const CSettings::SaveFailure &f : failed)
            EXPECT_EQ(f.nError, EFBIG) << f.strPath.GetString();
        EXPECT_EQ(tmp.read("calls.dat"), calls);
        EXPECT_EQ(tmp.read("General.dat"), general);
        std::vector<std::string> names(std::begin(kDataFiles), std::end(kDataFiles));
        std::sort(names.begin(), names.end());
        EXPECT_EQ(tmp.entries(), names) << "small files saved, no temporary file left";
    }
    EXPECT_NE(tmp.read("calls.dat"), calls) << "a save that can complete replaces the file";
}

TEST_F(SettingsTest, SomethingOtherThanAFileInAFilesPlaceCountsAsMissing)
{
    struct Case {
        const char *name;
        std::function<void(const std::string &path)> make;
        std::vector<std::string> unsaved; ///< what the save then cannot write
    };
    const Case cases[] = {
        {"FIFO", [](const std::string &p) { ASSERT_EQ(mkfifo(p.c_str(), 0600), 0); }, {}},
        {"directory", [](const std::string &p) { std::filesystem::create_directory(p); },
         {"ui.dat"}},
        {"device", [](const std::string &p) { std::filesystem::create_symlink("/dev/zero", p); },
         {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        win::testing::OverrideExecutablePath(dir.file("kestrelin").c_str());
        c.make(dir.file("ui.dat"));
        // A start-up that waited for a writer at the FIFO is let go after a while, and fails.
        std::atomic<bool> started{false}, released{false};
        std::thread watchdog([&] {
            for (int i = 0; i < 300 && !started; i++)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            if (!started) {
                released = true;
                int fd = open(dir.file("ui.dat").c_str(), O_WRONLY | O_NONBLOCK);
                if (fd >= 0)
                    close(fd);
            }
        });
        auto s = std::make_unique<CSettings>();
        started = true;
        watchdog.join();
        EXPECT_FALSE(released) << "start-up waited at ui.dat";
        EXPECT_EQ(s->m_bNoWindowFile, 1);
        EXPECT_EQ(Names(s->SaveAll()), c.unsaved);
        // Saved in its place as a file, or refused without touching it.
        std::filesystem::file_status status = std::filesystem::symlink_status(dir.file("ui.dat"));
        EXPECT_EQ(std::filesystem::is_regular_file(status), c.unsaved.empty());
        s.reset();
    }
}

TEST_F(SettingsTest, AFailedSaveNamesTheFilesItCouldNotWrite)
{
    struct Case {
        const char *name;
        std::function<void(const TempDir &)> spoil;
        std::vector<std::string> unsaved;
        int error;
    };
    const Case cases[] = {
        {"a directory in the place of calls.dat",
         [](const TempDir &t) {
             std::filesystem::remove(t.file("calls.dat"));
             std::filesystem::create_directory(t.file("calls.dat"));
         },
         {"calls.dat"}, EISDIR},
        {"the install directory gone",
         [](const TempDir &t) { std::filesystem::remove_all(t.path()); },
         {"audio.dat", "ui.dat", "client.dat", "General.dat", "calls.dat", "Forward.dat",
          "Filter.dat", "Server.dat", "Video.dat"},
         ENOENT},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        win::testing::OverrideExecutablePath(dir.file("kestrelin").c_str());
        CSettings s;
        ASSERT_TRUE(s.SaveAll().empty());
        const Bytes video = dir.read("Video.dat");
        c.spoil(dir);
        s.m_nVideo[12] = 5;
        std::vector<CSettings::SaveFailure> failed = s.SaveAll();
        EXPECT_EQ(Names(failed), c.unsaved);
        for (const CSettings::SaveFailure &f : failed)
            EXPECT_EQ(f.nError, c.error) << f.strPath.GetString();
        if (dir.exists("Video.dat")) {
            EXPECT_NE(dir.read("Video.dat"), video) << "the files that could be written are";
        }
        std::filesystem::create_directories(dir.path());
    }
}

TEST_F(SettingsTest, ReplacementsLeftByAnInterruptedSaveAreRemovedAtStart)
{
    pid_t dead = fork();
    if (dead == 0)
        _exit(0);
    ASSERT_GT(dead, 0);
    waitpid(dead, nullptr, 0);
    const std::string gone = std::to_string(dead), alive = std::to_string(getpid());
    struct Case {
        std::string name;
        bool removed;
    };
    const Case cases[] = {
        {".calls.dat." + gone + "-0.tmp", true},
        {".Forward_8001.dat." + gone + "-17.tmp", true},
        {".calls.dat." + alive + "-1.tmp", false}, // a save under way in a running process
        {".calls.dat.bak", false},
        {"notes.tmp", false},
        {".calls.dat." + gone + "-x.tmp", false},
        {".calls.dat.-1.tmp", false},
    };
    const Bytes calls = Cat({I32(1), Str("555"), Str("Ann"), I32(0), I32(0), I32(0)});
    tmp.write("calls.dat", calls);
    for (const Case &c : cases)
        tmp.write(c.name, calls);
    CSettings s;
    EXPECT_EQ(s.m_QuickCalls.m_nCount, 1) << "the file itself is read";
    for (const Case &c : cases)
        EXPECT_EQ(tmp.exists(c.name), !c.removed) << c.name;
}

TEST_F(SettingsTest, MissingInstallDirectoryIsNoCrash)
{
    std::string gone = tmp.file("gone/kestrelin");
    win::testing::OverrideExecutablePath(gone.c_str());
    {
        CSettings s;
        EXPECT_EQ(s.m_bNoWindowFile, 1);
        s.m_strAccount = "x";
    }
    EXPECT_FALSE(tmp.exists("gone"));
}

} // namespace
