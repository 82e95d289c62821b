// Call engine benchmarks on loopback: call set-up through the simulator's gatekeeper with the
// traffic masking on and off, and the CPU of a G.723.1 call against a GSM one.
#include <core/g7231_codec.h>
#include <core/traffic_masking.h>

#include <tools/service-sim/ras_gatekeeper.h>

#include "../tests/h323/stack/stack_support.h"

#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <chrono>
#include <thread>

using namespace stacktest;
using Clock = std::chrono::steady_clock;

namespace
{

double Seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

double CpuMilliseconds()
{
    rusage r{};
    getrusage(RUSAGE_SELF, &r);
    return r.ru_utime.tv_sec * 1e3 + r.ru_utime.tv_usec / 1e3 + r.ru_stime.tv_sec * 1e3 +
           r.ru_stime.tv_usec / 1e3;
}

/// The simulator's gatekeeper with two accounts, masking its datagrams when asked.
std::unique_ptr<servicesim::RasGatekeeper> StartGatekeeper(bool masking)
{
    servicesim::GatekeeperOptions o;
    o.port = 0;
    o.masking = masking;
    o.accounts = {{"8001", "secret"}, {"8002", "secret"}};
    auto gk = std::make_unique<servicesim::RasGatekeeper>(o);
    std::string error;
    if (!gk->Start(&error))
        return nullptr;
    return gk;
}

bool Register(TestEndPoint &ep, servicesim::RasGatekeeper &gk)
{
    ep.SetGatekeeperPassword("secret");
    return ep.UseGatekeeper(psprintf("127.0.0.1:%u", gk.Port()));
}

/// Waits until the event log holds n lines starting with prefix.
bool WaitCount(EventLog &log, const std::string &prefix, size_t n, int timeoutMs = 5000)
{
    auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Clock::now() < end) {
        size_t count = 0;
        for (const std::string &l : log.All())
            if (l.rfind(prefix, 0) == 0)
                count++;
        if (count >= n)
            return true;
        std::this_thread::sleep_for(std::chrono::microseconds(20));
    }
    return false;
}

} // namespace

/// The call placed by number to established on the caller, both sides registered with the
/// gatekeeper (admission on both sides); every byte masked when the argument is 1.
static void BM_CallSetupThroughSimulator(benchmark::State &state)
{
    const bool masking = state.range(0) != 0;
    SetTrafficMasking(masking ? kTrafficMaskingSetting : 0);
    {
        auto gk = StartGatekeeper(masking);
        TestEndPoint caller("8001", {"GSM"}), callee("8002", {"GSM"});
        if (gk == nullptr || !Register(caller, *gk) || !Register(callee, *gk)) {
            state.SkipWithError("no registration");
        } else {
            size_t n = 0;
            for (auto _ : state) {
                n++;
                auto start = Clock::now();
                PString token = caller.Call("8002");
                if (!WaitCount(caller.events, "established", n)) {
                    state.SkipWithError("no call");
                    break;
                }
                state.SetIterationTime(Seconds(Clock::now() - start));
                caller.ClearCall(token);
                if (!WaitCount(caller.events, "cleared", n) ||
                    !WaitCount(callee.events, "cleared", n)) {
                    state.SkipWithError("not released");
                    break;
                }
            }
        }
    }
    SetTrafficMasking(0);
}
BENCHMARK(BM_CallSetupThroughSimulator)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("masking")
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(40)
    ->Repetitions(5)
    ->ReportAggregatesOnly();

/// A 5 s call between two endpoints of this process with one audio codec, masking on as the
/// phone runs: CPU milliseconds per second of call and side.
static void CallLoad(benchmark::State &state, bool g7231)
{
    SetTrafficMasking(kTrafficMaskingSetting);
    for (auto _ : state) {
        std::vector<std::string> codecs;
        if (!g7231)
            codecs.push_back("GSM");
        TestEndPoint caller("8001", codecs), callee("8002", codecs);
        if (g7231)
            for (TestEndPoint *ep : {&caller, &callee})
                ep->SetCapability(0, 0, new H323_G7231Capability);
        PString token = caller.Call(callee.Address());
        if (!WaitCount(caller.events, "established", 1)) {
            state.SkipWithError("no call");
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(500)); // channels settle
        const std::string expected = g7231 ? OPAL_G7231 "{sw}" : "GSM-06.10{sw}";
        if (callee.lastCodec != expected) {
            state.SkipWithError(("negotiated " + callee.lastCodec).c_str());
            break;
        }
        double before = CpuMilliseconds();
        auto start = Clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(5));
        double seconds = Seconds(Clock::now() - start);
        state.counters["cpu_ms_per_s_one_side"] = (CpuMilliseconds() - before) / seconds / 2;
        caller.ClearCall(token);
        WaitCount(callee.events, "cleared", 1);
    }
    SetTrafficMasking(0);
}
static void BM_CallLoadG7231(benchmark::State &state)
{
    CallLoad(state, true);
}
static void BM_CallLoadGSM(benchmark::State &state)
{
    CallLoad(state, false);
}
BENCHMARK(BM_CallLoadG7231)->Iterations(1)->Repetitions(3)->Unit(benchmark::kSecond);
BENCHMARK(BM_CallLoadGSM)->Iterations(1)->Repetitions(3)->Unit(benchmark::kSecond);

BENCHMARK_MAIN();
