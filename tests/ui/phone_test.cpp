// The whole phone: main dialogs logged in to an in-process service simulator (service protocol
// and RAS gatekeeper) calling each other; start-up, the language file, timers, the call log,
// the caller lookup, the display updates, where the audio wizard opens, the chat window's video
// and the tray menu.
#include "layout_check.h"
#include "phone_harness.h"

#include <ui/chat_dlg.h>
#include <ui/login_dlg.h>
#include <ui/menu_panel_dlg.h>
#include <ui/soft_phone_app.h>
#include <ui/soft_phone_dlg.h>
#include <ui/voice_sheet.h>

#include <core/usb_phone.h>
#include <core/window_messages.h>
#include <tools/service-sim/ras_gatekeeper.h>
#include <tools/service-sim/service_server.h>

#include <tests/pwlib/wav_fixture.h>
#include <tests/support/free_port.h>

#include <win/application.h>
#include <win/carchive.h>
#include <win/cfile.h>
#include <win/cmenu.h>
#include <win/handle.h>
#include <win/module_testing.h>
#include <win/msgbox.h>
#include <win/path.h>
#include <win/shell.h>
#include <win/winmsg.h>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QPointer>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <sstream>

namespace {

using namespace phonetest;
using kestrelin::testing::FreeTcpPort;

// A silent wave file in the tones' format (8000 Hz, mono, 16 bits), seconds long.
void WriteSilence(const std::filesystem::path &path, int seconds)
{
    auto le = [](std::ostream &out, uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            out.put(char((v >> (8 * i)) & 0xff));
    };
    const uint32_t data = uint32_t(seconds) * 8000 * 2;
    std::ofstream out(path, std::ios::binary);
    out << "RIFF";
    le(out, 36 + data, 4);
    out << "WAVEfmt ";
    le(out, 16, 4);
    le(out, 1, 2);        // PCM
    le(out, 1, 2);        // channels
    le(out, 8000, 4);     // samples a second
    le(out, 16000, 4);    // bytes a second
    le(out, 2, 2);        // block align
    le(out, 16, 2);       // bits a sample
    out << "data";
    le(out, data, 4);
    out << std::string(data, '\0');
}

class PhoneTest : public ::testing::Test
{
  protected:
    void SetUp() override { App(); }
    InstallDir dir;
};

// ---- start-up and the language file ----

TEST_F(PhoneTest, TheLanguageFileChoosesByItsFirstCharacterAndIsCreatedWhenMissing)
{
    CSoftPhoneApp &app = App();
    CString d(dir.Path("").string().c_str());
    d = d.Left(d.GetLength() - 1);
    app.ReadLanguage(d);
    EXPECT_EQ(dir.Read("netphone.ini"), "0") << "a missing file is created holding 0";
    EXPECT_EQ(app.m_nLanguage, 0);
    ASSERT_NE(app.m_hChinese, nullptr) << "both language packs load at every start";
    ASSERT_NE(app.m_hTraditional, nullptr);
    const struct {
        const char *text;
        int language;
    } cases[] = {{"2\n", 2}, {"21", 2}, {" 1", 0}, {"1", 1}, {"", 0}, {"9", 0}};
    for (const auto &c : cases) {
        std::ofstream(dir.Path("netphone.ini"), std::ios::binary) << c.text;
        app.FreeLanguageLibraries();
        app.ReadLanguage(d);
        EXPECT_EQ(app.m_nLanguage, c.language) << '"' << c.text << '"';
        EXPECT_EQ(dir.Read("netphone.ini"), c.text) << "read, not rewritten";
    }
    app.FreeLanguageLibraries();
    app.m_nLanguage = 0;
}

TEST_F(PhoneTest, TheStartupDirectoryIsTheExecutablesOwnInItsOwnCase)
{
    win::testing::OverrideExecutablePath("/opt/KestrelIn/Phone/kestrelin");
    EXPECT_EQ(CSoftPhoneApp::StartupDirectory(), "/opt/KestrelIn/Phone");
    win::testing::OverrideExecutablePath("/opt/kestrelin/bin/phone");
    EXPECT_EQ(CSoftPhoneApp::StartupDirectory(), "/opt/kestrelin/bin/phone")
        << "another name: the path stays whole";
}

TEST_F(PhoneTest, ASecondInstanceSaysAlreadyExistsAndTouchesNothing)
{
    HANDLE first = CreateMutexA(nullptr, TRUE,
                                CSoftPhoneApp::InstanceMutexName(CSoftPhoneApp::StartupDirectory()));
    ASSERT_EQ(GetLastError(), 0u) << "another phone runs for this user";
    size_t boxes = Boxes().size();
    EXPECT_FALSE(App().InitInstance());
    ASSERT_EQ(Boxes().size(), boxes + 1);
    EXPECT_EQ(Boxes().back(), "Already exists");
    EXPECT_FALSE(dir.Exists("netphone.ini"));
    CloseHandle(first);
}

// What a run of the program (InitInstance) showed.
struct ProgramRun {
    bool loginShown = false;
    bool mainShown = false; // the main dialog came to registering
};

// Runs the program, acting once on the login dialog when it shows (the action ends it) and
// closing the main dialog once it registers.
ProgramRun RunProgram(const std::function<void(CLoginDlg &)> &atLogin)
{
    ProgramRun run;
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        CLoginDlg *login = nullptr;
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *l = dynamic_cast<CLoginDlg *>(CWnd::FromWidget(w)); l && w->isVisible())
                login = l;
        if (login && !run.loginShown) {
            run.loginShown = true;
            atLogin(*login);
        } else if (auto *main = dynamic_cast<CSoftPhoneDlg *>(AfxGetMainWnd());
                   main && !run.mainShown && main->m_strStatus == Text(126)) {
            run.mainShown = true;
            main->OnOK();
        }
    });
    poll.start();
    EXPECT_FALSE(App().InitInstance());
    return run;
}

TEST_F(PhoneTest, TheProgramRunsTheLoginThenTheMainDialogUntilExit)
{
    {
        CSettings saved; // the install directory's files, as a previous run left them
        saved.m_strAccount = "8001";
        saved.m_strPassword = "demo";
        saved.m_nServerPort = 9;
        saved.m_nLocalPort = FreeTcpPort();
        saved.SaveAll();
    }
    CString loginAccount;
    ProgramRun run = RunProgram([&](CLoginDlg &login) {
        login.GetDlgItem(1016)->GetWindowText(loginAccount);
        login.GetDlgItem(1016)->SetWindowText("8002");
        login.OnOK();
    });
    EXPECT_TRUE(run.loginShown);
    EXPECT_EQ(loginAccount, "8001") << "the saved account";
    EXPECT_TRUE(run.mainShown) << "the main dialog registers";
    EXPECT_EQ(AfxGetMainWnd(), nullptr);
    EXPECT_EQ(dir.Read("netphone.ini"), "0");
    CSettings after;
    EXPECT_EQ(after.m_strAccount, "8002") << "the login's account, saved at exit";
}

TEST_F(PhoneTest, AKeptPasswordIsTypedAtMostSixteenLongAndComesBackWhole)
{
    {
        CSettings saved;
        saved.m_strAccount = "8001";
        saved.m_nServerPort = 9;
        saved.m_nLocalPort = FreeTcpPort();
        saved.SaveAll();
    }
    ProgramRun run = RunProgram([](CLoginDlg &login) {
        static_cast<QCheckBox *>(login.GetDlgItem(1071)->GetWidget())->setChecked(true);
        QTest::keyClicks(login.GetDlgItem(1017)->GetWidget(), "abcdefghijklmnopqrst");
        login.OnOK();
    });
    ASSERT_TRUE(run.mainShown);
    CSettings after;
    EXPECT_EQ(after.m_bKeepPassword, 1);
    EXPECT_EQ(after.m_strPassword, "abcdefghijklmnop") << "what was typed is what is kept";
}

