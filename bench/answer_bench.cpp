// Answering an offered call from the main dialog: the time from the click on Call to the
// caller's connection being established, while the ring plays and, as the peer, with a ring
// file that cannot be played (nothing plays).
#include "phone_dialog_bench.h"

#include <win/module_testing.h>

#include "../tests/h323/stack/stack_support.h"
#include "../tests/support/free_port.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <memory>

using Clock = std::chrono::steady_clock;

namespace
{

using kestrelin::testing::FreeTcpPort;
using phonebench::Serve;

size_t Count(stacktest::EventLog &log, const std::string &prefix)
{
    auto lines = log.All();
    return size_t(std::count_if(lines.begin(), lines.end(),
                                [&](const std::string &l) { return l.rfind(prefix, 0) == 0; }));
}

/// A phone (the main dialog, not registered) in an install directory of its own, and a
/// stack endpoint that calls it directly.
class Bench : public phonebench::PhoneDialog
{
  public:
    Bench() : Bench(FreeTcpPort()) {}
    explicit Bench(int localPort)
        : PhoneDialog("answer", [localPort](CSoftPhoneDlg &d) { d.m_settings.m_nLocalPort = localPort; }),
          port(localPort)
    {
        // The registration's start restarts the listener (then the registration fails).
        Serve([&] { return win::testing::TimerPeriod(dlg->GetSafeHwnd(), 21) != 0; });
        ring = dlg->m_settings.m_strRingInWav;
        caller = std::make_unique<stacktest::TestEndPoint>("8001", std::vector<std::string>{"GSM"});
    }
    ~Bench() { caller.reset(); }

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

    int port;
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
    return phonebench::RunHeadless(
        argc, argv, [] { g_bench = std::make_unique<Bench>(); }, [] { g_bench.reset(); });
}
