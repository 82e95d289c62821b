// Call benchmarks on loopback: registration round trip, call set-up (direct, through the
// gatekeeper direct-routed and gatekeeper-routed, fast start on and off), hang-up to released
// on both sides, the peer's release to the last RTP packet, to the DisengageRequest and to our
// OnConnectionCleared in every signalling mode, gatekeeper restart to registered, sequential
// calls a second, Connect to the first RTP packet, CPU of a call, and the jitter buffer's
// added delay.
#include <h323/asn1/per.h>
#include <h323/channels/channel.h>
#include <h323/rtp/jitter.h>
#include <h323/rtp/rtp_session.h>
#include <h323/transports/traffic_hook.h>
#include <tools/service-sim/call_router.h>
#include <tools/service-sim/ras_gatekeeper.h>

#include "../tests/h323/stack/raw_peer.h"
#include "../tests/h323/stack/stack_support.h"

#include <benchmark/benchmark.h>

#include <pwlib/ptimer.h>

#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

using namespace stacktest;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

PString Address(servicesim::RasGatekeeper &gk)
{
    return psprintf("127.0.0.1:%u", gk.Port());
}

/// The gatekeeper of the simulator with two accounts (o: its other options).
std::unique_ptr<servicesim::RasGatekeeper> StartGatekeeper(servicesim::GatekeeperOptions o = {})
{
    if (o.port == 1719)
        o.port = 0;
    o.accounts = {{"8001", "secret"}, {"8002", "secret"}};
    auto gk = std::make_unique<servicesim::RasGatekeeper>(o);
    std::string error;
    gk->Start(&error);
    return gk;
}

/// The simulator's gatekeeper in the gatekeeper-routed model, with its call router.
struct RoutingGatekeeper {
    RoutingGatekeeper()
    {
        servicesim::CallRouterOptions ro;
        ro.takeAdmitted = [this](const std::string &id) { return gk->TakeRoutedCall(id); };
        router = std::make_unique<servicesim::CallRouter>(ro);
        std::string error;
        router->Start(&error);
        servicesim::GatekeeperOptions o;
        o.port = 0;
        o.routerPort = router->Port();
        gk = StartGatekeeper(o);
    }
    ~RoutingGatekeeper() { router->Stop(); }
    std::unique_ptr<servicesim::CallRouter> router;
    std::unique_ptr<servicesim::RasGatekeeper> gk;
};

/// How a benchmark's calls reach the callee.
enum class Route { Direct, Gatekeeper, Routed };

/// A caller and a callee, registered unless the route is direct.
struct CallPair {
    CallPair(Route route, bool fastStart, bool tunnelling = true, bool separateH245 = false)
        : caller("8001"), callee("8002")
    {
        for (TestEndPoint *ep : {&caller, &callee}) {
            ep->DisableFastStart(!fastStart);
            ep->DisableH245Tunneling(!tunnelling);
            ep->SetH245inSetup(separateH245);
            ep->SetSoundChannelBufferDepth(2);
        }
        target = callee.Address();
        if (route == Route::Direct)
            return;
        servicesim::RasGatekeeper *ras;
        if (route == Route::Routed) {
            routing = std::make_unique<RoutingGatekeeper>();
            ras = routing->gk.get();
        } else {
            gk = StartGatekeeper();
            ras = gk.get();
        }
        caller.SetGatekeeperPassword("secret");
        callee.SetGatekeeperPassword("secret");
        registered = caller.UseGatekeeper(Address(*ras)) && callee.UseGatekeeper(Address(*ras));
        target = "8002";
    }
    std::unique_ptr<servicesim::RasGatekeeper> gk;
    std::unique_ptr<RoutingGatekeeper> routing;
    TestEndPoint caller, callee;
    PString target;
    bool registered = true;
};


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

static void BM_RegistrationRoundTrip(benchmark::State &state)
{
    auto gk = StartGatekeeper();
    TestEndPoint ep("8001");
    ep.SetGatekeeperPassword("secret");
    if (!ep.UseGatekeeper(Address(*gk))) {
        state.SkipWithError("no registration");
        return;
    }
    H323Gatekeeper *client = ep.GetGatekeeper();
    for (auto _ : state) {
        auto start = Clock::now();
        bool ok = client->RegistrationRequest(); // a full RRQ with its password tokens
        state.SetIterationTime(Seconds(Clock::now() - start));
        if (!ok)
            state.SkipWithError("RRQ failed");
    }
}
BENCHMARK(BM_RegistrationRoundTrip)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(200)
    ->Repetitions(5)->ReportAggregatesOnly();

