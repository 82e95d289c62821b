// The real program as a user starts it: from a fresh install directory, under an X server
// with and without a window manager, in each interface language.
#include "artefacts.h"
#include "desktop.h"
#include "installed_phone.h"
#include "loopback_service.h"
#include "phone_user.h"
#include "program_resources.h"

#include <QImage>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <thread>
#include <tuple>

namespace e2e
{
namespace
{

constexpr int kLoginDialog = 221;
constexpr int kOk = 1;
constexpr int kCancel = 2;
constexpr int kLanguageBox = 1044;
constexpr int kRegisterButton = 1066; // shown by the Chinese packs
constexpr int kExitButton = 1;    // of the main window's skin

// Whether the screen shows the login dialog's language box closed: straight below it, halfway
// down to the OK button, lies the dialog's own background (the colour of its left margin at
// that height), not the box drawn at the height of its opened list. Looked at again while the
// dialog may still be painting.
bool LanguageBoxShownClosed(Desktop &desktop, XWindow login, const ProgramResources &texts)
{
    Point box = texts.ControlPoint(kLoginDialog, kLanguageBox);
    Point ok = texts.ControlPoint(kLoginDialog, kOk);
    int below = (box.y + ok.y) / 2;
    std::string path = (ArtefactDir() / "language-box.png").string();
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    do {
        WindowGeometry g = desktop.Geometry(login);
        QImage screen;
        if (desktop.Screenshot(path) && screen.load(QString::fromStdString(path)) &&
            screen.pixel(g.x + box.x, g.y + below) == screen.pixel(g.x + 4, g.y + below))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    } while (std::chrono::steady_clock::now() < deadline);
    return false;
}

using StartParam = std::tuple<Desktop::WindowManager, int>;

class ProgramStart : public ::testing::TestWithParam<StartParam>
{
};

// No box, no crash: the first window is the login dialog, alone, in the language of
// netphone.ini (a fresh directory has none: English); cancelling it ends the program cleanly
// and changes no file (only a missing netphone.ini is made, at start-up).
TEST_P(ProgramStart, ShowsTheLoginDialogAloneAndEndsCleanlyWhenItIsCancelled)
{
    auto [manager, language] = GetParam();
    const ProgramResources &texts = ProgramResources::Of(language);
    ASSERT_TRUE(texts.Loaded());
    Desktop desktop(manager);
    ASSERT_TRUE(desktop.Ready()) << "no X server" << (manager == Desktop::WindowManager::None
                                                          ? ""
                                                          : " or window manager");
    StepShots shots(desktop);
    InstalledPhone phone(ArtefactDir() / "phone");
    if (language != 0)
        phone.SetLanguage(language);
    std::map<std::string, std::string> files = phone.DataFiles();

    auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(phone.Start(desktop));
    XWindow login = phone.WaitForWindow(desktop, texts.Caption(kLoginDialog), 30000);
    auto shown = std::chrono::steady_clock::now();
    shots.Take("login");
    ASSERT_NE(login, 0u) << "no login dialog; the program said:\n" << phone.OutputText();
    ::testing::Test::RecordProperty(
        "login_dialog_ms",
        int(std::chrono::duration_cast<std::chrono::milliseconds>(shown - started).count()));
    std::vector<XWindow> windows = desktop.Windows(phone.Pid());
    EXPECT_EQ(windows, std::vector<XWindow>{login}) << "another window beside the login dialog";
    for (XWindow w : windows)
        if (w != login)
            ADD_FAILURE() << "window \"" << desktop.Title(w) << "\"";
    EXPECT_TRUE(LanguageBoxShownClosed(desktop, login, texts))
        << "the language box covers the dialog below it";

    Point cancel = texts.ControlPoint(kLoginDialog, kCancel);
    ASSERT_TRUE(desktop.Click(login, cancel.x, cancel.y));
    EXPECT_TRUE(phone.WaitUntilGone(desktop, login));
    shots.Take("cancelled");
    EXPECT_EQ(phone.WaitForExit(30000), 0);
    files.emplace("netphone.ini", "0");
    EXPECT_EQ(phone.DataFiles(), files);

    EXPECT_EQ(phone.Alarms(), std::vector<std::string>{});
    // No handset library exists here: each one looked for is named once.
    std::vector<std::string> output = phone.Output();
    for (const char *library : {"TjIpSys.dll", "BT_EX.dll"})
        EXPECT_EQ(std::count_if(output.begin(), output.end(),
                                [&](const std::string &line) {
                                    return line.rfind(std::string("kestrelin: no handset library ") +
                                                          library,
                                                      0) == 0;
                                }),
                  1)
            << library << "\n"
            << phone.OutputText();
}

class ProgramLogin : public ::testing::TestWithParam<Desktop::WindowManager>
{
};

// On a machine where no web browser can be started, Register (in the Chinese packs' login
// dialog) says so in a box that names the sign-up page; the login dialog stays.
TEST_P(ProgramLogin, RegisterSaysWhenNoBrowserCanBeStarted)
{
    const ProgramResources &texts = ProgramResources::Of(1);
    Desktop desktop(GetParam());
    ASSERT_TRUE(desktop.Ready());
    StepShots shots(desktop);
    InstalledPhone phone(ArtefactDir() / "phone");
    phone.SetLanguage(1);
    std::filesystem::path noBrowsers = ArtefactDir() / "bin";
    std::filesystem::create_directories(noBrowsers);
    phone.SetPath(noBrowsers.string());
    ASSERT_TRUE(phone.Start(desktop));
    XWindow login = phone.WaitForWindow(desktop, texts.Caption(kLoginDialog));
    ASSERT_NE(login, 0u) << phone.OutputText();

    Point reg = texts.ControlPoint(kLoginDialog, kRegisterButton);
    ASSERT_TRUE(desktop.Click(login, reg.x, reg.y));
    XWindow box = phone.WaitForWindow(desktop, "Kestrelin");
    shots.Take("no-browser");
    ASSERT_NE(box, 0u) << "no box after Register\n" << phone.OutputText();
    ASSERT_TRUE(desktop.Click(box, 10, 10));
    desktop.Key({"Return"});
    EXPECT_TRUE(phone.WaitUntilGone(desktop, box));
    EXPECT_NE(desktop.FindWindow(phone.Pid(), texts.Caption(kLoginDialog)), 0u);

    Point cancel = texts.ControlPoint(kLoginDialog, kCancel);
    ASSERT_TRUE(desktop.Click(login, cancel.x, cancel.y));
    EXPECT_EQ(phone.WaitForExit(30000), 0) << phone.OutputText();
}

// Typed into the login dialog, the demo account registers with the gatekeeper and logs in to
// the service; on the first start the audio wizard opens over the main window; the skin's Exit
// logs out, unregisters and keeps the account in client.dat.
TEST_P(ProgramLogin, LogsInWithTheTypedAccountAndLogsOutOnExit)
{
    LoopbackService service;
    ASSERT_FALSE(service.Address().empty()) << "no loopback address for the simulator";
    Desktop desktop(GetParam());
    ASSERT_TRUE(desktop.Ready());
    StepShots shots(desktop);
    InstalledPhone phone(ArtefactDir() / "phone");
    phone.UseService(service.Address());
    phone.SetLocalPort(FreeLocalPort());
    ASSERT_TRUE(phone.Start(desktop));
    PhoneUser user(desktop, phone, 0);

    ASSERT_NE(user.LogIn("8001", "demo"), 0u) << phone.OutputText();
    EXPECT_NE(service.Log().WaitForText("registrationConfirm 8001", 20000), "");
    EXPECT_NE(service.Log().WaitForText("(8001 logged in)", 20000), "");
    shots.Take("wizard");
    ASSERT_TRUE(user.CancelWizard()) << "no audio wizard to cancel on the first start";
    shots.Take("registered");

    ASSERT_TRUE(user.ClickSkin(kExitButton));
    EXPECT_EQ(phone.WaitForExit(30000), 0) << phone.OutputText();
    EXPECT_NE(service.Log().WaitForText("unregistrationRequest", 10000), "");
    EXPECT_NE(service.Log().WaitForText("Quit 8001", 10000), "");
    EXPECT_EQ(phone.Alarms(), std::vector<std::string>{});
    // client.dat: the option, the keep-password flag (0) and the account, nothing after it.
    EXPECT_EQ(phone.DataFiles()["client.dat"], std::string("\0\0\0\0\0\0\0\0\x04" "8001", 13));
}

INSTANTIATE_TEST_SUITE_P(Desktops, ProgramLogin,
                         ::testing::Values(Desktop::WindowManager::None,
                                           Desktop::WindowManager::Openbox),
                         [](const auto &info) { return std::string(Name(info.param)); });

std::string StartName(const ::testing::TestParamInfo<StartParam> &info)
{
    static const char *languages[] = {"English", "SimplifiedChinese", "TraditionalChinese"};
    return std::string(Name(std::get<0>(info.param))) + "_" + languages[std::get<1>(info.param)];
}

INSTANTIATE_TEST_SUITE_P(Desktops, ProgramStart,
                         ::testing::Combine(::testing::Values(Desktop::WindowManager::None,
                                                              Desktop::WindowManager::Openbox),
                                            ::testing::Values(0, 1, 2)),
                         StartName);

} // namespace
} // namespace e2e