TEST_F(PhoneTest, ACancelledLoginEndsTheProgramAndChangesNoDataFile)
{
    {
        CSettings saved; // a previous run's files, without audio settings
        saved.m_strAccount = "8001";
        saved.m_nWindowLeft = 321;
        saved.m_nWindowTop = 123;
        saved.SaveAll();
    }
    std::filesystem::remove(dir.Path("audio.dat"));
    // The data files: everything but the sounds and packs the install directory came with.
    auto dataFiles = [&] {
        std::map<std::string, std::string> files;
        for (const auto &e : std::filesystem::directory_iterator(dir.Path(""))) {
            std::string name = e.path().filename().string();
            if (e.is_regular_file() &&
                !std::filesystem::exists(std::filesystem::path(KESTRELIN_RUNTIME_DIR) / name))
                files[name] = dir.Read(name);
        }
        return files;
    };
    std::map<std::string, std::string> before = dataFiles();
    ProgramRun run = RunProgram([](CLoginDlg &login) { login.OnCancel(); });
    ASSERT_TRUE(run.loginShown);
    EXPECT_FALSE(run.mainShown);
    before["netphone.ini"] = "0"; // made at start-up, before the login
    EXPECT_EQ(dataFiles(), before) << "audio.dat must not appear: it keeps the first-start wizard shut";
}

// ---- login, registration and the display ----

TEST_F(PhoneTest, RegisterOpensTheSignUpPageOrSaysThatNoBrowserCanBeStarted)
{
    std::vector<std::string> opened;
    bool browser = true;
    win::testing::SetUrlOpener([&](const std::string &url) {
        opened.push_back(url);
        return browser;
    });
    CLoginDlg login;
    ASSERT_TRUE(login.Create(221));
    const std::string page = "http://127.0.0.1/user/license.asp";
    size_t boxes = Boxes().size();
    login.SendMessage(WM_COMMAND, MAKEWPARAM(1066, BN_CLICKED), 0);
    EXPECT_EQ(opened, std::vector<std::string>{page});
    EXPECT_EQ(Boxes().size(), boxes) << "the browser shows the page: no box";
    browser = false;
    login.SendMessage(WM_COMMAND, MAKEWPARAM(1066, BN_CLICKED), 0);
    ASSERT_EQ(Boxes().size(), boxes + 1);
    EXPECT_EQ(Boxes().back(), "Cannot Open Web Browser!\n" + page);
    login.DestroyWindow();
    win::testing::SetUrlOpener(nullptr);
}

TEST_F(PhoneTest, StartsRegistersLogsInAndShowsBalanceAndLanguage)
{
    Service service;
    Phone phone("8001", &service);
    CSoftPhoneDlg &dlg = *phone.dlg;
    EXPECT_EQ(dlg.m_strStatus, Text(127)) << "Please register, until the registration starts";
    ASSERT_TRUE(phone.WaitStatus(123)) << "registered: Please input phone number.";
    EXPECT_TRUE(service.gatekeeper->IsRegistered("8001"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return dlg.m_nLoginState == 1; }, 10000))
        << "Helo, Auth with the login digest";
    EXPECT_TRUE(service.server->IsLoggedIn("8001"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !dlg.m_strBalance.IsEmpty(); }, 5000));
    EXPECT_EQ(dlg.m_strBalance, Text(223) + "12.50");
    EXPECT_EQ(win::testing::TimerPeriod(dlg.GetSafeHwnd(), 7), 60000u) << "keep-alive";
    EXPECT_EQ(win::testing::TimerPeriod(dlg.GetSafeHwnd(), 21), 0u) << "registering blink";
    EXPECT_EQ(win::testing::TimerPeriod(dlg.GetSafeHwnd(), 1), 1000u) << "clock";
    EXPECT_EQ(dir.Read("netphone.ini"), "0");
    EXPECT_EQ(dlg.m_strCallTime, "00:00:00");
    phone.Screenshot("phone-registered");
}

TEST_F(PhoneTest, ALostGatekeeperShowsThePhoneUnregisteredUntilItRegistersAgainByItself)
{
    Service service(2); // a keep-alive every second
    Phone phone("8001", &service);
    ASSERT_TRUE(phone.WaitStatus(123));
    service.gatekeeper.reset();
    // The keep-alive goes unanswered: as before any registration.
    ASSERT_TRUE(phone.WaitStatus(127)) << "Please register";
    EXPECT_EQ(win::testing::TimerPeriod(phone.dlg->GetSafeHwnd(), 21), 0u);
    EXPECT_FALSE(phone.dlg->m_endpoint.IsGatekeeperRegistered());
    service.StartGatekeeper();
    ASSERT_TRUE(phone.WaitStatus(123)) << "registered again, no new start of the registration";
    EXPECT_TRUE(service.gatekeeper->IsRegistered("8001"));
}

TEST_F(PhoneTest, AWrongPasswordShowsInvalidAccountAndCallsAreRefused)
{
    Service service;
    Phone phone("8001", &service, "wrong");
    ASSERT_TRUE(phone.WaitStatus(103)) << "Invalid accounts or password";
    EXPECT_EQ(win::testing::TimerPeriod(phone.dlg->GetSafeHwnd(), 21), 0u);
    size_t boxes = Boxes().size();
    phone.Dial("8002");
    ASSERT_EQ(Boxes().size(), boxes + 1);
    EXPECT_EQ(Boxes().back(), Text(134).StdString()) << "Please Register Again!";
    EXPECT_TRUE(phone.dlg->m_endpoint.IsIdle());
    EXPECT_EQ(phone.dlg->m_nCallState, 0);
}

TEST_F(PhoneTest, TheGatekeeperIsTriedAtThePrimaryHostsPortWhateverTheServerChoice)
{
    Service service;
    Phone phone("8001", &service);
    phone.dlg->m_settings.m_nServerIndex = 1;
    phone.dlg->m_settings.m_nServerPort = 4000;
    phone.dlg->SendMessage(WM_START_REGISTRATION);
    RegistrationRequest &r = *phone.dlg->m_pRegistration;
    EXPECT_EQ(r.nAddressCount, 1);
    CString expected;
    expected.Format("127.0.0.1:%d", service.gatekeeper->Port());
    EXPECT_EQ(r.strAddress[0], expected);
    EXPECT_EQ(r.strUserName, "8001");
    ASSERT_TRUE(phone.WaitStatus(123));
}

// ---- calls between two phones ----

TEST_F(PhoneTest, ACallIsOfferedAnsweredTimedAndHungUpWithBothCallLogs)
{
    Service service;
    Phone a("8001", &service), b("8002", &service);
    ASSERT_TRUE(a.WaitStatus(123));
    ASSERT_TRUE(b.WaitStatus(123));

    a.Dial("8002");
    EXPECT_EQ(a.dlg->m_strStatus, Text(148) + "8002") << "Call:";
    EXPECT_EQ(a.dlg->m_nCallState, 3);
    ASSERT_TRUE(QTest::qWaitFor([&] { return b.dlg->m_bRinging == 1; }, 15000)) << "offered";
    EXPECT_EQ(b.dlg->m_strStatus2, Text(129) + "  :8001");
    EXPECT_EQ(win::testing::TimerPeriod(b.dlg->GetSafeHwnd(), 22), 300u) << "ringing blink";
    EXPECT_EQ(win::testing::TimerPeriod(b.dlg->GetSafeHwnd(), 11), 60000u) << "no answer";
    ASSERT_TRUE(a.WaitStatus2(Text(129))) << "the far end rings";
    b.Screenshot("phone-ringing");

    // Enter answers: the offered call keeps the endpoint idle.
    MSG enter{};
    enter.hwnd = b.dlg->GetSafeHwnd();
    enter.message = WM_KEYDOWN;
    enter.wParam = VK_RETURN;
    EXPECT_TRUE(b.dlg->PreTranslateMessage(&enter));
    EXPECT_EQ(b.dlg->m_nCallState, 2);
    ASSERT_TRUE(a.WaitStatus2(Text(121))) << "Connected";
    ASSERT_TRUE(b.WaitStatus2(Text(121)));
    EXPECT_TRUE(a.dlg->m_btnSendMessage.IsWindowEnabled());
    EXPECT_EQ(win::testing::TimerPeriod(a.dlg->GetSafeHwnd(), 2), 500u) << "call time";
    EXPECT_TRUE(QTest::qWaitFor([&] { return a.dlg->m_strTime == Text(224) + "01:02:05"; },
                                5000))
        << "the remaining time of the admission";
    a.Screenshot("phone-connected");

    // A keypad key during the call: its tone, the field, one DTMF tone; '.' does nothing.
    a.dlg->m_number.SetWindowText("");
    a.dlg->OnKeypadDigit('5');
    a.dlg->OnKeypadDigit('.');
    CString field;
    a.dlg->m_number.GetWindowText(field);
    EXPECT_EQ(field, "5");

    // Chat text both ways: the Send Message button opens the window, its text goes as user
    // input and arrives in the peer's window under the sender's name.
    a.dlg->SendMessage(WM_COMMAND, 1087, 0);
    ASSERT_NE(a.dlg->m_pChatDlg, nullptr);
    EXPECT_TRUE(a.dlg->m_pChatDlg->IsWindowVisible());
    a.dlg->m_pChatDlg->m_input.SetWindowText("hello B");
    a.dlg->m_pChatDlg->SendChatMessage();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return b.dlg->m_pChatDlg->m_strHistory.Find("hello B") >= 0; }, 5000));
    EXPECT_GE(b.dlg->m_pChatDlg->m_strHistory.Find("8001" + Text(212) + "hello B"), 0)
        << b.dlg->m_pChatDlg->m_strHistory.GetString();
    EXPECT_TRUE(b.dlg->m_pChatDlg->IsWindowVisible());
    b.dlg->m_pChatDlg->m_input.SetWindowText("hi A");
    b.dlg->m_pChatDlg->SendChatMessage();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return a.dlg->m_pChatDlg->m_strHistory.Find("8002" + Text(212) + "hi A") >= 0; },
        5000));

    b.dlg->HangUp();
    ASSERT_TRUE(a.WaitStatus2(Text(131))) << "Remote Party Hung Up";
    ASSERT_TRUE(QTest::qWaitFor([&] { return a.dlg->m_endpoint.IsIdle() &&
                                             b.dlg->m_endpoint.IsIdle(); }, 10000));
    EXPECT_EQ(a.dlg->m_nCallState, 0);
    EXPECT_FALSE(a.dlg->m_btnSendMessage.IsWindowEnabled());
    EXPECT_EQ(win::testing::TimerPeriod(a.dlg->GetSafeHwnd(), 42), 3000u) << "status reset";
    ASSERT_EQ(a.dlg->m_settings.m_DialedCalls.m_nCount, 1);
    EXPECT_EQ(a.dlg->m_settings.m_DialedCalls.m_strNumber[0], "8002");
    ASSERT_TRUE(QTest::qWaitFor([&] { return b.dlg->m_settings.m_ReceivedCalls.m_nCount == 1; },
                                5000));
    EXPECT_EQ(b.dlg->m_settings.m_ReceivedCalls.m_strNumber[0], "8001");
    EXPECT_EQ(b.dlg->m_settings.m_MissedCalls.m_nCount, 0);
}