namespace {

/// A hook that passes every byte on unchanged; the hooks below note what they look for.
class PassThroughHook : public H323TrafficHook
{
  public:
    void OnStreamReceived(BYTE *, PINDEX) const override {}
    void OnStreamSending(const BYTE *d, BYTE *o, PINDEX n) const override { std::copy(d, d + n, o); }
    void OnDatagramReceived(BYTE *, PINDEX) const override {}
    void OnDatagramSending(const BYTE *d, BYTE *o, PINDEX n) const override { std::copy(d, d + n, o); }
};

/// Notes when the Setup goes out and when the Connect comes in (Q.931 message types 5, 7).
class SignalHook : public PassThroughHook
{
  public:
    void Arm()
    {
        setupSent = false;
        connectReceived = false;
    }
    void OnStreamReceived(BYTE *d, PINDEX n) const override
    {
        if (n > 5 && d[0] == 0x08 && d[4] == 0x07 && !connectReceived.exchange(true))
            connectAt = Clock::now();
    }
    void OnStreamSending(const BYTE *d, BYTE *o, PINDEX n) const override
    {
        std::copy(d, d + n, o);
        if (n > 9 && d[4] == 0x08 && d[8] == 0x05 && !setupSent.exchange(true))
            setupAt = Clock::now();
    }
    mutable std::atomic<bool> setupSent{false}, connectReceived{false};
    mutable Clock::time_point setupAt, connectAt;
};

} // namespace

/// Setup sent to Connect received on the caller, or hang-up to released on both sides.
static void CallTimes(benchmark::State &state, Route route, bool fastStart, bool hangup)
{
    static SignalHook hook;
    H323SetTrafficHook(&hook);
    CallPair pair(route, fastStart);
    if (!pair.registered) {
        state.SkipWithError("no registration");
        return;
    }
    size_t n = 0;
    for (auto _ : state) {
        n++;
        hook.Arm();
        PString token = pair.caller.Call(pair.target);
        if (!WaitCount(pair.caller.events, "established", n)) {
            state.SkipWithError("no call");
            break;
        }
        auto established = Clock::now();
        pair.caller.ClearCall(token);
        if (!WaitCount(pair.caller.events, "cleared", n) ||
            !WaitCount(pair.callee.events, "cleared", n)) {
            state.SkipWithError("not released");
            break;
        }
        auto released = Clock::now();
        state.SetIterationTime(Seconds(hangup ? released - established : hook.connectAt - hook.setupAt));
    }
    H323SetTrafficHook(nullptr);
}

static void BM_CallSetupDirect(benchmark::State &state) { CallTimes(state, Route::Direct, state.range(0), false); }
static void BM_CallSetupThroughGatekeeper(benchmark::State &state) { CallTimes(state, Route::Gatekeeper, state.range(0), false); }
static void BM_CallSetupGatekeeperRouted(benchmark::State &state) { CallTimes(state, Route::Routed, state.range(0), false); }
static void BM_HangupToReleasedBothSides(benchmark::State &state) { CallTimes(state, Route::Direct, state.range(0), true); }
BENCHMARK(BM_CallSetupDirect)->Arg(1)->Arg(0)->ArgName("fastStart")->UseManualTime()
    ->Unit(benchmark::kMillisecond)->Iterations(40)->Repetitions(5)->ReportAggregatesOnly();
BENCHMARK(BM_CallSetupThroughGatekeeper)->Arg(1)->Arg(0)->ArgName("fastStart")->UseManualTime()
    ->Unit(benchmark::kMillisecond)->Iterations(40)->Repetitions(5)->ReportAggregatesOnly();
BENCHMARK(BM_CallSetupGatekeeperRouted)->Arg(1)->Arg(0)->ArgName("fastStart")->UseManualTime()
    ->Unit(benchmark::kMillisecond)->Iterations(40)->Repetitions(5)->ReportAggregatesOnly();
BENCHMARK(BM_HangupToReleasedBothSides)->Arg(1)->Arg(0)->ArgName("fastStart")->UseManualTime()
    ->Unit(benchmark::kMillisecond)->Iterations(40)->Repetitions(5)->ReportAggregatesOnly();

