// The end of a call that a peer releases while it keeps its connections open, never opens
// the separate H.245 channel offered, or drops the signalling: our media stops with the
// release and the DisengageRequest follows at once.
#include "raw_peer.h"
#include "stack_support.h"

#include <h323/rtp/rtp_frame.h>
#include <h323/rtp/rtp_session.h>
#include <pwlib/ptimer.h>
#include <tools/service-sim/ras_gatekeeper.h>

#include <gtest/gtest.h>

#include <atomic>
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
