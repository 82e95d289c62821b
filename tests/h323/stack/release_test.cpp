// The end of a call that a peer releases while it keeps its connections open, never opens
// the separate H.245 channel offered, or drops the signalling: our media stops with the
// release and the DisengageRequest follows at once. In every signalling mode, whoever
// releases, the program hears of the end once, after the call's channels closed, before the
// graceful close of its connections, and nothing of the call after that.
#include "raw_peer.h"
#include "stack_support.h"

#include <h323/asn1/gen/h245.h>
#include <h323/asn1/per.h>
#include <h323/rtp/rtp_frame.h>
#include <h323/rtp/rtp_session.h>
#include <pwlib/ptimer.h>
#include <tools/service-sim/call_router.h>
#include <tools/service-sim/ras_gatekeeper.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>

using namespace stacktest;

namespace {

/// The simulator's gatekeeper; notes when the first DisengageRequest arrived (ms of
/// PTimer::Tick).
class DisengageWatch
{
  public:
    DisengageWatch()
    {
        servicesim::GatekeeperOptions o;
        o.port = 0;
        o.accounts = {{"8001", "secret"}, {"8002", "secret"}};
        o.log = [this](const std::string &line) {
            if (line.rfind("ras: disengageRequest", 0) == 0 && disengaged < 0)
                disengaged = PTimer::Tick().GetMilliSeconds();
        };
        gk.reset(new servicesim::RasGatekeeper(o));
        std::string error;
        EXPECT_TRUE(gk->Start(&error)) << error;
    }
    bool Register(H323EndPoint &ep)
    {
        ep.SetGatekeeperPassword("secret");
        return ep.UseGatekeeper(psprintf("127.0.0.1:%u", gk->Port()));
    }
    /// When the DisengageRequest came; -1 when none came within timeoutMs.
    PInt64 WaitForDisengage(int timeoutMs)
    {
        for (int waited = 0; disengaged < 0 && waited < timeoutMs; waited += 10)
            PThread::Sleep(10);
        return disengaged;
    }

  private:
    std::atomic<PInt64> disengaged{-1};
    std::unique_ptr<servicesim::RasGatekeeper> gk;
};

/// Media packets that arrive in the next windowMs, and when the last came.
struct Arrivals {
    int count = 0;
    PInt64 last = -1;
};

Arrivals CountFor(const std::function<bool(PInt64 &)> &next, int windowMs)
{
    Arrivals a;
    PInt64 end = PTimer::Tick().GetMilliSeconds() + windowMs;
    PInt64 arrival = 0;
    while (PTimer::Tick().GetMilliSeconds() < end)
        if (next(arrival)) {
            a.count++;
            a.last = arrival;
        }
    return a;
}

struct StubbornCase {
    const char *name;
    bool subjectCalls;      ///< our endpoint calls the hand-driven peer (else it answers)
    bool peerDropsSignalling; ///< the peer closes the signalling instead of releasing
};

void PrintTo(const StubbornCase &c, std::ostream *os) { *os << c.name; }

class StubbornPeer : public ::testing::TestWithParam<StubbornCase>
{
};

} // namespace