namespace {

/// Notes the last RTP packet and the last DisengageRequest either side sends after Arm().
class ReleaseHook : public PassThroughHook
{
  public:
    void Arm()
    {
        std::lock_guard<std::mutex> lock(mutex);
        lastRtp = lastDrq = {};
    }
    void OnDatagramSending(const BYTE *d, BYTE *o, PINDEX n) const override
    {
        std::copy(d, d + n, o);
        auto now = Clock::now();
        if (n >= 12 && (d[0] & 0xc0) == 0x80) {
            if (d[1] < 200) { // RTP, not RTCP
                std::lock_guard<std::mutex> lock(mutex);
                lastRtp = now;
            }
            return;
        }
        H225_RasMessage ras;
        if (asn1::decode(d, size_t(n), ras) && ras.GetTag() == H225_RasMessage::e_disengageRequest) {
            std::lock_guard<std::mutex> lock(mutex);
            lastDrq = now;
        }
    }
    mutable std::mutex mutex;
    mutable Clock::time_point lastRtp, lastDrq;
};

} // namespace

/// The callee releases an established call: from its ClearCall to the last RTP packet and
/// to the last DisengageRequest on the wire, of both sides (the releasing side stops first).
static void ReleaseTimes(benchmark::State &state, Route route, bool fastStart, bool tunnelling,
                         bool separateH245)
{
    static ReleaseHook hook;
    H323SetTrafficHook(&hook);
    CallPair pair(route, fastStart, tunnelling, separateH245);
    if (!pair.registered) {
        state.SkipWithError("no registration");
        return;
    }
    size_t n = 0;
    std::vector<double> drq;
    for (auto _ : state) {
        n++;
        PString token = pair.caller.Call(pair.target);
        if (!WaitCount(pair.caller.events, "established", n) ||
            !WaitCount(pair.callee.events, "established", n)) {
            state.SkipWithError("no call");
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100)); // media flowing
        hook.Arm();
        auto released = Clock::now();
        pair.callee.ClearCall(pair.callee.GetAllConnections()[0]);
        if (!WaitCount(pair.caller.events, "cleared", n) ||
            !WaitCount(pair.callee.events, "cleared", n)) {
            state.SkipWithError("not released");
            break;
        }
        std::lock_guard<std::mutex> lock(hook.mutex);
        state.SetIterationTime(hook.lastRtp > released ? Seconds(hook.lastRtp - released) : 0.0);
        if (route != Route::Direct)
            drq.push_back(1000 * Seconds(hook.lastDrq - released));
    }
    H323SetTrafficHook(nullptr);
    if (!drq.empty()) {
        std::sort(drq.begin(), drq.end());
        state.counters["to_drq_ms"] = drq[drq.size() / 2];
    }
}

/// route, fast start, tunnelling, separate H.245 from the first message.
static void BM_ReleaseToLastRtp(benchmark::State &state)
{
    ReleaseTimes(state, Route(state.range(0)), state.range(1), state.range(2), state.range(3));
}
BENCHMARK(BM_ReleaseToLastRtp)
    ->ArgNames({"route", "fastStart", "tunnelling", "separateH245"})
    ->Args({1, 1, 1, 0})->Args({1, 1, 0, 0})->Args({1, 0, 1, 0})->Args({1, 0, 0, 0})->Args({1, 0, 0, 1})
    ->Args({2, 1, 1, 0})->Args({2, 1, 0, 0})->Args({2, 0, 1, 0})->Args({2, 0, 0, 0})->Args({2, 0, 0, 1})
    ->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20)->Repetitions(3)
    ->ReportAggregatesOnly();