TEST_F(PhoneTest, ARefusedCallIsMissedForTheCalleeAndRefusedForTheCaller)
{
    Service service;
    Phone a("8001", &service), b("8002", &service);
    ASSERT_TRUE(a.WaitStatus(123));
    ASSERT_TRUE(b.WaitStatus(123));
    a.Dial("8002");
    ASSERT_TRUE(QTest::qWaitFor([&] { return b.dlg->m_bRinging == 1; }, 15000));
    // On-hook of the handset while offered refuses the call.
    b.dlg->OnUsbPhoneKey(70);
    EXPECT_EQ(b.dlg->m_bRinging, 0);
    EXPECT_EQ(b.dlg->m_strStatus2, Text(131));
    ASSERT_TRUE(a.WaitStatus2(Text(138))) << "The user refused your call";
    ASSERT_TRUE(QTest::qWaitFor([&] { return b.dlg->m_settings.m_MissedCalls.m_nCount == 1; },
                                5000));
    EXPECT_EQ(b.dlg->m_settings.m_MissedCalls.m_strNumber[0], "8001");
}

// Answer, refuse and hang-up while a ring or ring-back plays: the click is handled at once,
// not after the tone, and the tone it stops ends at once. The tones last far longer than any
// wait here, so a control that waited for one would be seen to.
TEST_F(PhoneTest, AnswerRefuseAndHangUpDoNotWaitForAPlayingTone)
{
    constexpr int kToneSeconds = 30;
    WriteSilence(dir.Path("RingOut.wav"), kToneSeconds);
    WriteSilence(dir.Path("long-ring.wav"), kToneSeconds);
    auto longRing = [](CSettings &s) { s.m_strRingInWav = s.m_strInstallDir + "long-ring.wav"; };
    Service service;
    Phone a("8001", &service, "demo", longRing), b("8002", &service, "demo", longRing);
    ASSERT_TRUE(a.WaitStatus(123));
    ASSERT_TRUE(b.WaitStatus(123));
    auto playing = [](Phone &p) {
        return p.dlg->m_soundThreads.AnyRunning() && !p.dlg->m_toneChannel.HasPlayCompleted();
    };
    const struct {
        const char *what;
        bool callee; // who clicks: the ringing callee, or the caller hearing the ring-back
        UINT button;
        UINT callerSees; // status line 2 of the caller afterwards
    } cases[] = {
        {"answer", true, 1015, 121},
        {"refuse", true, 1017, 138},
        {"hang up", false, 1017, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        a.Dial("8002");
        ASSERT_TRUE(QTest::qWaitFor([&] { return b.dlg->m_bRinging == 1 && playing(b); },
                                    15000))
            << "the callee rings";
        ASSERT_TRUE(QTest::qWaitFor([&] { return playing(a); }, 15000)) << "the ring-back";
        // A ring tick while the ring plays, then the click: neither waits for the tone.
        Phone &clicker = c.callee ? b : a;
        auto start = std::chrono::steady_clock::now();
        b.dlg->SendMessage(WM_TIMER, 10, 0);
        clicker.dlg->SendMessage(WM_COMMAND, c.button, 0);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(kToneSeconds / 2))
            << "the interface waited for the tone";
        EXPECT_TRUE(QTest::qWaitFor([&] { return b.dlg->m_bRinging == 0; }, 10000));
        if (c.callerSees != 0) {
            EXPECT_TRUE(a.WaitStatus2(Text(c.callerSees)));
        }
        if (c.button == 1015) {
            EXPECT_TRUE(b.WaitStatus2(Text(121)));
            b.dlg->HangUp();
        }
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return a.dlg->m_endpoint.IsIdle() && b.dlg->m_endpoint.IsIdle(); }, 10000));
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return !a.dlg->m_soundThreads.AnyRunning() && !b.dlg->m_soundThreads.AnyRunning(); },
            kToneSeconds * 1000 / 3))
            << "the stopped tones end at once";
    }
}

// Answer, refuse and hang-up right after a keypad key: the key returns while its tone plays,
// the click is handled at once, not after the tone, and the tone stops with it. The key's
// tone lasts far longer than any wait here, so a key or a control that waited for it would
// be seen to.
TEST_F(PhoneTest, AnswerRefuseAndHangUpRightAfterAKeypadKeyDoNotWaitForItsTone)
{
    constexpr int kToneSeconds = 30;
    constexpr UINT kKeyFive = 1004;
    WriteSilence(dir.Path("dtmf/d5.wav"), kToneSeconds);
    Service service;
    Phone a("8001", &service), b("8002", &service);
    ASSERT_TRUE(a.WaitStatus(123));
    ASSERT_TRUE(b.WaitStatus(123));
    const struct {
        const char *what;
        bool connected; // the callee presses the key during the call, else while it rings
        UINT button;
        UINT callerSees; // status line 2 of the caller afterwards
    } cases[] = {
        {"answer while ringing", false, 1015, 121},
        {"refuse while ringing", false, 1017, 138},
        {"hang up during the call", true, 1017, 131},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        a.Dial("8002");
        ASSERT_TRUE(QTest::qWaitFor([&] { return b.dlg->m_bRinging == 1; }, 15000));
        if (c.connected) {
            b.dlg->SendMessage(WM_COMMAND, 1015, 0);
            ASSERT_TRUE(a.WaitStatus2(Text(121)));
            ASSERT_TRUE(b.WaitStatus2(Text(121)));
        }
        auto start = std::chrono::steady_clock::now();
        b.dlg->SendMessage(WM_COMMAND, kKeyFive, 0);
        EXPECT_FALSE(b.dlg->m_toneChannel.HasPlayCompleted())
            << "the key returned before its tone ended";
        b.dlg->SendMessage(WM_COMMAND, c.button, 0);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(kToneSeconds / 2))
            << "the interface waited for the key's tone";
        EXPECT_FALSE(b.dlg->m_toneChannel.IsOpen()) << "the key's tone stops with the click";
        EXPECT_TRUE(a.WaitStatus2(Text(c.callerSees)));
        if (c.button == 1015) {
            EXPECT_TRUE(b.WaitStatus2(Text(121)));
            b.dlg->HangUp();
        }
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return a.dlg->m_endpoint.IsIdle() && b.dlg->m_endpoint.IsIdle(); }, 10000));
        EXPECT_TRUE(QTest::qWaitFor([&] { return !b.dlg->m_soundThreads.AnyRunning(); },
                                    kToneSeconds * 1000 / 3))
            << "the stopped tone ends at once";
    }
}