TEST_P(StubbornPeer, ReleaseStopsOurMediaAndDisengagesAtOnce)
{
    const StubbornCase &c = GetParam();
    DisengageWatch gk;
    TestEndPoint subject(c.subjectCalls ? "8001" : "8002");
    subject.DisableH245Tunneling(TRUE);
    ASSERT_TRUE(gk.Register(subject));
    TestEndPoint lender("8003"); // builds the peer's messages
    lender.DisableH245Tunneling(TRUE);

    // Received media, read one packet at a time with a short wait.
    std::function<bool(PInt64 &)> next;
    PUDPSocket media;
    PTCPSocket h245; // the peer's H.245 listener: connected to by the kernel, never read
    std::unique_ptr<RawCallee> callee;
    std::unique_ptr<RawCaller> caller;
    unsigned ref = 0;
    if (c.subjectCalls) {
        ASSERT_TRUE(media.Listen(PIPSocket::Address(127, 0, 0, 1)));
        ASSERT_TRUE(h245.Listen(PIPSocket::Address(127, 0, 0, 1), 1));
        callee.reset(new RawCallee(lender));
        ASSERT_FALSE(subject.Call(callee->Address()).IsEmpty());
        H323SignalPDU setup;
        ref = callee->AcceptSetup(&setup);
        ASSERT_NE(ref, 0u);
        callee->SendFastConnect(ref, setup, media.GetPort(), h245.GetPort());
        media.SetReadTimeout(20);
        next = [&media](PInt64 &arrival) {
            BYTE buf[2048];
            if (!media.Read(buf, sizeof buf))
                return false;
            arrival = PTimer::Tick().GetMilliSeconds();
            return true;
        };
    } else {
        // The peer calls with fast start and never opens the H.245 channel it is offered.
        caller.reset(new RawCaller(lender));
        ASSERT_TRUE(caller->Call(subject.Address()));
        ASSERT_TRUE(caller->WaitForConnect());
        next = [&caller](PInt64 &arrival) {
            RTP_DataFrame frame;
            return caller->Media().ReadDataWithin(frame, 20, arrival) > 0;
        };
    }
    ASSERT_FALSE(subject.events.WaitFor("established").empty());
    ASSERT_GT(CountFor(next, 400).count, 5) << "media before the release";

    PInt64 released = PTimer::Tick().GetMilliSeconds();
    if (c.peerDropsSignalling)
        callee->Close();
    else if (callee)
        callee->SendReleaseComplete(ref);
    else
        caller->SendReleaseComplete();
    // The peer keeps everything else open meanwhile.
    Arrivals after = CountFor(next, 1000);
    PInt64 disengaged = gk.WaitForDisengage(3000);

    // One packet time is 20 ms; the bounds leave room for a loaded machine, far below the
    // seconds a release that waits for the peer takes.
    EXPECT_LE(after.count, 10) << "packets after the release, the last "
                               << after.last - released << " ms after it";
    ASSERT_GE(disengaged, 0) << "no DisengageRequest";
    EXPECT_LT(disengaged - released, 500) << "ms from the release to the DisengageRequest";
    EXPECT_GE(WaitCleared(subject), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Peers, StubbornPeer,
    ::testing::Values(StubbornCase{"calleeReleasesKeepingItsChannelsOpen", true, false},
                      StubbornCase{"calleeDropsTheSignallingKeepingH245Open", true, true},
                      StubbornCase{"callerReleasesNeverHavingOpenedH245", false, false}),
    [](const auto &info) { return std::string(info.param.name); });

namespace {

using Clock = std::chrono::steady_clock;

/// The simulator's gatekeeper with two accounts; in the routed model with its call router.
class Service
{
  public:
    explicit Service(bool routed)
    {
        std::string error;
        servicesim::GatekeeperOptions o;
        o.port = 0;
        o.accounts = {{"8001", "secret"}, {"8002", "secret"}};
        if (routed) {
            servicesim::CallRouterOptions ro;
            ro.takeAdmitted = [this](const std::string &id) { return gk->TakeRoutedCall(id); };
            router.reset(new servicesim::CallRouter(ro));
            EXPECT_TRUE(router->Start(&error)) << error;
            o.routerPort = router->Port();
        }
        gk.reset(new servicesim::RasGatekeeper(o));
        EXPECT_TRUE(gk->Start(&error)) << error;
    }
    ~Service()
    {
        if (router)
            router->Stop();
    }
    bool Register(H323EndPoint &ep)
    {
        ep.SetGatekeeperPassword("secret");
        return ep.UseGatekeeper(psprintf("127.0.0.1:%u", gk->Port()));
    }

  private:
    std::unique_ptr<servicesim::CallRouter> router;
    std::unique_ptr<servicesim::RasGatekeeper> gk;
};

/// The gatekeeper's events; the rest are the call's.
bool IsRasEvent(const std::string &line)
{
    return line.rfind("rcf", 0) == 0 || line.rfind("urq", 0) == 0 || line.rfind("credit", 0) == 0;
}

/// Once the endpoint's only call is deleted: its end was reported once, after its media
/// channels (if it had any) closed, less than the graceful close time after released, and
/// nothing of the call came after it.
void ExpectReportedOnceAtOnceAndLast(TestEndPoint &ep, Clock::time_point released, bool media)
{
    std::vector<std::string> lines = ep.events.All();
    auto cleared = std::find_if(lines.begin(), lines.end(),
                                [](const std::string &l) { return l.rfind("cleared", 0) == 0; });
    ASSERT_NE(cleared, lines.end()) << "no end reported";
    if (media) {
        EXPECT_TRUE(std::any_of(lines.begin(), cleared, [](const std::string &l) {
            return l.rfind("channel-closed", 0) == 0;
        })) << "no channel closed before the end was reported";
    }
    for (auto l = cleared + 1; l != lines.end(); ++l)
        EXPECT_TRUE(IsRasEvent(*l)) << "after the end was reported: " << *l;
    Clock::time_point at;
    ASSERT_TRUE(ep.events.TimeOf("cleared", at));
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(at - released).count(),
              H323Connection::GracefulCloseTime)
        << "ms from the release to the end reported";
}

/// The far end of a separate H.245 channel that accepts it and holds it, never answering.
class HeldControlChannel
{
  public:
    explicit HeldControlChannel(H323EndPoint &ep) : endpoint(ep)
    {
        EXPECT_TRUE(listener.Listen(PIPSocket::Address(127, 0, 0, 1), 1));
    }
    WORD Port() const { return listener.GetPort(); }
    bool Accept()
    {
        PTCPSocket *socket = new PTCPSocket;
        listener.SetReadTimeout(5000);
        if (!socket->Accept(listener)) {
            delete socket;
            return false;
        }
        transport.reset(new H323TransportTCP(endpoint));
        return transport->Open(socket, TRUE);
    }
    void SendUserInput(const std::string &text)
    {
        H245_MultimediaSystemControlMessage pdu;
        pdu.indication().userInput().alphanumeric() = text;
        std::vector<uint8_t> bytes;
        ASSERT_TRUE(asn1::encode(pdu, bytes));
        EXPECT_TRUE(transport->WritePDU(PBYTEArray(bytes.data(), PINDEX(bytes.size()))));
    }
    void Close()
    {
        if (transport)
            transport->Close();
    }

  private:
    H323EndPoint &endpoint;
    PTCPSocket listener;
    std::unique_ptr<H323TransportTCP> transport;
};

enum class Releaser { Peer, PeerDropsSignalling, Us };

struct HoldingCase {
    const char *name;
    bool subjectCalls; ///< our endpoint calls the hand-driven peer (else it answers)
    bool routed;       ///< through the gatekeeper's call router (subject calling only)
    bool fastStart;    ///< the peer answers fast start (always when it calls)
    bool tunnelling;   ///< else the peer names a separate H.245 channel (when it answers)
    Releaser releaser;
};

void PrintTo(const HoldingCase &c, std::ostream *os) { *os << c.name; }

class ReleaseWithAHoldingPeer : public ::testing::TestWithParam<HoldingCase>
{
};

} // namespace