/// A callee that answers with fast start, offers an H.245 channel it never serves, releases
/// and keeps its connections open (a peer that lets the endpoint wait): from its Release
/// Complete to our last RTP packet and to our DisengageRequest.
static void BM_ReleaseByAPeerKeepingItsChannelsOpen(benchmark::State &state)
{
    static ReleaseHook hook;
    H323SetTrafficHook(&hook);
    auto gk = StartGatekeeper();
    TestEndPoint caller("8001"), lender("8003");
    for (TestEndPoint *ep : {&caller, &lender})
        ep->DisableH245Tunneling(TRUE);
    caller.SetGatekeeperPassword("secret");
    if (!caller.UseGatekeeper(Address(*gk))) {
        state.SkipWithError("no registration");
        return;
    }
    size_t n = 0;
    std::vector<double> drq;
    for (auto _ : state) {
        n++;
        PUDPSocket media;
        PTCPSocket h245;
        media.Listen(PIPSocket::Address(127, 0, 0, 1));
        h245.Listen(PIPSocket::Address(127, 0, 0, 1), 1);
        RawCallee callee(lender);
        caller.Call(callee.Address());
        H323SignalPDU setup;
        unsigned ref = callee.AcceptSetup(&setup);
        callee.SendFastConnect(ref, setup, media.GetPort(), h245.GetPort());
        if (ref == 0 || !WaitCount(caller.events, "established", n)) {
            state.SkipWithError("no call");
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100)); // media flowing
        hook.Arm();
        auto released = Clock::now();
        callee.SendReleaseComplete(ref);
        if (!WaitCount(caller.events, "cleared", n, 10000)) {
            state.SkipWithError("not released");
            break;
        }
        std::lock_guard<std::mutex> lock(hook.mutex);
        state.SetIterationTime(hook.lastRtp > released ? Seconds(hook.lastRtp - released) : 0.0);
        drq.push_back(1000 * Seconds(hook.lastDrq - released));
    }
    H323SetTrafficHook(nullptr);
    if (!drq.empty()) {
        std::sort(drq.begin(), drq.end());
        state.counters["to_drq_ms"] = drq[drq.size() / 2];
    }
}
BENCHMARK(BM_ReleaseByAPeerKeepingItsChannelsOpen)->UseManualTime()->Unit(benchmark::kMillisecond)
    ->Iterations(5)->Repetitions(3)->ReportAggregatesOnly();

namespace {

/// Notes when the first Release Complete is written after Arm() (Q.931 message type 0x5a).
class ReleaseCompleteHook : public PassThroughHook
{
  public:
    void Arm() { sent = false; }
    void OnStreamSending(const BYTE *d, BYTE *o, PINDEX n) const override
    {
        std::copy(d, d + n, o);
        if (n > 9 && d[4] == 0x08 && d[8] == 0x5a && !sent.exchange(true))
            at = Clock::now();
    }
    mutable std::atomic<bool> sent{false};
    mutable Clock::time_point at;
};

} // namespace

/// The callee releases an established call: from its Release Complete on the wire to the
/// caller's OnConnectionCleared. The callee is ours, or a hand-driven one (fast start only)
/// that keeps its connections open, the separate H.245 channel it names among them.
static void ReleaseToCleared(benchmark::State &state, bool holdingPeer, Route route,
                             bool fastStart, bool tunnelling, bool separateH245)
{
    static ReleaseCompleteHook hook;
    H323SetTrafficHook(&hook);
    CallPair pair(route, fastStart, tunnelling, separateH245);
    TestEndPoint lender("8003"); // builds the hand-driven callee's messages
    lender.DisableH245Tunneling(TRUE);
    if (!pair.registered) {
        state.SkipWithError("no registration");
        return;
    }
    size_t n = 0;
    for (auto _ : state) {
        n++;
        std::unique_ptr<RawCallee> callee;
        PUDPSocket media;
        PTCPSocket h245; // connected to by the kernel, never read
        unsigned ref = 0;
        if (holdingPeer) {
            media.Listen(PIPSocket::Address(127, 0, 0, 1));
            h245.Listen(PIPSocket::Address(127, 0, 0, 1), 1);
            callee = std::make_unique<RawCallee>(lender);
            pair.caller.Call(callee->Address());
            H323SignalPDU setup;
            ref = callee->AcceptSetup(&setup);
            if (ref != 0)
                callee->SendFastConnect(ref, setup, media.GetPort(), tunnelling ? 0 : h245.GetPort());
        } else {
            pair.caller.Call(pair.target);
        }
        if ((holdingPeer && ref == 0) || !WaitCount(pair.caller.events, "established", n) ||
            (!holdingPeer && !WaitCount(pair.callee.events, "established", n))) {
            state.SkipWithError("no call");
            break;
        }
        hook.Arm();
        if (holdingPeer)
            callee->SendReleaseComplete(ref);
        else
            pair.callee.ClearCall(pair.callee.GetAllConnections()[0]);
        if (!WaitCount(pair.caller.events, "cleared", n, 10000) || !hook.sent) {
            state.SkipWithError("not released");
            break;
        }
        state.SetIterationTime(Seconds(Clock::now() - hook.at));
        if (callee)
            callee->Close();
        h245.Close(); // resets the connection it held
        pair.caller.ClearAllCalls(H323CallEndReasons::EndedByLocalUser, TRUE);
        pair.callee.ClearAllCalls(H323CallEndReasons::EndedByLocalUser, TRUE);
    }
    H323SetTrafficHook(nullptr);
}

