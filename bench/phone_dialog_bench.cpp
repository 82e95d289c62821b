// The phone's main dialog in an install directory of its own, for benchmarks of the window.
#include "phone_dialog_bench.h"

#include <win/application.h>
#include <win/module_testing.h>
#include <win/msgbox.h>

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace phonebench {

bool Serve(const std::function<bool()> &done, int timeoutMs)
{
    using Clock = std::chrono::steady_clock;
    auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (Clock::now() > end)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

PhoneDialog::PhoneDialog(const std::string &name,
                         const std::function<void(CSoftPhoneDlg &)> &configure)
{
    win::testing::SetMessageBoxHandler([](const win::testing::MessageBoxCall &) { return IDOK; });
    win::EnsureApplication();
    app = std::make_unique<CSoftPhoneApp>();
    dir = std::filesystem::temp_directory_path() /
          ("kestrelin-" + name + "-bench-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::copy(KESTRELIN_RUNTIME_DIR, dir, std::filesystem::copy_options::recursive);
    exe = (dir / "kestrelin").string();
    win::testing::OverrideExecutablePath(exe.c_str());
    app->ReadLanguage(CSoftPhoneApp::StartupDirectory());
    dlg = std::make_unique<CSoftPhoneDlg>();
    CSettings &s = dlg->m_settings;
    s.m_strAccount = "8002";
    s.m_strPassword = "demo";
    s.m_bAutoLogin = s.m_bKeepPassword = 1;
    s.m_nServerPort = 9; // nobody answers there
    dlg->m_nGatekeeperPort = 9;
    if (configure)
        configure(*dlg);
    s.SaveAudioSettings();
    dlg->Create(102);
}

PhoneDialog::~PhoneDialog()
{
    dlg->OnOK();
    dlg->DestroyWindow();
    dlg.reset();
    app->FreeLanguageLibraries();
    win::testing::OverrideExecutablePath(nullptr);
    std::filesystem::remove_all(dir);
}

int RunHeadless(int argc, char **argv, const std::function<void()> &setUp,
                const std::function<void()> &tearDown)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("KESTRELIN_SOUND", "null", 0);
    benchmark::Initialize(&argc, argv);
    setUp();
    benchmark::RunSpecifiedBenchmarks();
    tearDown();
    benchmark::Shutdown();
    return 0;
}

} // namespace phonebench
