// Calls between two endpoints in one process: every signalling mode, the end reasons of the
// refusals, forwarding, user input and the connection table.
#include "stack_support.h"

#include <h323/callsig/connection.h>
#include <h323/callsig/signal_pdu.h>
#include <h323/channels/channel.h>
#include <h323/rtp/rtp_session.h>

#include <pwlib/sound/psoundchannel.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

using namespace stacktest;
using R = H323CallEndReasons;

namespace {

struct Mode {
    const char *name;
    bool fastStart;
    bool tunnelling;
    bool h245inSetup;
};

void PrintTo(const Mode &c, std::ostream *os) { *os << c.name; }

class CallModes : public ::testing::TestWithParam<Mode>
{
};

void Apply(TestEndPoint &ep, const Mode &m)
{
    ep.DisableFastStart(!m.fastStart);
    ep.DisableH245Tunneling(!m.tunnelling);
    ep.SetH245inSetup(m.h245inSetup);
}

} // namespace

TEST_P(CallModes, EstablishesAndClearsBothSides)
{
    const Mode &m = GetParam();
    TestEndPoint caller("alice", {"GSM", "PCMU"}), callee("bob", {"PCMU", "GSM"});
    Apply(caller, m);
    Apply(callee, m);
    PString token = caller.Call(callee.Address());
    ASSERT_FALSE(token.IsEmpty());
    // The caller's preference wins the fast start choice only when the callee prefers it
    // too; the callee picks by its own order: PCMU. Through H.245 each side opens its
    // own preferred transmit codec that the other can receive.
    ASSERT_FALSE(callee.events.WaitFor("established ").empty()) << m.name;
    ASSERT_FALSE(caller.events.WaitFor("established ").empty()) << m.name;
    EXPECT_TRUE(callee.events.Has("incoming alice"));
    if (m.fastStart)
        EXPECT_EQ(caller.lastCodec, "G.711-uLaw-64k{sw}");
    else
        EXPECT_EQ(caller.lastCodec, "GSM-06.10{sw}");

    ASSERT_TRUE(caller.ClearCall(token));
    EXPECT_EQ(WaitCleared(caller), R::EndedByLocalUser);
    EXPECT_EQ(WaitCleared(callee), R::EndedByRemoteUser);
    EXPECT_FALSE(caller.HasConnection(token));
}

INSTANTIATE_TEST_SUITE_P(Signalling, CallModes,
                         ::testing::Values(Mode{"fastStartTunnelled", true, true, false},
                                           Mode{"fastStartSeparate", true, false, false},
                                           Mode{"h245Tunnelled", false, true, false},
                                           Mode{"h245Separate", false, false, false},
                                           Mode{"h245SeparateEarly", false, false, true}),
                         [](const auto &info) { return std::string(info.param.name); });

struct Refusal {
    const char *name;
    Behaviour behaviour;
    int callerReason;
    int calleeReason; ///< -1: the callee has no connection
};

static void PrintTo(const Refusal &c, std::ostream *os) { *os << c.name; }

class Refusals : public ::testing::TestWithParam<Refusal>
{
};

TEST_P(Refusals, GiveTheEndReasonsOfBothSides)
{
    const Refusal &r = GetParam();
    TestEndPoint caller("alice"), callee("bob");
    callee.behaviour = r.behaviour;
    ASSERT_FALSE(caller.Call(callee.Address()).IsEmpty());
    EXPECT_EQ(WaitCleared(caller), r.callerReason);
    if (r.calleeReason >= 0)
        EXPECT_EQ(WaitCleared(callee), r.calleeReason);
    else
        EXPECT_TRUE(callee.events.WaitFor("refused-connection").size() > 0);
}

namespace {

Behaviour Answering(H323Connection::AnswerCallResponse answer)
{
    Behaviour b;
    b.answer = answer;
    return b;
}

Behaviour Busy()
{
    Behaviour b;
    b.busy = true;
    return b;
}

Behaviour RefusingConnections()
{
    Behaviour b;
    b.refuseConnection = true;
    return b;
}

} // namespace