// Exit while the callee's ring or the caller's ring-back plays: the tone stops and Exit ends
// without waiting for it. The tones last far longer than the bound, so an Exit that waited
// for one, or a tone that went on playing, would be seen to.
TEST_F(PhoneTest, ExitStopsAPlayingToneAndDoesNotWaitForIt)
{
    constexpr int kToneSeconds = 60;
    WriteSilence(dir.Path("RingOut.wav"), kToneSeconds);
    WriteSilence(dir.Path("long-ring.wav"), kToneSeconds);
    auto longRing = [](CSettings &s) { s.m_strRingInWav = s.m_strInstallDir + "long-ring.wav"; };
    auto playing = [](Phone &p) {
        return p.dlg->m_soundThreads.AnyRunning() && !p.dlg->m_toneChannel.HasPlayCompleted();
    };
    for (bool callee : {true, false}) {
        SCOPED_TRACE(callee ? "the callee, ringing" : "the caller, hearing the ring-back");
        Service service;
        Phone a("8001", &service, "demo", longRing), b("8002", &service, "demo", longRing);
        ASSERT_TRUE(a.WaitStatus(123));
        ASSERT_TRUE(b.WaitStatus(123));
        a.Dial("8002");
        ASSERT_TRUE(QTest::qWaitFor([&] { return b.dlg->m_bRinging == 1 && playing(b); },
                                    15000));
        ASSERT_TRUE(QTest::qWaitFor([&] { return playing(a); }, 15000));
        Phone &exiting = callee ? b : a;
        auto start = std::chrono::steady_clock::now();
        exiting.dlg->SendMessage(WM_COMMAND, IDOK, 0);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(kToneSeconds / 6))
            << "Exit waited for the tone";
        EXPECT_FALSE(exiting.dlg->m_toneChannel.IsOpen());
        EXPECT_TRUE(QTest::qWaitFor([&] { return !exiting.dlg->m_soundThreads.AnyRunning(); },
                                    kToneSeconds * 1000 / 6))
            << "the tone went on playing";
    }
}

// A sound device that cannot be opened for the call: the phone it belongs to says which at
// once and the call ends on both sides. With fast start the sound opens before the answer and
// nobody is shown Connected; without, the callee has answered first and the peer may have
// heard it for a moment. The stack's wait for media is made far longer than the waits here,
// so an end that waited for it would be seen to.
TEST_F(PhoneTest, ASoundDeviceThatCannotOpenEndsTheCallAtOnceWithItsError)
{
    const std::string missing = "file:" + dir.Path("no-such-dir/sound.wav").string();
    const std::vector<UINT> hungUp{131, 122}; // as far as the peer's media had started, or not
    const struct {
        const char *what;
        bool callee; // whose device fails
        bool recorder;
        bool fastStart;
        const char *error;
        std::vector<UINT> peerSees; // the other phone's status line 2 at the end, one of
    } cases[] = {
        {"the callee's player", true, false, true, "Cannot Open Sound Output Device!", {122}},
        {"the callee's recorder", true, true, true, "Cannot Open Sound Input Device!", {122}},
        {"the caller's player", false, false, true, "Cannot Open Sound Output Device!", {137}},
        {"the callee's player, no fast start", true, false, false,
         "Cannot Open Sound Output Device!", hungUp},
        {"the caller's recorder, no fast start", false, true, false,
         "Cannot Open Sound Input Device!", hungUp},
    };
    Service service;
    Phone a("8001", &service), b("8002", &service);
    ASSERT_TRUE(a.WaitStatus(123));
    ASSERT_TRUE(b.WaitStatus(123));
    auto statuses = [&] {
        return "8001: " + a.dlg->m_strStatus.StdString() + " / " + a.dlg->m_strStatus2.StdString() +
               "; 8002: " + b.dlg->m_strStatus.StdString() + " / " +
               b.dlg->m_strStatus2.StdString();
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        for (Phone *p : {&a, &b}) {
            CEndPoint &endpoint = p->dlg->m_endpoint;
            endpoint.SetNoMediaTimeout(PTimeInterval(0, 600));
            endpoint.DisableFastStart(!c.fastStart);
            endpoint.SetSoundChannelPlayDevice("Default");
            endpoint.SetSoundChannelRecordDevice("Default");
        }
        CEndPoint &broken = (c.callee ? b : a).dlg->m_endpoint;
        if (c.recorder)
            broken.SetSoundChannelRecordDevice(missing.c_str());
        else
            broken.SetSoundChannelPlayDevice(missing.c_str());

        Phone &failing = c.callee ? b : a, &peer = c.callee ? a : b;
        bool connectedShown = false;
        auto ended = [&] {
            for (Phone *p : {&a, &b})
                connectedShown = connectedShown || p->dlg->m_strStatus2 == Text(121);
            return a.dlg->m_endpoint.IsIdle() && b.dlg->m_endpoint.IsIdle() &&
                   b.dlg->m_bRinging == 0 && a.dlg->m_nCallState == 0 &&
                   failing.dlg->m_strStatus2 == c.error &&
                   std::any_of(c.peerSees.begin(), c.peerSees.end(), [&](UINT id) {
                       return peer.dlg->m_strStatus2 == Text(id);
                   });
        };
        a.Dial("8002");
        if (!c.fastStart) {
            ASSERT_TRUE(QTest::qWaitFor([&] { return b.dlg->m_bRinging == 1; }, 15000))
                << statuses();
            b.dlg->PlaceCall();
        }
        ASSERT_TRUE(QTest::qWaitFor(ended, 60000))
            << "the call did not end with the error shown: " << statuses();
        if (c.fastStart) {
            EXPECT_FALSE(connectedShown) << "Connected was shown";
        }
    }
}

TEST_F(PhoneTest, AnUnansweredCallIsForwardedAfterTheNoAnswerTime)
{
    Service service;
    Phone a("8001", &service), b("8002", &service);
    b.dlg->m_settings.m_strForwardNoAnswer = "8003";
    b.dlg->m_settings.m_nNoAnswerTime = 1;
    ASSERT_TRUE(a.WaitStatus(123));
    ASSERT_TRUE(b.WaitStatus(123));
    a.Dial("8002");
    ASSERT_TRUE(QTest::qWaitFor([&] { return b.dlg->m_bRinging == 1; }, 15000));
    EXPECT_EQ(win::testing::TimerPeriod(b.dlg->GetSafeHwnd(), 11), 1000u);
    ASSERT_TRUE(QTest::qWaitFor([&] { return b.dlg->m_bRinging == 0; }, 5000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return a.dlg->m_strStatus == Text(149) + "8003"; }, 10000))
        << "the caller is told to call the forward party";
}

// ---- the dialog's handlers on their own ----

class DialogTest : public PhoneTest
{
  protected:
    DialogTest() : phone("8001", nullptr) {}
    CSoftPhoneDlg &dlg() { return *phone.dlg; }
    Phone phone;
};

time_t g_now = 0;
time_t FixedClock() { return g_now; }

TEST_F(DialogTest, TheCallTimeCountsHoursModuloADay)
{
    win::testing::SetClock(&FixedClock);
    g_now = CTime(2026, 12, 3, 9, 5, 7).GetTime();
    const struct {
        long long seconds;
        const char *text;
    } cases[] = {{25 * 3600, "01:00:00"}, {9 * 60 + 5, "00:09:05"}, {0, "00:00:00"}};
    for (const auto &c : cases) {
        dlg().m_timeCallStart = CTime(g_now - c.seconds);
        dlg().SendMessage(WM_TIMER, 2, 0);
        EXPECT_EQ(dlg().m_strCallTime, c.text);
    }
    win::testing::SetClock(nullptr);
}