/// holding peer, route, fast start, tunnelling, separate H.245 from the first message.
static void BM_ReleaseToCleared(benchmark::State &state)
{
    ReleaseToCleared(state, state.range(0), Route(state.range(1)), state.range(2), state.range(3),
                     state.range(4));
}
BENCHMARK(BM_ReleaseToCleared)
    ->ArgNames({"holdingPeer", "route", "fastStart", "tunnelling", "separateH245"})
    ->Args({0, 1, 1, 1, 0})->Args({0, 1, 1, 0, 0})->Args({0, 1, 0, 1, 0})->Args({0, 1, 0, 0, 0})
    ->Args({0, 1, 0, 0, 1})->Args({0, 2, 1, 1, 0})->Args({0, 2, 1, 0, 0})->Args({0, 2, 0, 1, 0})
    ->Args({0, 2, 0, 0, 0})->Args({0, 2, 0, 0, 1})->Args({1, 1, 1, 1, 0})->Args({1, 1, 1, 0, 0})
    ->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(25)
    ->ReportAggregatesOnly(); // the median of single releases

/// A registered endpoint whose gatekeeper restarts on its address (knowing nobody), or is
/// away outageMs and comes back: from the gatekeeper's return to the endpoint registered.
static void RegisteredAgain(benchmark::State &state, unsigned timeToLive, int outageMs)
{
    servicesim::GatekeeperOptions o;
    o.port = 0;
    o.timeToLive = timeToLive;
    auto gk = StartGatekeeper(o);
    o.port = gk->Port();
    TestEndPoint ep("8001");
    ep.SetGatekeeperPassword("secret");
    if (!ep.UseGatekeeper(Address(*gk))) {
        state.SkipWithError("no registration");
        return;
    }
    for (auto _ : state) {
        gk.reset();
        if (outageMs > 0) {
            while (ep.IsRegisteredWithGatekeeper()) // the keep-alive finds it gone
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            std::this_thread::sleep_for(std::chrono::milliseconds(outageMs));
        }
        gk = StartGatekeeper(o);
        auto back = Clock::now();
        while (!gk->IsRegistered("8001") || !ep.IsRegisteredWithGatekeeper()) {
            if (Clock::now() - back > std::chrono::seconds(60)) {
                state.SkipWithError("not registered again");
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        state.SetIterationTime(Seconds(Clock::now() - back));
    }
}

/// time-to-live (s, 0: none), outage (ms, 0: restarted at once).
static void BM_GatekeeperBackToRegistered(benchmark::State &state)
{
    RegisteredAgain(state, unsigned(state.range(0)), int(state.range(1)));
}
BENCHMARK(BM_GatekeeperBackToRegistered)
    ->ArgNames({"ttl", "outageMs"})->Args({0, 0})->Args({60, 0})->Args({4, 0})->Args({4, 15000})
    ->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3)->Repetitions(1);

/// Short calls one after another through the gatekeeper: placed, established, cleared.
static void BM_SequentialCallsThroughGatekeeper(benchmark::State &state)
{
    auto gk = StartGatekeeper();
    TestEndPoint caller("8001"), callee("8002");
    caller.SetGatekeeperPassword("secret");
    callee.SetGatekeeperPassword("secret");
    if (!caller.UseGatekeeper(Address(*gk)) || !callee.UseGatekeeper(Address(*gk))) {
        state.SkipWithError("no registration");
        return;
    }
    size_t n = 0;
    for (auto _ : state) {
        n++;
        PString token = caller.Call("8002");
        if (!WaitCount(caller.events, "established", n)) {
            state.SkipWithError("no call");
            return;
        }
        caller.ClearCall(token);
        if (!WaitCount(caller.events, "cleared", n) || !WaitCount(callee.events, "cleared", n)) {
            state.SkipWithError("not released");
            return;
        }
    }
    state.counters["calls_per_s"] = benchmark::Counter(double(n), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SequentialCallsThroughGatekeeper)->Unit(benchmark::kMillisecond)->Iterations(50)
    ->Repetitions(5)->ReportAggregatesOnly();

namespace {

/// Notes when the first RTP datagram is sent after Arm().
class FirstPacketHook : public PassThroughHook
{
  public:
    void Arm() { sent = false; }
    void OnDatagramSending(const BYTE *d, BYTE *o, PINDEX n) const override
    {
        std::copy(d, d + n, o);
        if (n >= 12 && (d[0] & 0xc0) == 0x80 && d[1] < 200 && !sent.exchange(true))
            at = Clock::now();
    }
    mutable std::atomic<bool> sent{false};
    mutable Clock::time_point at;
};

} // namespace

static void BM_ConnectToFirstRtp(benchmark::State &state)
{
    static FirstPacketHook hook;
    H323SetTrafficHook(&hook);
    TestEndPoint caller("8001"), callee("8002");
    size_t n = 0;
    for (auto _ : state) {
        n++;
        hook.Arm();
        PString token = caller.Call(callee.Address());
        if (!WaitCount(caller.events, "established", n)) {
            state.SkipWithError("no call");
            break;
        }
        auto established = Clock::now();
        while (!hook.sent)
            std::this_thread::sleep_for(std::chrono::microseconds(20));
        auto first = hook.at;
        state.SetIterationTime(first > established ? Seconds(first - established) : 0.0);
        caller.ClearCall(token);
        WaitCount(caller.events, "cleared", n);
        WaitCount(callee.events, "cleared", n);
    }
    H323SetTrafficHook(nullptr);
}
BENCHMARK(BM_ConnectToFirstRtp)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20)
    ->Repetitions(3)->ReportAggregatesOnly();

/// A 5 s call in this process (both sides): CPU ms per second of call and side, and the
/// time the received packets spend in the jitter buffer.
static void CallLoad(benchmark::State &state, const char *codec)
{
    for (auto _ : state) {
        TestEndPoint caller("8001", {codec}), callee("8002", {codec});
        PString token = caller.Call(callee.Address());
        if (!WaitCount(caller.events, "established", 1)) {
            state.SkipWithError("no call");
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(500)); // settle
        rusage before{}, after{};
        getrusage(RUSAGE_SELF, &before);
        auto start = Clock::now();
        double held = 0;
        int samples = 0;
        while (Clock::now() - start < std::chrono::seconds(5)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            H323Connection *c = callee.FindConnectionWithLock(callee.GetAllConnections()[0]);
            if (c == nullptr)
                break;
            if (auto *ch = dynamic_cast<H323_RTPChannel *>(c->FindChannel(1, TRUE)))
                if (RTP_JitterBuffer *j = ch->GetSession().GetJitterBuffer()) {
                    held += j->GetLastHoldTime();
                    samples++;
                    state.counters["jitter_delay_ms"] = j->GetCurrentDelay();
                    state.counters["late"] = j->GetPacketsTooLate();
                }
            c->Unlock();
        }
        getrusage(RUSAGE_SELF, &after);
        double seconds = Seconds(Clock::now() - start);
        auto cpu = [](const rusage &r) {
            return r.ru_utime.tv_sec * 1e3 + r.ru_utime.tv_usec / 1e3 + r.ru_stime.tv_sec * 1e3 +
                   r.ru_stime.tv_usec / 1e3;
        };
        state.counters["cpu_ms_per_s_one_side"] = (cpu(after) - cpu(before)) / seconds / 2;
        state.counters["jitter_hold_ms"] = samples > 0 ? held / samples : -1;
        caller.ClearCall(token);
        WaitCount(callee.events, "cleared", 1);
    }
}
static void BM_CallLoadG711(benchmark::State &state) { CallLoad(state, "PCMU"); }
static void BM_CallLoadGSM(benchmark::State &state) { CallLoad(state, "GSM"); }
BENCHMARK(BM_CallLoadG711)->Iterations(1)->Repetitions(3)->Unit(benchmark::kSecond);
BENCHMARK(BM_CallLoadGSM)->Iterations(1)->Repetitions(3)->Unit(benchmark::kSecond);

BENCHMARK_MAIN();
