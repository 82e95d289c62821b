// A keypad key on the main dialog: the time from the click to the click's return, with the
// phone idle and while the previous key's tone still plays, and, as the peer, the key
// handled on the interface thread after its tone has been played to the end.
#include <ui/soft_phone_app.h>
#include <ui/soft_phone_dlg.h>

#include <win/application.h>
#include <win/module_testing.h>
#include <win/msgbox.h>
#include <win/path.h>

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <thread>

using Clock = std::chrono::steady_clock;

namespace
{

// The keypad buttons of the digits 1 to 9.
constexpr UINT kFirstKey = 1000;
constexpr int kDigitKeys = 9;

/// Serves the dialog's messages and timers until done() or the time-out; false on time-out.
bool Serve(const std::function<bool()> &done, int timeoutMs = 5000)
{
    auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (Clock::now() > end)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

/// The phone's main dialog (not registered) in an install directory of its own.
class Bench
{
  public:
    Bench()
    {
        win::testing::SetMessageBoxHandler([](const win::testing::MessageBoxCall &) { return IDOK; });
        win::EnsureApplication();
        app = std::make_unique<CSoftPhoneApp>();
        dir = std::filesystem::temp_directory_path() /
              ("kestrelin-keypad-bench-" + std::to_string(::getpid()));
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
        s.SaveAudioSettings();
        dlg->Create(102);
    }
    ~Bench()
    {
        dlg->OnOK();
        dlg->DestroyWindow();
        dlg.reset();
        app->FreeLanguageLibraries();
        win::testing::OverrideExecutablePath(nullptr);
        std::filesystem::remove_all(dir);
    }

    /// The key handled as it was before the tones played in the background: the tone is
    /// played to its end on the interface thread, then the key goes into the number field.
    void SynchronousKey(char c)
    {
        CString tone;
        tone.Format("%sdtmf\\d%c.wav", dlg->m_settings.m_strInstallDir.GetString(), c);
        PString path(win::MapPath(tone).c_str());
        {
            CSingleLock lock(&SoundLock(), TRUE);
            dlg->m_toneChannel.Close();
            if (dlg->m_toneChannel.Open(PString(dlg->m_settings.m_strPlayDevice.GetString()),
                                        PSoundChannel::Player, 1, 8000, 16))
                dlg->m_toneChannel.PlayFile(path, TRUE);
            dlg->m_toneChannel.Close();
        }
        CString text;
        dlg->m_number.GetWindowText(text);
        dlg->m_number.SetWindowText(text + c);
    }

    std::unique_ptr<CSoftPhoneApp> app;
    std::filesystem::path dir;
    std::string exe;
    std::unique_ptr<CSoftPhoneDlg> dlg;
};

std::unique_ptr<Bench> g_bench; // made in main, before the window system goes

enum class Path { Background, BackgroundOverATone, Synchronous };

void KeyToReturn(benchmark::State &state, Path path)
{
    Bench &bench = *g_bench;
    static int n = 0; // a repetition is a call of its own
    for (auto _ : state) {
        const int key = n++ % kDigitKeys;
        CString expected(char('1' + key));
        bench.dlg->m_number.SetWindowText("");
        if (!Serve([&] { return !bench.dlg->m_toneChannel.IsOpen(); })) {
            state.SkipWithError("the last key's tone did not end");
            break;
        }
        if (path == Path::BackgroundOverATone) {
            const int before = (key + 1) % kDigitKeys;
            bench.dlg->SendMessage(WM_COMMAND, kFirstKey + UINT(before), 0);
            if (bench.dlg->m_toneChannel.HasPlayCompleted()) {
                state.SkipWithError("the key's tone does not play");
                break;
            }
            expected = CString(char('1' + before)) + expected;
        }
        auto click = Clock::now();
        if (path == Path::Synchronous)
            bench.SynchronousKey(char('1' + key));
        else
            bench.dlg->SendMessage(WM_COMMAND, kFirstKey + UINT(key), 0);
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - click).count());
        CString text;
        bench.dlg->m_number.GetWindowText(text);
        if (text != expected) {
            state.SkipWithError("the key did not reach the number field");
            break;
        }
    }
}

void BM_KeypadKeyWhileIdle(benchmark::State &state) { KeyToReturn(state, Path::Background); }
void BM_KeypadKeyWhileATonePlays(benchmark::State &state)
{
    KeyToReturn(state, Path::BackgroundOverATone);
}
void BM_KeypadKeyAfterItsToneSynchronous(benchmark::State &state)
{
    KeyToReturn(state, Path::Synchronous);
}

} // namespace

BENCHMARK(BM_KeypadKeyWhileIdle)
    ->Iterations(1)->Repetitions(30)->UseManualTime()->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_KeypadKeyWhileATonePlays)
    ->Iterations(1)->Repetitions(30)->UseManualTime()->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_KeypadKeyAfterItsToneSynchronous)
    ->Iterations(1)->Repetitions(30)->UseManualTime()->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    // Headless: no display, the null sound devices (played in real time).
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("KESTRELIN_SOUND", "null", 0);
    benchmark::Initialize(&argc, argv);
    g_bench = std::make_unique<Bench>();
    benchmark::RunSpecifiedBenchmarks();
    g_bench.reset();
    benchmark::Shutdown();
    return 0;
}