TEST_F(DialogTest, TheCallLogKeepsOneEntryANumberNewestFirstAndAtMostTen)
{
    win::testing::SetClock(&FixedClock);
    g_now = CTime(2026, 12, 3, 9, 5, 7).GetTime();
    auto placed = [&](const char *number) {
        dlg().m_nCallState = 3;
        dlg().m_strDialedNumber = number;
        dlg().SendMessage(WM_CALL_CLEARED, 3, 1);
    };
    placed("5550001");
    EXPECT_EQ(dlg().m_settings.m_DialedCalls.m_strText[0], "09:05:07  03/12");
    EXPECT_EQ(dlg().m_strStatus2, Text(131)) << "Remote Party Hung Up";
    g_now = CTime(2026, 12, 31, 23, 59, 59).GetTime();
    placed("5550002");
    placed("5550001");
    auto &list = dlg().m_settings.m_DialedCalls;
    ASSERT_EQ(list.m_nCount, 2) << "the same number moves to the front";
    EXPECT_EQ(list.m_strNumber[0], "5550001");
    EXPECT_EQ(list.m_strText[0], "23:59:59  31/12");
    EXPECT_EQ(list.m_strNumber[1], "5550002");
    for (int i = 3; i <= 11; ++i)
        placed(("55500" + std::to_string(10 + i)).c_str());
    ASSERT_EQ(list.m_nCount, 10) << "the eleventh number drops the oldest";
    EXPECT_EQ(list.m_strNumber[0], "5550021");
    EXPECT_EQ(list.m_strNumber[9], "5550001");
    win::testing::SetClock(nullptr);
}

TEST_F(DialogTest, EndReasonsGiveTheirStatusTexts)
{
    const struct {
        WPARAM reason;
        LPARAM given;
        const char *dialled;
        UINT text;
    } cases[] = {{4, 1, "8002", 138},  {10, 1, "0123", 133}, {10, 1, "8002", 136},
                 {17, 1, "8002", 130}, {21, 1, "8002", 136}, {0, 0, "8002", 122},
                 {30, 1, "8002", 131}, {12, 1, "8002", 143}};
    for (const auto &c : cases) {
        dlg().m_strDialedNumber = c.dialled;
        dlg().SendMessage(WM_CALL_CLEARED, c.reason, c.given);
        EXPECT_EQ(dlg().m_strStatus2, Text(c.text)) << "reason " << c.reason;
    }
}

TEST_F(DialogTest, TheRemainingTimeAndTheBalanceFollowTheGatekeeper)
{
    const struct {
        const char *seconds;
        const char *shown;
    } cases[] = {{"86400", nullptr}, {"3725", "01:02:05"}, {"0", ""}, {"59", "00:00:59"}};
    for (const auto &c : cases) {
        dlg().SendMessage(WM_SHOW_TIME, reinterpret_cast<WPARAM>(c.seconds), 0);
        CString expected = Text(224) + (c.shown ? CString(c.shown) : Text(226));
        EXPECT_EQ(dlg().m_strTime, expected) << c.seconds;
    }
    dlg().SendMessage(WM_SHOW_TIME, reinterpret_cast<WPARAM>(""), 0);
    EXPECT_EQ(dlg().m_strTime, Text(224) + "00:00:59") << "an empty text changes nothing";
    dlg().SendMessage(WM_SHOW_BALANCE, reinterpret_cast<WPARAM>("3.20"), 0);
    EXPECT_EQ(dlg().m_strBalance, Text(223) + "3.20");
    dlg().SendMessage(WM_SHOW_BALANCE, 0, 0);
    EXPECT_EQ(dlg().m_strBalance, Text(223) + "3.20");
}

// What the window shows of the status area equals a fresh paint of it; a repaint that left a
// piece of an old text behind never becomes equal.
bool StatusAreaShowsAFreshPaint(CSoftPhoneDlg &dlg)
{
    QWidget *w = dlg.GetWidget();
    CRect r = dlg.StatusTextBounds();
    r.UnionRect(&r, &dlg.m_rcTextsPainted);
    QRect area(r.left, r.top, r.Width(), r.Height());
    return QTest::qWaitFor(
        [&] {
            QImage shown = w->screen()->grabWindow(w->winId()).toImage().copy(area);
            QImage fresh = w->grab().toImage().copy(area);
            return shown.convertToFormat(QImage::Format_RGB32) ==
                   fresh.convertToFormat(QImage::Format_RGB32);
        },
        5000);
}

TEST_F(DialogTest, TheStatusResetClearsTheCallTimeAndEveryTextIsRepaintedWhole)
{
    dlg().ShowWindow(SW_SHOW);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dlg().GetWidget()));
    // A call's time and a status line longer than the status area, on screen.
    dlg().m_strStatus = "System busy now,Please redial later, or much later";
    dlg().m_strStatus2.LoadString(121);
    dlg().m_strCallTime = "00:01:22";
    dlg().InvalidateStatusArea();
    ASSERT_TRUE(StatusAreaShowsAFreshPaint(dlg()));
    CRect longLine = dlg().m_rcTextsPainted;
    EXPECT_GT(longLine.right, dlg().m_face[25].a + 180) << "the line reaches past the area";

    dlg().m_strCallTime = "00:00:00"; // a new call starts
    dlg().InvalidateStatusArea();
    EXPECT_TRUE(StatusAreaShowsAFreshPaint(dlg())) << "the call time is repainted whole";

    dlg().m_strCallTime = "00:01:22";
    dlg().SendMessage(WM_TIMER, 42, 0); // three seconds after the call
    EXPECT_EQ(dlg().m_strStatus, Text(123));
    EXPECT_TRUE(dlg().m_strStatus2.IsEmpty());
    EXPECT_EQ(dlg().m_strCallTime, "00:00:00") << "the last call's time goes with its status";
    EXPECT_TRUE(StatusAreaShowsAFreshPaint(dlg())) << "no tail of the long line stays";

    dlg().m_timeCallStart = CTime(CTime::GetCurrentTime().GetTime() - 3600 - 82);
    dlg().SendMessage(WM_TIMER, 2, 0);
    EXPECT_EQ(dlg().m_strCallTime, "01:01:22");
    EXPECT_TRUE(StatusAreaShowsAFreshPaint(dlg())) << "each tick repaints the whole time";
}

TEST_F(DialogTest, NoControlOfTheSkinCoversAnother)
{
    dlg().ShowWindow(SW_SHOW);
    EXPECT_EQ(Lines(LayoutFaults(dlg())), "");
    CRect number;
    dlg().m_number.GetWindowRect(&number);
    EXPECT_LE(number.Height(), 30) << "the number box is one line high";
}

// The keypad edits the number while idle, and each key with a tone plays its file of the
// install directory's dtmf folder, whole, on the play device, which closes once the tone has
// been played.
TEST_F(DialogTest, TheKeypadEditsTheNumberWhileIdleAndPlaysTheKeysTones)
{
    std::filesystem::path played = dir.Path("played");
    std::filesystem::create_directories(played);
    dlg().m_settings.m_strPlayDevice = ("file:" + played.string() + "/").c_str();
    auto toneEnded = [&] {
        return QTest::qWaitFor([&] { return !dlg().m_toneChannel.IsOpen(); }, 5000);
    };
    dlg().m_number.SetWindowText("");
    dlg().OnKeypadDigit(8);
    CString text;
    dlg().m_number.GetWindowText(text);
    EXPECT_EQ(text, "") << "backspace on an empty field";
    for (char c : {'1', '2', '*', '#', '.'}) {
        dlg().OnKeypadDigit(c);
        EXPECT_TRUE(toneEnded()) << c;
    }
    dlg().OnKeypadDigit(8);
    dlg().m_number.GetWindowText(text);
    EXPECT_EQ(text, "12*#");
    dlg().SendMessage(WM_COMMAND, 1009, 0); // the 0 key
    dlg().m_number.GetWindowText(text);
    EXPECT_EQ(text, "12*#0");
    EXPECT_TRUE(toneEnded());

    // One player opened for each key with a tone, in the order pressed.
    std::map<int, std::filesystem::path> players;
    for (const auto &entry : std::filesystem::directory_iterator(played)) {
        std::string name = entry.path().stem().string(); // player-<process>-<n>
        players[std::stoi(name.substr(name.rfind('-') + 1))] = entry.path();
    }
    const std::vector<std::string> tones{"d1.wav", "d2.wav", "star.wav", "hash.wav", "d0.wav"};
    ASSERT_EQ(players.size(), tones.size());
    auto player = players.begin();
    for (const std::string &tone : tones) {
        kestrelin::testing::Wave heard, file;
        ASSERT_TRUE(kestrelin::testing::ReadWave(player++->second.string(), heard)) << tone;
        ASSERT_TRUE(kestrelin::testing::ReadWave(dir.Path("dtmf/" + tone).string(), file)) << tone;
        EXPECT_FALSE(file.samples.empty()) << tone;
        EXPECT_EQ(heard.samples, file.samples) << tone;
    }
}

