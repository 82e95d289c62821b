// Answering an offered call from the main dialog: the time from the click on Call to the
// caller's connection being established, while the ring plays and, as the peer, with a ring
// file that cannot be played (nothing plays).
#include <ui/soft_phone_app.h>
#include <ui/soft_phone_dlg.h>

#include <win/application.h>
#include <win/module_testing.h>
#include <win/msgbox.h>

#include "../tests/h323/stack/stack_support.h"
#include "../tests/support/free_port.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <thread>

using Clock = std::chrono::steady_clock;

namespace
{

using kestrelin::testing::FreeTcpPort;

/// Serves the dialog's messages and timers until done() or the time-out; false on time-out.
bool Serve(const std::function<bool()> &done, int timeoutMs = 15000)
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

size_t Count(stacktest::EventLog &log, const std::string &prefix)
{
    auto lines = log.All();
    return size_t(std::count_if(lines.begin(), lines.end(),
                                [&](const std::string &l) { return l.rfind(prefix, 0) == 0; }));
}

/// A phone (the main dialog, not registered) in an install directory of its own, and a
/// stack endpoint that calls it directly.
class Bench
{
  public:
    Bench()
    {
        win::testing::SetMessageBoxHandler([](const win::testing::MessageBoxCall &) { return IDOK; });
        win::EnsureApplication();
        app = std::make_unique<CSoftPhoneApp>();
        dir = std::filesystem::temp_directory_path() /
              ("kestrelin-answer-bench-" + std::to_string(::getpid()));
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
        port = FreeTcpPort();
        s.m_nLocalPort = port;
        s.m_nServerPort = 9; // nobody answers there
        dlg->m_nGatekeeperPort = 9;
        s.SaveAudioSettings();
        dlg->Create(102);
        // The registration's start restarts the listener (then the registration fails).
        Serve([&] { return win::testing::TimerPeriod(dlg->GetSafeHwnd(), 21) != 0; });
        ring = s.m_strRingInWav;
        caller = std::make_unique<stacktest::TestEndPoint>("8001", std::vector<std::string>{"GSM"});
    }
    ~Bench()
    {
        caller.reset();
        dlg->OnOK();
        dlg->DestroyWindow();
        dlg.reset();
        app->FreeLanguageLibraries();
        win::testing::OverrideExecutablePath(nullptr);
        std::filesystem::remove_all(dir);
    }

    /// One call: offered, the click after delay into the offer (the ring playing, if any),
    /// answered; the seconds from the click to the caller's established call, or -1.
    double AnswerOnce(std::chrono::milliseconds delay)
    {
        size_t established = Count(caller->events, "established");
        size_t cleared = Count(caller->events, "cleared");
        if (caller->Call(psprintf("ip$127.0.0.1:%d", port)).IsEmpty() ||
            !Serve([&] { return dlg->m_bRinging == 1; }))
            return -1;
        // Timer 10 starts the first ring a second after the offer.
        auto offered = Clock::now();
        Serve([&] { return Clock::now() - offered > delay; }, int(delay.count()) + 1000);
        auto click = Clock::now();
        dlg->PostMessage(WM_COMMAND, 1015, 0);
        bool ok = Serve([&] { return Count(caller->events, "established") > established; });
        double seconds = std::chrono::duration<double>(Clock::now() - click).count();
        dlg->HangUp();
        ok = Serve([&] { return Count(caller->events, "cleared") > cleared && dlg->m_endpoint.IsIdle() &&
                                !dlg->m_soundThreads.AnyRunning(); },
                   60000) &&
             ok;
        return ok ? seconds : -1;
    }

    std::unique_ptr<CSoftPhoneApp> app;
    std::filesystem::path dir;
    std::string exe;
    int port = 0;
    std::unique_ptr<CSoftPhoneDlg> dlg;
    CString ring;
    std::unique_ptr<stacktest::TestEndPoint> caller;
};

std::unique_ptr<Bench> g_bench; // made in main, before the window system goes

/// Clicks spread over the ring: 1.1 s to 3.9 s into the offer, a new point each repetition.
std::chrono::milliseconds NextDelay()
{
    static int n = 0;
    return std::chrono::milliseconds(1100 + (n++ * 700) % 2800);
}

void Answer(benchmark::State &state, bool ringing)
{
    Bench &bench = *g_bench;
    bench.dlg->m_settings.m_strRingInWav = ringing ? bench.ring : CString("no-such-ring.wav");
    for (auto _ : state) {
        double seconds = bench.AnswerOnce(NextDelay());
        if (seconds < 0) {
            state.SkipWithError("the call was not answered");
            break;
        }
        state.SetIterationTime(seconds);
    }
}

void BM_ClickToAnswerWhileTheRingPlays(benchmark::State &state) { Answer(state, true); }
void BM_ClickToAnswerWithNothingPlaying(benchmark::State &state) { Answer(state, false); }

} // namespace

BENCHMARK(BM_ClickToAnswerWhileTheRingPlays)
    ->Iterations(1)->Repetitions(12)->UseManualTime()->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ClickToAnswerWithNothingPlaying)
    ->Iterations(1)->Repetitions(12)->UseManualTime()->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    // Headless: no display, the null sound devices.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("KESTRELIN_SOUND", "null", 0);
    benchmark::Initialize(&argc, argv);
    g_bench = std::make_unique<Bench>();
    benchmark::RunSpecifiedBenchmarks();
    g_bench.reset();
    benchmark::Shutdown();
    return 0;
}