INSTANTIATE_TEST_SUITE_P(
    EndReasons, Refusals,
    ::testing::Values(
        Refusal{"answerDenied", Answering(H323Connection::AnswerCallDenied), R::EndedByRefusal,
                R::EndedByAnswerDenied},
        Refusal{"localBusy", Busy(), R::EndedByRemoteBusy, R::EndedByLocalBusy},
        Refusal{"filtered", RefusingConnections(), R::EndedByRefusal, -1}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(Calls, UnansweredCallTimesOutAsNoAnswerAndCallerAbortsOnTheOtherSide)
{
    TestEndPoint caller("alice"), callee("bob");
    callee.behaviour.answer = H323Connection::AnswerCallPending;
    caller.SetSignallingChannelCallTimeout(500);
    ASSERT_FALSE(caller.Call(callee.Address()).IsEmpty());
    EXPECT_FALSE(caller.events.WaitFor("alerting").empty());
    EXPECT_EQ(WaitCleared(caller), R::EndedByNoAnswer);
    EXPECT_EQ(WaitCleared(callee), R::EndedByCallerAbort);
}

TEST(Calls, PendingCallIsAnsweredThroughFindConnectionWithLock)
{
    TestEndPoint caller("alice"), callee("bob");
    callee.behaviour.answer = H323Connection::AnswerCallPending;
    ASSERT_FALSE(caller.Call(callee.Address()).IsEmpty());
    ASSERT_FALSE(caller.events.WaitFor("alerting").empty());
    PStringArray tokens = callee.GetAllConnections();
    ASSERT_EQ(tokens.GetSize(), 1);
    H323Connection *c = callee.FindConnectionWithLock(tokens[0]);
    ASSERT_NE(c, nullptr);
    c->AnsweringCall(H323Connection::AnswerCallNow);
    c->Unlock();
    EXPECT_FALSE(caller.events.WaitFor("established").empty());
    callee.ClearAllCalls(R::EndedByLocalUser, TRUE);
    EXPECT_EQ(WaitCleared(caller), R::EndedByRemoteUser);
    EXPECT_EQ(callee.FindConnectionWithLock(tokens[0]), nullptr);
}

namespace {

/// An endpoint whose OnConnectionCleared takes a while, as a program's may.
class SlowClearedEndPoint : public TestEndPoint
{
  public:
    using TestEndPoint::TestEndPoint;
    void OnConnectionCleared(H323Connection &c, const PString &token) override
    {
        events.Add("clearing");
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        TestEndPoint::OnConnectionCleared(c, token);
        // Waiting for all calls from inside the handler returns (no wait on itself).
        ClearAllCalls(H323CallEndReasons::EndedByLocalUser, TRUE);
        handlerDone = true;
    }
    std::atomic<bool> handlerDone{false};
};

} // namespace

TEST(Calls, ClearAllCallsWithWaitReturnsOnlyAfterOnConnectionClearedReturned)
{
    TestEndPoint callee("bob");
    SlowClearedEndPoint caller("alice");
    ASSERT_FALSE(caller.Call(callee.Address()).IsEmpty());
    ASSERT_FALSE(caller.events.WaitFor("established").empty());
    caller.ClearAllCalls(H323CallEndReasons::EndedByLocalUser, FALSE);
    // The call is out of the table while its handler runs.
    ASSERT_FALSE(caller.events.WaitFor("clearing").empty());
    caller.ClearAllCalls(H323CallEndReasons::EndedByLocalUser, TRUE);
    // The endpoint may be deleted now: nothing of it is still in use.
    EXPECT_TRUE(caller.handlerDone);
}

TEST(Calls, NothingListeningGivesNoEndPoint)
{
    TestEndPoint caller("alice");
    PString dead;
    {
        TestEndPoint gone("bob");
        dead = gone.Address();
    }
    ASSERT_FALSE(caller.Call(dead).IsEmpty());
    EXPECT_EQ(WaitCleared(caller), R::EndedByNoEndPoint);
}

TEST(Calls, ForwardReachesTheCallerWhoClearsWithCallForwarded)
{
    TestEndPoint caller("alice"), callee("bob");
    callee.behaviour.forward = "carol@ip$127.0.0.1:1721";
    ASSERT_FALSE(caller.Call(callee.Address()).IsEmpty());
    EXPECT_EQ(caller.events.WaitFor("forwarded "), "forwarded carol@ip$127.0.0.1:1721");
    EXPECT_EQ(WaitCleared(caller), R::EndedByCallForwarded);
    EXPECT_NE(WaitCleared(callee), -1);
}

struct InputCase {
    const char *name;
    H323EndPoint::SendUserInputModes mode;
    const char *expect; ///< the callee's first user-input event
};

static void PrintTo(const InputCase &c, std::ostream *os) { *os << c.name; }

class UserInput : public ::testing::TestWithParam<InputCase>
{
};

TEST_P(UserInput, ArrivesInTheModeInForce)
{
    const InputCase &c = GetParam();
    TestEndPoint caller("alice"), callee("bob");
    caller.SetSendUserInputMode(c.mode);
    PString token = caller.Call(callee.Address());
    ASSERT_FALSE(caller.events.WaitFor("established").empty());
    // Wait for the capability exchange that fast start leaves to follow.
    for (int i = 0; i < 100; i++) {
        H323Connection *conn = caller.FindConnectionWithLock(token);
        ASSERT_NE(conn, nullptr);
        bool known = conn->GetRemoteCapabilities().GetSize() > 0;
        conn->Unlock();
        if (known)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    H323Connection *conn = caller.FindConnectionWithLock(token);
    ASSERT_NE(conn, nullptr);
    conn->SendUserInputTone('5');
    conn->SendUserInput("hello");
    conn->Unlock();
    EXPECT_EQ(callee.events.WaitFor(c.expect), c.expect);
    EXPECT_EQ(callee.events.WaitFor("string hello"), "string hello");
    // A received tone is handed on as a one-character string.
    EXPECT_EQ(callee.events.WaitFor("string 5"), "string 5");
}

INSTANTIATE_TEST_SUITE_P(Modes, UserInput,
                         ::testing::Values(InputCase{"asString", H323EndPoint::SendUserInputAsString, "string 5"},
                                           InputCase{"asTone", H323EndPoint::SendUserInputAsTone, "tone 5"},
                                           InputCase{"asQ931", H323EndPoint::SendUserInputAsQ931, "string 5"}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(Calls, IncomingSetupGivesTheCallingPartyNumber)
{
    // A numeric alias goes out as the Calling Party Number, which the called side reads
    // from the Setup in CreateConnection (the phone's filter).
    struct Filter : TestEndPoint {
        Filter() : TestEndPoint("bob") {}
        H323Connection *CreateConnection(unsigned ref, void *userData, H323Transport *transport,
                                         H323SignalPDU *setup) override
        {
            if (setup != nullptr) {
                PString number;
                setup->GetQ931().GetCallingPartyNumber(number);
                events.Add("calling " + std::string(number.GetText()));
            }
            return TestEndPoint::CreateConnection(ref, userData, transport, setup);
        }
    } callee;
    TestEndPoint caller("8613800138000");
    ASSERT_FALSE(caller.Call(callee.Address()).IsEmpty());
    EXPECT_EQ(callee.events.WaitFor("calling"), "calling 8613800138000");
    EXPECT_FALSE(caller.events.WaitFor("established").empty());
}

namespace {

/// The Null player, stalled once (as a loaded machine stalls a thread): its writes block
/// from then on, as a full sound card's do, while the frames due meanwhile are played.
class StallingPlayer : public PSoundChannel
{
  public:
    static constexpr int kStallAt = 25;
    BOOL Write(const void *buf, PINDEX len) override
    {
        if (++writes == kStallAt)
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
        return PSoundChannel::Write(buf, len);
    }
    std::atomic<int> writes{0};
};

class StallingEndPoint : public TestEndPoint
{
  public:
    using TestEndPoint::TestEndPoint;
    BOOL OpenAudioChannel(H323Connection &c, BOOL isEncoding, unsigned bufferSize,
                          H323AudioCodec &codec) override
    {
        if (isEncoding)
            return TestEndPoint::OpenAudioChannel(c, isEncoding, bufferSize, codec);
        auto *sound = new StallingPlayer;
        sound->SetBuffers(PINDEX(bufferSize), PINDEX(GetSoundChannelBufferDepth()));
        if (!sound->Open("Null", PSoundChannel::Player, 1, 8000, 16)) {
            delete sound;
            return FALSE;
        }
        player = sound;
        return codec.AttachChannel(sound, TRUE);
    }
    std::atomic<StallingPlayer *> player{nullptr};
};

} // namespace

// Once the player has fallen behind, each frame played waits for room; the transmitter on the
// same media thread still sends a packet for each frame played, not one for every few.
TEST(Calls, AReceiverBehindItsPlayerLeavesTheTransmitterItsPace)
{
    StallingEndPoint caller("alice");
    TestEndPoint callee("bob");
    PString token = caller.Call(callee.Address());
    ASSERT_FALSE(caller.events.WaitFor("established").empty());
    H323Connection *conn = caller.FindConnectionWithLock(token);
    ASSERT_NE(conn, nullptr);
    H323Channel *transmitter = conn->FindChannel(1, FALSE);
    ASSERT_NE(transmitter, nullptr);
    RTP_Session &session = static_cast<H323_RTPChannel *>(transmitter)->GetSession();
    conn->Unlock();
    auto writesReach = [&](int n) {
        for (int i = 0; i < 3000; i++) {
            StallingPlayer *p = caller.player;
            if (p != nullptr && p->writes >= n)
                return p->writes.load();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return -1;
    };
    const int from = writesReach(StallingPlayer::kStallAt + 1);
    ASSERT_NE(from, -1) << "the player was not written to";
    const DWORD sentFrom = session.GetPacketsSent();
    const int to = writesReach(from + 50);
    ASSERT_NE(to, -1) << "the player stopped";
    const DWORD sent = session.GetPacketsSent() - sentFrom;
    EXPECT_GE(sent, DWORD(to - from) / 2) << "packets sent while " << to - from << " frames played";
    caller.ClearCall(token);
    EXPECT_NE(WaitCleared(caller), -1);
}

// One media thread serves both directions of a call's audio; either direction ending leaves
// the other going on its own.
TEST(Calls, AudioGoesOnInOneDirectionWhenTheOtherChannelCloses)
{
    struct Case {
        const char *name;
        BOOL closeReceiver; ///< the caller closes its receiving channel, else its transmitting one
    };
    const Case cases[] = {{"transmitter closed", FALSE}, {"receiver closed", TRUE}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TestEndPoint caller("alice"), callee("bob");
        PString token = caller.Call(callee.Address());
        ASSERT_FALSE(caller.events.WaitFor("established").empty());
        H323Connection *conn = caller.FindConnectionWithLock(token);
        ASSERT_NE(conn, nullptr);
        H323Channel *closing = conn->FindChannel(1, c.closeReceiver);
        H323Channel *going = conn->FindChannel(1, !c.closeReceiver);
        ASSERT_NE(closing, nullptr);
        ASSERT_NE(going, nullptr);
        RTP_Session &session = static_cast<H323_RTPChannel *>(going)->GetSession();
        conn->CloseLogicalChannel(closing->GetNumber().number, c.closeReceiver);
        conn->Unlock();
        // Counted as they are sent or taken from the socket: both move only while served.
        auto count = [&] {
            return c.closeReceiver ? session.GetPacketsSent() : session.GetPacketsReceived();
        };
        DWORD before = count();
        for (int i = 0; i < 200 && count() < before + 10; i++)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_GE(count(), before + 10) << "the other direction stopped";
        caller.ClearCall(token);
        EXPECT_NE(WaitCleared(caller), -1);
    }
}