// A keypad key returns while its tone plays on, and a key pressed meanwhile stops that tone
// and starts its own at once; Exit stops the last one. The tones last far longer than any
// wait here, so a key or an Exit that waited for a tone, or a tone heard out, would be seen.
TEST_F(DialogTest, AKeypadKeyReturnsWhileItsTonePlaysAndTheNextKeyReplacesIt)
{
    constexpr int kToneSeconds = 30;
    for (const char *tone : {"d1.wav", "d2.wav"})
        WriteSilence(dir.Path(std::string("dtmf/") + tone), kToneSeconds);
    std::filesystem::path played = dir.Path("played");
    std::filesystem::create_directories(played);
    dlg().m_settings.m_strPlayDevice = ("file:" + played.string() + "/").c_str();
    dlg().m_number.SetWindowText("");
    auto start = std::chrono::steady_clock::now();
    for (UINT key : {1000, 1001}) { // 1, 2
        dlg().SendMessage(WM_COMMAND, key, 0);
        EXPECT_FALSE(dlg().m_toneChannel.HasPlayCompleted())
            << key << ": the key returned before its tone ended";
    }
    CString text;
    dlg().m_number.GetWindowText(text);
    EXPECT_EQ(text, "12");
    dlg().SendMessage(WM_COMMAND, IDOK, 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(kToneSeconds / 2))
        << "a key or Exit waited for a tone";
    EXPECT_FALSE(dlg().m_toneChannel.IsOpen());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !dlg().m_soundThreads.AnyRunning(); },
                                kToneSeconds * 1000 / 3))
        << "a tone went on playing";

    // Each key had a player of its own, and each tone stopped after a fraction of it.
    std::vector<std::filesystem::path> players;
    for (const auto &entry : std::filesystem::directory_iterator(played))
        players.push_back(entry.path());
    ASSERT_EQ(players.size(), 2u) << "the second tone was queued behind the first";
    for (const auto &player : players) {
        kestrelin::testing::Wave heard;
        ASSERT_TRUE(kestrelin::testing::ReadWave(player.string(), heard)) << player;
        EXPECT_LT(heard.samples.size(), size_t(kToneSeconds) * 8000 / 10) << player;
    }
}

// A call offered while a keypad tone plays takes the tone channel for its ring: the end of
// the stopped keypad tone leaves the channel to the ring, and the ring is heard.
TEST_F(DialogTest, ACallOfferedWhileAKeypadTonePlaysRings)
{
    dlg().SendMessage(WM_COMMAND, 1000, 0);
    ASSERT_FALSE(dlg().m_toneChannel.HasPlayCompleted()) << "the key's tone plays";
    dlg().SendMessage(WM_CALL_RINGING_IN, 0, 0);
    ASSERT_EQ(dlg().m_bRinging, 1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !dlg().m_toneChannel.HasPlayCompleted(); }, 5000))
        << "the ring plays";
}

TEST_F(DialogTest, TheHandsetHistoryWrapsAndTheDialKeyRedialsTheLastNumber)
{
    for (const char *n : {"5550003", "5550002", "5550001"})
        dlg().m_number.AddString(n);
    dlg().m_nHistoryIndex = 0;
    dlg().OnUsbPhoneKey(40); // up from the first: the last item
    CString text;
    dlg().m_number.GetWindowText(text);
    EXPECT_EQ(text, "5550001");
    dlg().OnUsbPhoneKey(60); // down from the last: the first
    dlg().m_number.GetWindowText(text);
    EXPECT_EQ(text, "5550003");

    // Not registered: the dial key fills the empty field with the last number and tries it.
    dlg().m_number.SetWindowText("");
    size_t boxes = Boxes().size();
    dlg().OnUsbPhoneKey(50);
    EXPECT_EQ(Boxes().size(), boxes + 1) << "Please Register Again!";
    CString first;
    dlg().m_number.GetLBText(0, first);
    EXPECT_EQ(first, "5550003") << "the last number was dialled again";
}

TEST_F(DialogTest, CallersAreNamedFromQuickCallsFirstThenThePhoneBook)
{
    {
        CFile file;
        ASSERT_TRUE(file.Open(dlg().m_settings.m_strInstallDir + "pbook.dat",
                              CFile::modeCreate | CFile::modeWrite));
        CArchive ar(&file, CArchive::store);
        ar << 8;
        for (int r = 0; r < 8; ++r) {
            CString rec[5];
            rec[0].Format("Name%d", r);
            rec[1].Format("100%d", r);
            rec[3].Format("300%d", r);
            for (CString &f : rec)
                ar << f;
        }
        ar.Close();
        file.Close();
    }
    auto &quick = dlg().m_settings.m_QuickCalls;
    quick.m_nCount = 1;
    quick.m_strNumber[0] = "1002";
    quick.m_strText[0] = "Quick";
    EXPECT_EQ(dlg().LookupPhoneBookName("1002"), "Quick");
    EXPECT_EQ(dlg().LookupPhoneBookName("3007"), "Name7") << "field 3 of record 7";
    EXPECT_EQ(dlg().LookupPhoneBookName("Name4"), "Name4");
    EXPECT_EQ(dlg().LookupPhoneBookName("999"), "999");
}

TEST_F(DialogTest, TheNoAnswerTimerFollowsTheForwardSettings)
{
    const struct {
        int seconds;
        const char *number;
        UINT period;
    } cases[] = {{0, "8003", 60000}, {61, "8003", 60000}, {15, "", 60000}, {15, "8003", 15000}};
    for (const auto &c : cases) {
        dlg().m_settings.m_nNoAnswerTime = c.seconds;
        dlg().m_settings.m_strForwardNoAnswer = c.number;
        dlg().SendMessage(WM_CALL_RINGING_IN, 0, 0);
        EXPECT_EQ(win::testing::TimerPeriod(dlg().GetSafeHwnd(), 11), c.period)
            << c.seconds << " s, \"" << c.number << '"';
        EXPECT_EQ(dlg().m_bRinging, 1);
        dlg().HangUp();
    }
}

TEST_F(DialogTest, TheLoginIsGivenUpSilentlyAfterThreeGreetings)
{
    // Nobody answers at the service's port: Helo is sent three times, 3 s apart, then given up.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return win::testing::TimerPeriod(dlg().GetSafeHwnd(), 3) == 3000u; }, 5000));
    for (int tick = 0; tick < 3; ++tick)
        dlg().SendMessage(WM_TIMER, 3, 0);
    EXPECT_EQ(win::testing::TimerPeriod(dlg().GetSafeHwnd(), 3), 0u);
    EXPECT_LT(dlg().m_nLoginState, 1);
    // An ACK that matches no pending request changes nothing.
    dlg().m_serviceSocket.m_strToken[3] = "77777";
    dlg().m_nAuthRetries = 2;
    dlg().SendMessage(WM_SVC_ACK, 0, 0);
    EXPECT_EQ(dlg().m_nAuthRetries, 2);
}

} // namespace

TEST_F(DialogTest, ALanguageChangeSwitchesTheTextsAndWritesTheDigitOnlyWhenItsPackLoaded)
{
    CSoftPhoneApp &app = App();
    const CString english = Text(123);
    app.m_nLanguage = 1;
    dlg().SendMessage(WM_LANGUAGE_CHANGED, 0, 0);
    EXPECT_EQ(dir.Read("netphone.ini"), "1");
    EXPECT_NE(Text(123), english) << "strings come from the simplified-Chinese pack";

    HINSTANCE traditional = app.m_hTraditional;
    app.m_hTraditional = nullptr; // "Traditional.dll" missing
    app.m_nLanguage = 2;
    dlg().SendMessage(WM_LANGUAGE_CHANGED, 0, 0);
    EXPECT_EQ(dir.Read("netphone.ini"), "") << "the next start is in English";
    app.m_hTraditional = traditional;

    app.m_nLanguage = 0;
    dlg().SendMessage(WM_LANGUAGE_CHANGED, 0, 0);
    EXPECT_EQ(dir.Read("netphone.ini"), "0");
    EXPECT_EQ(Text(123), english);
}

TEST_F(DialogTest, AMixerNoticeOfAnotherMixerChangesNothing)
{
    dlg().m_nPlayLevel = 7;
    dlg().m_nMicLevel = 3;
    dlg().SendMessage(MM_MIXM_CONTROL_CHANGE, 0x5151, 1);
    EXPECT_EQ(dlg().m_nPlayLevel, 7);
    EXPECT_EQ(dlg().m_nMicLevel, 3);
}