// The hand-driven peer keeps every connection open until the end was reported: a release that
// waited for it would report the end only after the graceful close time. Input the peer sends
// after that reaches nobody.
TEST_P(ReleaseWithAHoldingPeer, EndIsReportedBeforeThePeerClosesAnything)
{
    const HoldingCase &c = GetParam();
    Service service(c.routed);
    TestEndPoint subject("8001");
    subject.DisableFastStart(!c.fastStart);
    subject.DisableH245Tunneling(!c.tunnelling);
    ASSERT_TRUE(service.Register(subject));
    TestEndPoint lender("8002"); // builds the peer's messages
    lender.DisableH245Tunneling(TRUE);

    PUDPSocket media; // where the subject sends, never read
    ASSERT_TRUE(media.Listen(PIPSocket::Address(127, 0, 0, 1)));
    HeldControlChannel h245(lender);
    std::unique_ptr<RawCallee> callee;
    std::unique_ptr<RawCaller> caller;
    unsigned ref = 0;
    PString target;
    if (c.routed) {
        // The router calls the registered 8002, whose port the hand-driven peer takes over.
        ASSERT_TRUE(service.Register(lender));
        WORD port = H323TransportAddress(lender.Address()).GetPort();
        lender.RemoveListener(nullptr);
        callee.reset(new RawCallee(lender, port));
        target = "8002";
    } else if (c.subjectCalls) {
        callee.reset(new RawCallee(lender));
        target = callee->Address();
    }
    if (callee) {
        ASSERT_FALSE(subject.Call(target).IsEmpty());
        H323SignalPDU setup;
        ref = callee->AcceptSetup(&setup);
        ASSERT_NE(ref, 0u);
        if (c.fastStart) {
            callee->SendFastConnect(ref, setup, media.GetPort(), c.tunnelling ? 0 : h245.Port());
        } else {
            callee->SendConnectWithH245(ref, h245.Port());
        }
        if (!c.tunnelling) {
            ASSERT_TRUE(h245.Accept()) << "the subject opened no H.245 channel";
        }
    } else {
        // The peer calls with fast start and never opens the H.245 channel it is offered.
        caller.reset(new RawCaller(lender));
        ASSERT_TRUE(caller->Call(subject.Address()));
        ASSERT_TRUE(caller->WaitForConnect());
    }
    if (c.fastStart) {
        ASSERT_FALSE(subject.events.WaitFor("established").empty());
    }

    Clock::time_point released = Clock::now();
    switch (c.releaser) {
    case Releaser::Peer:
        if (callee)
            callee->SendReleaseComplete(ref);
        else
            caller->SendReleaseComplete();
        break;
    case Releaser::PeerDropsSignalling:
        callee->Close();
        break;
    case Releaser::Us:
        subject.ClearCall(subject.GetAllConnections()[0]);
        break;
    }
    ASSERT_GE(WaitCleared(subject, 10000), 0);
    // What the peer still sends on the connections it held meets a call that is over.
    if (callee && !c.tunnelling)
        h245.SendUserInput("late");
    if (c.releaser == Releaser::Us && callee && !c.routed)
        callee->SendKeypad(ref, "7");
    if (callee)
        callee->Close();
    h245.Close();
    caller.reset();
    subject.ClearAllCalls(H323CallEndReasons::EndedByLocalUser, TRUE); // deleted
    ExpectReportedOnceAtOnceAndLast(subject, released, c.fastStart);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, ReleaseWithAHoldingPeer,
    ::testing::Values(
        HoldingCase{"fastTunnelledCalleeReleases", true, false, true, true, Releaser::Peer},
        HoldingCase{"fastTunnelledWeRelease", true, false, true, true, Releaser::Us},
        HoldingCase{"fastSeparateH245CalleeReleases", true, false, true, false, Releaser::Peer},
        HoldingCase{"fastSeparateH245CalleeDropsTheSignalling", true, false, true, false,
                    Releaser::PeerDropsSignalling},
        HoldingCase{"fastSeparateH245WeRelease", true, false, true, false, Releaser::Us},
        HoldingCase{"separateH245CalleeReleases", true, false, false, false, Releaser::Peer},
        HoldingCase{"separateH245WeRelease", true, false, false, false, Releaser::Us},
        HoldingCase{"routedFastSeparateH245CalleeReleases", true, true, true, false, Releaser::Peer},
        HoldingCase{"routedFastSeparateH245WeRelease", true, true, true, false, Releaser::Us},
        HoldingCase{"fastCallerReleasesNeverHavingOpenedH245", false, false, true, false,
                    Releaser::Peer},
        HoldingCase{"fastWeReleaseTheCallerThatNeverOpenedH245", false, false, true, false,
                    Releaser::Us}),
    [](const auto &info) { return std::string(info.param.name); });

namespace {

struct OursCase {
    const char *name;
    bool routed;
    bool fastStart;
    bool tunnelling;
    bool h245InSetup; ///< the separate H.245 channel offered in the Setup
    bool callerReleases;
};

void PrintTo(const OursCase &c, std::ostream *os) { *os << c.name; }

class ReleaseBetweenOurEndpoints : public ::testing::TestWithParam<OursCase>
{
};

} // namespace

TEST_P(ReleaseBetweenOurEndpoints, EachSideReportsTheEndOnceAtOnceAndLast)
{
    const OursCase &c = GetParam();
    Service service(c.routed);
    TestEndPoint caller("8001"), callee("8002");
    for (TestEndPoint *ep : {&caller, &callee}) {
        ep->DisableFastStart(!c.fastStart);
        ep->DisableH245Tunneling(!c.tunnelling);
        ep->SetH245inSetup(c.h245InSetup);
        ASSERT_TRUE(service.Register(*ep));
    }
    ASSERT_FALSE(caller.Call("8002").IsEmpty());
    ASSERT_FALSE(caller.events.WaitFor("established").empty());
    ASSERT_FALSE(callee.events.WaitFor("established").empty());

    Clock::time_point released = Clock::now();
    TestEndPoint &releaser = c.callerReleases ? caller : callee;
    releaser.ClearCall(releaser.GetAllConnections()[0]);
    ASSERT_GE(WaitCleared(caller), 0);
    ASSERT_GE(WaitCleared(callee), 0);
    caller.ClearAllCalls(H323CallEndReasons::EndedByLocalUser, TRUE);
    callee.ClearAllCalls(H323CallEndReasons::EndedByLocalUser, TRUE);
    {
        SCOPED_TRACE("caller");
        ExpectReportedOnceAtOnceAndLast(caller, released, true);
    }
    {
        SCOPED_TRACE("callee");
        ExpectReportedOnceAtOnceAndLast(callee, released, true);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Modes, ReleaseBetweenOurEndpoints,
    ::testing::Values(
        OursCase{"directFastTunnelledCallerReleases", false, true, true, false, true},
        OursCase{"directFastTunnelledCalleeReleases", false, true, true, false, false},
        OursCase{"directFastNotTunnelledCallerReleases", false, true, false, false, true},
        OursCase{"directFastNotTunnelledCalleeReleases", false, true, false, false, false},
        OursCase{"directH245TunnelledCallerReleases", false, false, true, false, true},
        OursCase{"directH245TunnelledCalleeReleases", false, false, true, false, false},
        OursCase{"directH245NotTunnelledCallerReleases", false, false, false, false, true},
        OursCase{"directH245NotTunnelledCalleeReleases", false, false, false, false, false},
        OursCase{"directSeparateH245CallerReleases", false, false, false, true, true},
        OursCase{"directSeparateH245CalleeReleases", false, false, false, true, false},
        OursCase{"routedFastTunnelledCallerReleases", true, true, true, false, true},
        OursCase{"routedFastTunnelledCalleeReleases", true, true, true, false, false},
        OursCase{"routedFastNotTunnelledCallerReleases", true, true, false, false, true},
        OursCase{"routedFastNotTunnelledCalleeReleases", true, true, false, false, false},
        OursCase{"routedH245TunnelledCallerReleases", true, false, true, false, true},
        OursCase{"routedH245TunnelledCalleeReleases", true, false, true, false, false},
        OursCase{"routedH245NotTunnelledCallerReleases", true, false, false, false, true},
        OursCase{"routedH245NotTunnelledCalleeReleases", true, false, false, false, false},
        OursCase{"routedSeparateH245CallerReleases", true, false, false, true, true},
        OursCase{"routedSeparateH245CalleeReleases", true, false, false, true, false}),
    [](const auto &info) { return std::string(info.param.name); });