TEST_F(DialogTest, TheShortcutButtonsOpenTheMenuPanelOnTheirPagesAndCloseItAgain)
{
    auto press = [&](int id) { dlg().SendMessage(WM_COMMAND, WPARAM(id), 0); };
    auto mark = [&] { return dlg().m_pMenuPanel ? dlg().m_pMenuPanel->m_nPageMark : -1; };
    press(1013);
    ASSERT_NE(dlg().m_pMenuPanel, nullptr) << "Menu opens the panel";
    EXPECT_EQ(mark(), 1);
    CRect main, panel;
    dlg().GetWindowRect(&main);
    dlg().m_pMenuPanel->GetWindowRect(&panel);
    EXPECT_EQ(panel.left, main.left + 337) << "beside the main window";
    EXPECT_EQ(panel.top, main.top + 43);
    press(1041);
    EXPECT_EQ(mark(), 21) << "PhoneBook";
    press(1013);
    EXPECT_EQ(mark(), 1) << "Menu goes back to the top";
    press(1013);
    EXPECT_EQ(dlg().m_pMenuPanel, nullptr) << "and closes it from there";
    const struct {
        int button;
        int page;
    } pages[] = {{1014, 31}, {1037, 11}, {1041, 21}, {1042, 31}};
    for (const auto &p : pages) {
        press(p.button);
        EXPECT_EQ(mark(), p.page) << p.button;
        if (p.button != 1042) {
            press(p.button);
            EXPECT_EQ(dlg().m_pMenuPanel, nullptr) << p.button << " again closes the panel";
        }
    }
    press(1042);
    EXPECT_EQ(dlg().m_pMenuPanel, nullptr) << "Video Setting closes the panel on its page";
    press(1038);
    EXPECT_EQ(mark(), 111) << "Quick Calls";
    press(1038);
    EXPECT_EQ(dlg().m_pMenuPanel, nullptr);
}

TEST_F(PhoneTest, RegistrationTriesTheAddressesInTurnAndReportsOnlyWhenAllFail)
{
    Service service;
    Phone phone("8001", &service);
    ASSERT_TRUE(phone.WaitStatus(123));
    CSoftPhoneDlg &dlg = *phone.dlg;
    // The window hears of the RCF before the start-up registration's thread has returned; as
    // the dialog does before it refills the request, that thread is waited for, or it would go
    // on with the addresses below alongside the one started here.
    dlg.m_registrationThreads.WaitAll();
    RegistrationRequest &r = *dlg.m_pRegistration;
    CString good;
    good.Format("127.0.0.1:%d", service.gatekeeper->Port());
    r.strAddress[0] = "127.0.0.1:9";
    r.strAddress[1] = good;
    r.nAddressCount = 2;
    dlg.m_strStatus = "";
    dlg.m_registrationThreads.Start(GatekeeperRegisterThread, &r);
    ASSERT_TRUE(phone.WaitStatus(123, 90000)) << "the second address registered";
    dlg.m_registrationThreads.WaitAll();
    EXPECT_EQ(g_nRegisteredServer, 1);

    r.strAddress[1] = "127.0.0.1:9";
    dlg.m_registrationThreads.Start(GatekeeperRegisterThread, &r);
    ASSERT_TRUE(phone.WaitStatus(103, 90000)) << "Invalid accounts or password";
    EXPECT_EQ(g_nRegisteredServer, 0);
}

TEST_F(DialogTest, ClosingTheWindowShutsDownAsExitDoes)
{
    ASSERT_FALSE(win::testing::TrayIconTip(dlg().GetSafeHwnd(), 143).empty());
    EXPECT_EQ(win::testing::TrayIconTip(dlg().GetSafeHwnd(), 143), (Text(124) + ".1").StdString());
    dlg().SendMessage(WM_CLOSE, 0, 0);
    EXPECT_TRUE(dlg().m_bShutDown);
    EXPECT_TRUE(win::testing::TrayIconTip(dlg().GetSafeHwnd(), 143).empty()) << "tray icon gone";
    EXPECT_FALSE(dlg().IsWindowVisible());
}

TEST_F(DialogTest, KeysTypedOnTheWindowDialAndEscapeRefusesAnOfferedCall)
{
    dlg().m_number.SetWindowText("");
    QWidget *button = dlg().m_btnCall.GetWidget();
    button->setFocus();
    QTest::keyClick(button, Qt::Key_7);
    QTest::keyClick(button, Qt::Key_Backspace);
    QTest::keyClick(button, Qt::Key_4);
    QTest::keyClick(button, Qt::Key_2);
    CString text;
    dlg().m_number.GetWindowText(text);
    EXPECT_EQ(text, "42");

    dlg().SendMessage(WM_CALL_RINGING_IN, 0, 0);
    ASSERT_EQ(dlg().m_bRinging, 1);
    QTest::keyClick(button, Qt::Key_Escape);
    EXPECT_EQ(dlg().m_bRinging, 0) << "Escape hangs up: the offered call is refused";
    EXPECT_FALSE(dlg().m_bShutDown) << "and the phone goes on";
}

// ---- the audio set-up wizard ----

TEST_F(PhoneTest, AFirstStartWithoutAudioSettingsRunsTheWizardAndTheEndpointTakesItsChoice)
{
    int trayMenus = 0;
    win::testing::SetPopupMenuHandler([&](const std::vector<std::string> &) {
        ++trayMenus;
        return -1;
    });
    CSoftPhoneDlg *shown = nullptr;
    WizardDriver wizard({
        [&](CVoiceSheet &sheet) {
            shown = dynamic_cast<CSoftPhoneDlg *>(sheet.GetParent());
            ASSERT_NE(shown, nullptr) << "over the main dialog";
            EXPECT_TRUE(shown->IsWindowVisible()) << "the window is shown first";
            CString caption;
            sheet.GetWindowText(caption);
            EXPECT_EQ(caption, Text(117)) << "Voice Setting";
            EXPECT_EQ(sheet.m_pSettings, shown->GetSettings());
            EXPECT_EQ(sheet.m_pToneChannel, shown->GetToneChannel());
            EXPECT_EQ(sheet.GetActiveIndex(), 0);
            EXPECT_TRUE(sheet.GetButton(ID_WIZNEXT)->IsWindowVisible()) << "a wizard";
            // The tray menu's commands wait for the wizard.
            win::testing::ClickTrayIcon(shown->GetSafeHwnd(), 143, WM_RBUTTONDOWN);
        },
        [&](CVoiceSheet &sheet) {
            CComboBox &play = sheet.m_page1.m_comboPlayback;
            EXPECT_EQ(play.GetCurSel(), play.FindStringExact(-1, "Default"));
            play.SetCurSel(play.FindStringExact(-1, "Null"));
            WizardDriver::Press(sheet, ID_WIZNEXT);
        },
        [&](CVoiceSheet &sheet) { WizardDriver::Press(sheet, ID_WIZNEXT); },
        [&](CVoiceSheet &sheet) { WizardDriver::Press(sheet, ID_WIZNEXT); },
        [&](CVoiceSheet &sheet) { WizardDriver::Press(sheet, ID_WIZFINISH); },
    });
    Phone phone("8001", nullptr, "demo", [&](CSettings &s) {
        std::filesystem::remove(win::MapPath(s.m_strAudioFile.GetString()));
    });
    MainWindowScope main(phone.dlg.get());
    ASSERT_TRUE(wizard.WaitClosed(1));
    EXPECT_EQ(shown, phone.dlg.get());
    EXPECT_EQ(trayMenus, 0);
    win::testing::SetPopupMenuHandler(nullptr);
    EXPECT_EQ(phone.dlg->m_settings.m_strPlayDevice, "Null");
    EXPECT_EQ(phone.dlg->m_settings.m_strRecordDevice, "Default");
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return phone.dlg->m_endpoint.GetSoundChannelPlayDevice() == "Null"; }, 5000))
        << "the devices-changed notice reached the dialog";
}

TEST_F(DialogTest, MissingDevicesAndANewHandsetRunTheWizardOnceAndTheCallGoesOnAfterIt)
{
    int historyAtWizard = -1;
    WizardDriver wizard({
        [&](CVoiceSheet &sheet) {
            historyAtWizard = dlg().m_number.GetCount();
            // A handset report while a wizard is open opens no second one.
            dlg().SendMessage(WM_USBPHONE_DEVICE, 0, 0);
            WizardDriver::Press(sheet, IDCANCEL);
        },
    });
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return win::testing::TimerPeriod(dlg().GetSafeHwnd(), 51) == 0u; }, 5000));
    QTest::qWait(50);
    EXPECT_EQ(wizard.Runs(), 0) << "audio.dat present: no wizard at start-up";

    dlg().m_settings.m_strPlayDevice = "no such device";
    phone.Dial("8002");
    EXPECT_EQ(wizard.Runs(), 1);
    EXPECT_EQ(historyAtWizard, 0) << "the wizard comes first";
    CString dialled;
    ASSERT_EQ(dlg().m_number.GetCount(), 1) << "then the call goes on";
    dlg().m_number.GetLBText(0, dialled);
    EXPECT_EQ(dialled, "8002");
    EXPECT_EQ(dlg().m_settings.m_strPlayDevice, "no such device") << "cancelled";

    // A handset attached after start-up: the wizard once per report, none while one is open.
    dlg().SendMessage(WM_TIMER, 30, 0);
    dlg().PostMessage(WM_USBPHONE_DEVICE, 0, 0);
    ASSERT_TRUE(wizard.WaitClosed(2));
    dlg().PostMessage(WM_USBPHONE_DEVICE, 0, 0);
    ASSERT_TRUE(wizard.WaitClosed(3));
}

// A handset the detection reports at start-up rings for an offered call, with no wizard;
// before any report the computer rings.
TEST_F(DialogTest, AHandsetReportedAtStartRingsForAnOfferedCall)
{
    static std::vector<int> rings;
    rings.clear();
    auto ring = UsbPhoneApi.Ring;
    UsbPhoneApi.Ring = [](int32_t on) -> int32_t {
        rings.push_back(on);
        return 0;
    };
    WizardDriver wizard({[](CVoiceSheet &sheet) { WizardDriver::Press(sheet, IDCANCEL); }});
    // Within the start-up grace the report is the detection's own (the wizard is not for it).
    bool grace = win::testing::TimerPeriod(dlg().GetSafeHwnd(), 30) != 0;
    dlg().KillTimer(30);
    dlg().m_settings.m_strPlayDevice = "USB Audio Device";
    HWND hWnd = dlg().GetSafeHwnd();

    dlg().SendMessage(WM_CALL_RINGING_IN, 0, 0);
    EXPECT_EQ(std::count(rings.begin(), rings.end(), 1), 0);
    EXPECT_EQ(win::testing::TimerPeriod(hWnd, 10), 1000u) << "no report yet: the ring tone";
    dlg().HangUp();

    dlg().SendMessage(WM_USBPHONE_DEVICE, 0, 0);
    EXPECT_EQ(g_nHandsetIndex, 0);
    if (grace) {
        EXPECT_EQ(wizard.Runs(), 0);
    }
    rings.clear();
    dlg().SendMessage(WM_CALL_RINGING_IN, 0, 0);
    EXPECT_EQ(rings, std::vector<int>{1}) << "the handset rings";
    EXPECT_EQ(win::testing::TimerPeriod(hWnd, 10), 0u) << "instead of the ring tone";
    dlg().HangUp();
    EXPECT_EQ(rings.back(), 0) << "and stops when the call is refused";
    UsbPhoneApi.Ring = ring;
}

// ---- the chat window's video ----

TEST_F(PhoneTest, AVideoCallOpensItsChannelsIntoTheChatWindowTheDialogHandedTheEndpoint)
{
    Service service;
    auto videoOn = [](CSettings &s) {
        s.m_nVideo[0] = s.m_nVideo[1] = 1; // sent and received automatically
        s.m_nVideo[3] = 1;                 // H.263
    };
    Phone a("8001", &service, "demo", videoOn), b("8002", &service, "demo", videoOn);
    for (Phone *p : {&a, &b}) {
        ASSERT_NE(p->dlg->m_pChatDlg, nullptr) << "made at start-up";
        EXPECT_EQ(p->dlg->m_endpoint.GetChatWindow(), p->dlg->m_pChatDlg);
    }
    ASSERT_TRUE(a.WaitStatus(123));
    ASSERT_TRUE(b.WaitStatus(123));
    a.Dial("8002");
    ASSERT_TRUE(QTest::qWaitFor([&] { return b.dlg->m_bRinging == 1; }, 15000));
    b.dlg->PlaceCall();
    ASSERT_TRUE(a.WaitStatus2(Text(121)));

    // Both directions reach each chat window, and the peer's moving line is drawn.
    for (Phone *p : {&a, &b}) {
        CChatDlg &chat = *p->dlg->m_pChatDlg;
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                return chat.m_bVideoInCall == 1 && chat.GetReceiveVideoChannel() &&
                       chat.GetTransmitVideoChannel();
            },
            15000));
        auto brightRow = [&] {
            QImage img = chat.m_remoteArea.GetWidget()->grab().toImage();
            for (int y = 0; y < img.height(); ++y)
                if (img.pixelColor(img.width() / 2, y).lightness() > 200)
                    return true;
            return false;
        };
        EXPECT_TRUE(QTest::qWaitFor(brightRow, 10000)) << "the peer's picture";
    }

    b.dlg->HangUp();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return a.dlg->m_endpoint.IsIdle() && b.dlg->m_endpoint.IsIdle(); }, 10000));
    for (Phone *p : {&a, &b}) {
        CChatDlg &chat = *p->dlg->m_pChatDlg;
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return !chat.GetReceiveVideoChannel() && !chat.GetTransmitVideoChannel(); },
            5000))
            << "closed channels are forgotten";
    }

    // The window goes with the dialog; the endpoint no longer has it.
    a.dlg->OnOK();
    a.dlg->DestroyWindow();
    EXPECT_EQ(a.dlg->m_pChatDlg, nullptr);
    EXPECT_EQ(a.dlg->m_endpoint.GetChatWindow(), nullptr);
}

// ---- the tray icon ----

TEST_F(DialogTest, TheTrayMenuOpensThePanelPagesAndExitsInTheLanguageInForce)
{
    HWND hWnd = dlg().GetSafeHwnd();
    std::vector<std::vector<std::string>> menus;
    int choice = -1;
    win::testing::SetPopupMenuHandler([&](const std::vector<std::string> &items) {
        menus.push_back(items);
        return choice;
    });
    auto mark = [&] { return dlg().m_pMenuPanel ? dlg().m_pMenuPanel->m_nPageMark : -1; };
    // A right click choosing item (-1: dismissed) until the panel shows page (-1: none).
    auto choose = [&](int item, int page) {
        size_t shown = menus.size();
        choice = item;
        win::testing::ClickTrayIcon(hWnd, 143, WM_RBUTTONDOWN);
        return QTest::qWaitFor([&] { return menus.size() > shown && mark() == page; }, 5000);
    };

    EXPECT_TRUE(choose(-1, -1)) << "a right click opens the menu";
    EXPECT_EQ(menus.at(0), (std::vector<std::string>{"Phone&Book", "&System Config", "", "E&xit"}));
    EXPECT_TRUE(choose(0, 21)) << "PhoneBook";
    EXPECT_TRUE(choose(1, 31)) << "System Config";
    EXPECT_TRUE(choose(1, -1)) << "again: the panel closes";

    // The simplified-Chinese pack brings its own texts for the same commands.
    App().m_nLanguage = 1;
    dlg().SendMessage(WM_LANGUAGE_CHANGED, 0, 0);
    EXPECT_TRUE(choose(-1, -1));
    App().m_nLanguage = 0;
    dlg().SendMessage(WM_LANGUAGE_CHANGED, 0, 0);
    EXPECT_EQ(menus.back(),
              (std::vector<std::string>{"电话簿(&B)", "系统设置(&S)", "", "退出(&X)"}));

    // A double click brings the window back, without a menu; Exit shuts the phone down.
    size_t shown = menus.size();
    dlg().ShowWindow(SW_MINIMIZE);
    ASSERT_TRUE(dlg().IsIconic());
    win::testing::ClickTrayIcon(hWnd, 143, WM_LBUTTONDBLCLK);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !dlg().IsIconic(); }, 5000));
    EXPECT_EQ(menus.size(), shown);
    choice = 3;
    win::testing::ClickTrayIcon(hWnd, 143, WM_RBUTTONDOWN);
    EXPECT_TRUE(QTest::qWaitFor([&] { return dlg().m_bShutDown; }, 5000));
    win::testing::SetPopupMenuHandler(nullptr);
    EXPECT_TRUE(win::testing::TrayIconTip(hWnd, 143).empty()) << "tray icon gone";
}
