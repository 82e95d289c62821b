// The call engine against a scripted masked gatekeeper: the service's values in the confirms,
// registration results, the gatekeeper's unregistration, admission rejects, the NAT link.
#include "call_engine_support.h"
#include "../h323/stack/raw_peer.h"
#include "../h323/stack/stack_support.h"

#include <core/endpoint.h>
#include <core/gatekeeper.h>
#include <core/nat_link.h>
#include <core/traffic_masking.h>
#include <core/window_messages.h>

#include <h323/asn1/gen/h245.h>
#include <h323/callsig/connection.h>
#include <h323/codecs/gsm0610.h>
#include <h323/codecs/h261codec.h>
#include <h323/codecs/h263codec.h>
#include <h323/pdu/addresses.h>
#include <h323/transports/transport_address.h>

#include <win/winmsg.h>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <thread>

using namespace enginetest;
using Clock = std::chrono::steady_clock;

namespace
{

constexpr unsigned kDuplicateAlias = 4;
constexpr unsigned kSecurityDenial = 11;
constexpr unsigned kFullRegistrationRequired = 12;
constexpr unsigned kCalledPartyNotRegistered = 0;
constexpr unsigned kInvalidPermission = 1;

long long MillisecondsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

/// The program's endpoint, noting what a placed call is as soon as its connection exists and
/// how each incoming call was decided; it can cut an incoming call's signalling just before
/// the decision, so that a forward cannot be written.
class ProbedEndPoint : public CEndPoint
{
  public:
    struct Decision {
        bool offered;         ///< OnIncomingCall gave TRUE
        bool offeredToken;    ///< the call is the one offered to the user
        unsigned endReason;   ///< when it was decided
    };

    H323Connection *CreateConnection(unsigned ref, void *userData, H323Transport *transport,
                                     H323SignalPDU *setup) override
    {
        H323Connection *c = CEndPoint::CreateConnection(ref, userData, transport, setup);
        // From here on the call's thread may run and end the call at any time.
        if (setup == nullptr && c != nullptr && IsIdle() == 0 &&
            GetCurrentCallToken() == c->GetCallToken())
            placedBusyAndCurrent++;
        return c;
    }
    BOOL OnIncomingCall(H323Connection &c, const H323SignalPDU &setup,
                        H323SignalPDU &alerting) override
    {
        if (cutBeforeDeciding)
            c.GetSignallingChannel()->Close();
        BOOL offered = CEndPoint::OnIncomingCall(c, setup, alerting);
        std::lock_guard<std::mutex> lock(mutex);
        decisions.push_back({offered != FALSE, GetOfferedCallToken() == c.GetCallToken(),
                             unsigned(c.GetCallEndReason())});
        decided.notify_all();
        return offered;
    }
    /// The first incoming call's decision; false when none came within timeoutMs.
    bool WaitForDecision(Decision &d, int timeoutMs = 5000)
    {
        std::unique_lock<std::mutex> lock(mutex);
        if (!decided.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [this] { return !decisions.empty(); }))
            return false;
        d = decisions.front();
        return true;
    }

    std::atomic<int> placedBusyAndCurrent{0};
    std::atomic<bool> cutBeforeDeciding{false};

  private:
    std::mutex mutex;
    std::condition_variable decided;
    std::vector<Decision> decisions;
};

class CallEngine : public ::testing::Test
{
  protected:
    CallEngine()
    {
        EnsureApplication();
        window.reset(new RecordingWindow);
        endpoint.reset(new ProbedEndPoint);
        endpoint->Initialise(window.get(), settings.get());
        // As the main dialog does: the gatekeeper's unregistration starts a new registration.
        window->onMessage = [this](const RecordingWindow::Record &r) {
            if (r.message == WM_START_REGISTRATION && gatekeeper)
                StartRegistration(gatekeeper->Address());
        };
    }

    ~CallEngine() override
    {
        JoinWorker();
        endpoint.reset();
    }

    void JoinWorker()
    {
        if (worker.joinable()) {
            WaitUntil([this] { return workerDone.load(); }, 30000);
            worker.join();
        }
    }

    /// The registration worker of the main dialog, for one gatekeeper address.
    void StartRegistration(const std::string &address, const std::string &user = "8001",
                           const std::string &password = "secret")
    {
        JoinWorker();
        workerDone = false;
        HWND hwnd = window->GetSafeHwnd();
        worker = std::thread([this, address, user, password, hwnd] {
            endpoint->RemoveGatekeeper(-1);
            endpoint->SetLocalUserName(user.c_str());
            if (!password.empty())
                endpoint->SetGatekeeperPassword(password.c_str());
            if (!endpoint->UseGatekeeper(address.c_str(), PString(), PString()))
                ::PostMessage(hwnd, WM_REGISTRATION_FAILED, 0, 0);
            workerDone = true;
        });
    }

    /// Registers with a scripted gatekeeper and waits for the worker to finish.
    void Register(const ScriptedGatekeeper::Script &script)
    {
        gatekeeper.reset(new ScriptedGatekeeper(script));
        StartRegistration(gatekeeper->Address());
        ASSERT_TRUE(WaitUntil([this] { return workerDone.load(); }, 20000));
    }

    CGatekeeper *Gatekeeper() { return dynamic_cast<CGatekeeper *>(endpoint->GetGatekeeper()); }

    ScratchSettings settings;
    std::unique_ptr<RecordingWindow> window;
    std::unique_ptr<ProbedEndPoint> endpoint;
    std::unique_ptr<ScriptedGatekeeper> gatekeeper;
    std::thread worker;
    std::atomic<bool> workerDone{true};
};

} // namespace

TEST_F(CallEngine, InitialiseTurnsMaskingOnAndConfiguresTheStack)
{
    EXPECT_EQ(GetTrafficMasking(), 1);
    EXPECT_EQ(endpoint->GetInitialBandwidth(), 30000u);
    EXPECT_EQ(endpoint->GetMinAudioJitterDelay(), 50u);
    EXPECT_EQ(endpoint->GetMaxAudioJitterDelay(), 250u);
    EXPECT_EQ(endpoint->GetSoundChannelBufferDepth(), 10u);
    EXPECT_EQ(endpoint->GetSilenceDetectionMode(), H323AudioCodec::NoSilenceDetection);
    EXPECT_FALSE(endpoint->IsFastStartDisabled());
    EXPECT_FALSE(endpoint->GetInterfaceAddresses().empty());
    EXPECT_EQ(endpoint->IsIdle(), 1);
    EXPECT_FALSE(endpoint->IsGatekeeperRegistered());
}

TEST_F(CallEngine, MakeCallWithoutANumberDoesNothing)
{
    EXPECT_EQ(endpoint->MakeCall(nullptr), 0);
    EXPECT_EQ(endpoint->MakeCall(""), 0);
    EXPECT_EQ(endpoint->IsIdle(), 1);
    endpoint->ClearCurrentCall();
    endpoint->SendDtmfTone('5');
    RunFor(100);
    EXPECT_TRUE(window->records.empty());
}

TEST_F(CallEngine, ACallClearedAsSoonAsItIsPlacedLeavesThePhoneIdle)
{
    // Nobody listens there: each call is cleared by its own thread at once, maybe before
    // MakeCall has returned.
    uint16_t port;
    {
        NatFarEnd gone;
        port = gone.Port();
    }
    const std::string party = "ip$127.0.0.1:" + std::to_string(port);
    for (int call = 1; call <= 20; call++) {
        ASSERT_EQ(endpoint->MakeCall(party.c_str()), 1);
        EXPECT_EQ(endpoint->placedBusyAndCurrent, call)
            << "call " << call << " was not current and the phone busy before its thread ran";
        ASSERT_NE(window->WaitFor(WM_CALL_CLEARED, call, 15000), nullptr) << "call " << call;
        EXPECT_EQ(endpoint->IsIdle(), 1) << "call " << call;
        EXPECT_TRUE(endpoint->GetCurrentCallToken().IsEmpty()) << "call " << call;
    }
}

TEST_F(CallEngine, APeersReleaseReachesTheWindowWhileThePeerStillHoldsItsConnections)
{
    // The callee answers with fast start, names an H.245 channel it never serves, releases
    // and keeps every connection open.
    stacktest::TestEndPoint lender("8002"); // builds the callee's messages
    lender.DisableH245Tunneling(TRUE);
    stacktest::RawCallee callee(lender);
    PUDPSocket media;
    PTCPSocket h245;
    ASSERT_TRUE(media.Listen(PIPSocket::Address(127, 0, 0, 1)));
    ASSERT_TRUE(h245.Listen(PIPSocket::Address(127, 0, 0, 1), 1));
    ASSERT_EQ(endpoint->MakeCall(callee.Address()), 1);
    H323SignalPDU setup;
    unsigned ref = callee.AcceptSetup(&setup);
    ASSERT_NE(ref, 0u);
    callee.SendFastConnect(ref, setup, media.GetPort(), h245.GetPort());
    PTCPSocket control;
    h245.SetReadTimeout(5000);
    ASSERT_TRUE(control.Accept(h245)) << "no H.245 channel opened";
    ASSERT_NE(window->WaitFor(WM_CALL_CONNECTED), nullptr);

    Clock::time_point released = Clock::now();
    callee.SendReleaseComplete(ref);
    const RecordingWindow::Record *cleared = window->WaitFor(WM_CALL_CLEARED, 1, 10000);
    ASSERT_NE(cleared, nullptr);
    EXPECT_LT(MillisecondsSince(released), H323Connection::GracefulCloseTime)
        << "the window heard of the end only after the graceful close";
    EXPECT_EQ(cleared->wParam, WPARAM(H323CallEndReasons::EndedByRemoteUser));
    EXPECT_EQ(endpoint->IsIdle(), 1);
    EXPECT_TRUE(endpoint->GetCurrentCallToken().IsEmpty());
}

struct FailedForwardCase {
    const char *name;
    bool busy; ///< a call we placed is in progress
    const char *forwardAlways;
    const char *forwardBusy;
    bool offered; ///< left for the user to answer (else refused busy)
};

void PrintTo(const FailedForwardCase &c, std::ostream *os) { *os << c.name; }

class FailedForward : public CallEngine, public ::testing::WithParamInterface<FailedForwardCase>
{
};

// The caller's connection is gone when the forward is to be written.
TEST_P(FailedForward, LeavesTheCallToBeAnsweredOrRefusesItBusy)
{
    const FailedForwardCase &c = GetParam();
    {
        auto rules = settings->LockCallRules();
        settings->m_strForwardAlways = c.forwardAlways;
        settings->m_strForwardBusy = c.forwardBusy;
    }
    stacktest::TestEndPoint lender("8002"); // builds the peers' messages
    lender.DisableH245Tunneling(TRUE);
    std::unique_ptr<stacktest::RawCallee> held;
    if (c.busy) {
        held.reset(new stacktest::RawCallee(lender));
        ASSERT_EQ(endpoint->MakeCall(held->Address()), 1);
        ASSERT_NE(held->AcceptSetup(), 0u);
        ASSERT_EQ(endpoint->IsIdle(), 0);
    }
    endpoint->cutBeforeDeciding = true;
    stacktest::RawCaller caller(lender);
    ASSERT_TRUE(caller.Call(psprintf("ip$127.0.0.1:%u",
                                     unsigned(endpoint->GetInterfaceAddresses().front().GetPort()))));
    ProbedEndPoint::Decision d{};
    ASSERT_TRUE(endpoint->WaitForDecision(d));
    EXPECT_EQ(d.offered, c.offered);
    EXPECT_EQ(d.offeredToken, c.offered) << "an offered call the user can answer";
    EXPECT_EQ(d.endReason, c.offered ? unsigned(H323CallEndReasons::NumCallEndReasons)
                                     : unsigned(H323CallEndReasons::EndedByLocalBusy));
    if (c.offered) {
        EXPECT_NE(window->WaitFor(WM_CALL_RINGING_IN), nullptr);
        EXPECT_NE(window->WaitFor(WM_CALL_CLEARED), nullptr) << "the caller is gone";
    } else {
        // The refused call is gone and the placed one goes on; the user heard of neither.
        EXPECT_TRUE(WaitUntil([this] { return endpoint->GetActiveConnections() == 1; }));
        EXPECT_EQ(window->Count(WM_CALL_RINGING_IN), 0);
        EXPECT_EQ(window->Count(WM_CALL_CLEARED), 0);
        EXPECT_EQ(endpoint->IsIdle(), 0);
    }
    EXPECT_EQ(window->Count(WM_CALL_FORWARDED), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, FailedForward,
    ::testing::Values(FailedForwardCase{"alwaysWhileIdleIsOffered", false, "8003", "", true},
                      FailedForwardCase{"alwaysWhileBusyIsRefusedBusy", true, "8003", "", false},
                      FailedForwardCase{"onBusyIsRefusedBusy", true, "", "8003", false}),
    [](const auto &info) { return std::string(info.param.name); });

struct RcfTextCase {
    const char *name;
    const char *text;
    const char *balance; ///< nullptr: no WM_SHOW_BALANCE
    bool natLink;
};

static void PrintTo(const RcfTextCase &c, std::ostream *os) { *os << c.name; }

class RegistrationConfirm : public CallEngine, public ::testing::WithParamInterface<RcfTextCase>
{
};

TEST_P(RegistrationConfirm, ShowsTheBalanceAndStartsTheNatLinkOnlyForAHintAtTheStart)
{
    const RcfTextCase &c = GetParam();
    NatFarEnd farEnd;
    ScriptedGatekeeper::Script script;
    script.hasRcfText = true;
    script.rcfText = c.text;
    script.rcfSignalPort = farEnd.Port();
    Register(script);

    ASSERT_NE(window->WaitFor(WM_GK_REGISTERED), nullptr);
    EXPECT_TRUE(endpoint->IsGatekeeperRegistered());
    const RecordingWindow::Record *balance = window->Find(WM_SHOW_BALANCE);
    if (c.balance == nullptr) {
        EXPECT_EQ(balance, nullptr);
    } else {
        ASSERT_NE(balance, nullptr);
        EXPECT_EQ(balance->text, c.balance);
        EXPECT_EQ(balance->lParam, 0);
        EXPECT_EQ(window->Count(WM_SHOW_BALANCE), 1);
    }
    // The balance is shown before the registration is reported.
    if (balance != nullptr) {
        EXPECT_LT(balance - &window->records[0],
                  window->Find(WM_GK_REGISTERED) - &window->records[0]);
    }

    CGatekeeper *gk = Gatekeeper();
    ASSERT_NE(gk, nullptr);
    EXPECT_EQ(gk->HasNatLink(), c.natLink);
    EXPECT_EQ(std::string(gk->GetNatEndpointIdentifier()), "EP00000001");
    if (c.natLink) {
        EXPECT_TRUE(farEnd.WaitForBytes(0, 24));
    } else {
        EXPECT_FALSE(farEnd.WaitForBytes(0, 1, 500));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, RegistrationConfirm,
    ::testing::Values(
        RcfTextCase{"hintAndAmount", "NAT=1;h323-credit-amount=12.50;", "12.50", true},
        RcfTextCase{"hintNotAtTheStart", "h323-credit-amount=7.00;NAT=1;", "7.00", false},
        RcfTextCase{"amountWithoutTerminator", "h323-credit-amount=3.25", "3.25", false},
        RcfTextCase{"hintOnly", "NAT=1", nullptr, true},
        RcfTextCase{"emptyAmount", "h323-credit-amount=;x=1;", "", false},
        RcfTextCase{"otherKeys", "h323-credit-time=60;", nullptr, false}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(CallEngine, NatLinkAnnouncesTheEndpointIdentifierMasked)
{
    NatFarEnd farEnd;
    ScriptedGatekeeper::Script script;
    script.endpointId = "EP12345678"; // 10 characters
    script.hasRcfText = true;
    script.rcfText = "NAT=1;";
    script.rcfSignalPort = farEnd.Port();
    Register(script);
    ASSERT_TRUE(farEnd.WaitForBytes(0, 24));

    std::vector<uint8_t> wire = farEnd.Bytes(0);
    ASSERT_EQ(wire.size(), 24u);
    std::vector<uint8_t> plain(wire.size());
    for (size_t i = 0; i < wire.size(); i++)
        plain[i] = uint8_t(wire[i] ^ 0xB4);
    const std::vector<uint8_t> expected = {0x03, 0x00, 0x00, 0x18, 0x08, 0x02, 0x00, 0x00,
                                           0x7B, 0x14, 0x01, 0x09, 0x1C, 0x0A, 'E',  'P',
                                           '1',  '2',  '3',  '4',  '5',  '6',  '7',  '8'};
    EXPECT_EQ(plain, expected);
}

TEST_F(CallEngine, DataOnTheLinkHandsItOverAndALinkIsOpenedAgainAtOnce)
{
    NatFarEnd farEnd;
    ScriptedGatekeeper::Script script;
    script.hasRcfText = true;
    script.rcfText = "NAT=1;";
    script.rcfSignalPort = farEnd.Port();
    Register(script);
    ASSERT_TRUE(farEnd.WaitForBytes(0, 24));

    // Not a Setup: the stack drops the link, and the thread announces on a new one.
    ASSERT_TRUE(farEnd.Write(0, {0x03 ^ 0xB4, 0x00 ^ 0xB4, 0x00 ^ 0xB4, 0x05 ^ 0xB4, 0x01}));
    ASSERT_TRUE(farEnd.WaitForBytes(1, 24, 3000));
    EXPECT_EQ(farEnd.Bytes(1).size(), 24u);
    EXPECT_TRUE(WaitUntil([&] { return farEnd.Bytes(0).size() == 24 && farEnd.Links() == 2; }));
}

TEST_F(CallEngine, StoppingTheLinkWhileItWaitsForDataTakesLessThanASecond)
{
    NatFarEnd farEnd;
    ScriptedGatekeeper::Script script;
    script.hasRcfText = true;
    script.rcfText = "NAT=1;";
    script.rcfSignalPort = farEnd.Port();
    Register(script);
    ASSERT_TRUE(farEnd.WaitForBytes(0, 24));
    RunFor(300);

    Clock::time_point start = Clock::now();
    endpoint->RemoveGatekeeper(-1);
    EXPECT_LT(MillisecondsSince(start), 1000);
    EXPECT_EQ(endpoint->GetGatekeeper(), nullptr);
}

TEST_F(CallEngine, LinkWithoutAFarEndPausesAndStopsAtOnce)
{
    ScriptedGatekeeper::Script script;
    script.hasRcfText = true;
    script.rcfText = "NAT=1;";
    Register(script); // no call-signalling address: every connect fails
    ASSERT_NE(Gatekeeper(), nullptr);
    EXPECT_TRUE(Gatekeeper()->HasNatLink());
    RunFor(300);

    Clock::time_point start = Clock::now();
    endpoint->RemoveGatekeeper(-1);
    EXPECT_LT(MillisecondsSince(start), 1000);
}

TEST(NatLinkThread, StopsWithinASecondWhateverItIsDoing)
{
    // A far end that accepts nothing: connects fail at once and the thread pauses.
    NatFarEnd farEnd;
    uint16_t deadPort = farEnd.Port();
    H225_TransportAddress refused;
    {
        NatFarEnd gone;
        deadPort = gone.Port();
    }
    refused = h323::MakeTransportAddress({{127, 0, 0, 1}, deadPort});
    CEndPoint endpoint;
    for (int i = 0; i < 20; i++) {
        // Stop right after the start, at every point of the first cycle.
        NATHandlingThread *thread = new NATHandlingThread(&endpoint, &refused, nullptr);
        std::this_thread::sleep_for(std::chrono::milliseconds(i));
        Clock::time_point start = Clock::now();
        MyPThread::StopAndDelete(thread);
        EXPECT_LT(MillisecondsSince(start), 1000) << "after " << i << " ms";
    }
}

struct RejectCase {
    const char *name;
    unsigned reason;
    int accountInUse; ///< WM_ACCOUNT_IN_USE wParam, 0: none
};

static void PrintTo(const RejectCase &c, std::ostream *os) { *os << c.name; }

class RegistrationReject : public CallEngine, public ::testing::WithParamInterface<RejectCase>
{
};

TEST_P(RegistrationReject, ReportsTheAccountInUseByReason)
{
    const RejectCase &c = GetParam();
    ScriptedGatekeeper::Script script;
    script.rrjReason = int(c.reason);
    Register(script);
    ASSERT_NE(window->WaitFor(WM_REGISTRATION_FAILED), nullptr);
    const RecordingWindow::Record *inUse = window->Find(WM_ACCOUNT_IN_USE);
    if (c.accountInUse == 0) {
        EXPECT_EQ(inUse, nullptr);
    } else {
        ASSERT_NE(inUse, nullptr);
        EXPECT_EQ(inUse->wParam, WPARAM(c.accountInUse));
        EXPECT_EQ(inUse->lParam, 0);
    }
    EXPECT_EQ(window->Count(WM_GK_REGISTERED), 0);
    EXPECT_FALSE(endpoint->IsGatekeeperRegistered());
}

INSTANTIATE_TEST_SUITE_P(Reasons, RegistrationReject,
                         ::testing::Values(RejectCase{"duplicateAlias", kDuplicateAlias, 102},
                                           RejectCase{"securityDenial", kSecurityDenial, 103},
                                           RejectCase{"fullRegistrationRequired",
                                                      kFullRegistrationRequired, 0}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(CallEngine, UnregistrationByTheGatekeeperIsFollowedByANewRegistration)
{
    ScriptedGatekeeper::Script script;
    Register(script);
    ASSERT_NE(window->WaitFor(WM_GK_REGISTERED), nullptr);

    ASSERT_TRUE(gatekeeper->SendUnregistration());
    ASSERT_NE(window->WaitFor(WM_GK_UNREGISTERED), nullptr);
    ASSERT_NE(window->WaitFor(WM_START_REGISTRATION), nullptr);
    ASSERT_NE(window->WaitFor(WM_GK_REGISTERED, 2, 10000), nullptr);
    EXPECT_EQ(gatekeeper->CountOf("registrationRequest"), 2);
    EXPECT_TRUE(endpoint->IsGatekeeperRegistered());

    std::vector<UINT> order;
    for (UINT m : window->Messages())
        if (m == WM_GK_REGISTERED || m == WM_GK_UNREGISTERED || m == WM_START_REGISTRATION)
            order.push_back(m);
    EXPECT_EQ(order, (std::vector<UINT>{WM_GK_REGISTERED, WM_GK_UNREGISTERED, WM_START_REGISTRATION,
                                        WM_GK_REGISTERED}));
}

struct AdmissionCase {
    const char *name;
    int arjReason; ///< -1: ACF
    bool reject104;
    WPARAM clearedReason;
    LPARAM clearedFlag;
};

static void PrintTo(const AdmissionCase &c, std::ostream *os) { *os << c.name; }

class Admission : public CallEngine, public ::testing::WithParamInterface<AdmissionCase>
{
};

TEST_P(Admission, RejectsAndConfirmsReachTheWindow)
{
    const AdmissionCase &c = GetParam();
    ScriptedGatekeeper::Script script;
    script.arjReason = c.arjReason;
    script.hasAcfText = true;
    script.acfText = "h323-credit-amount=5.00;h323-credit-time=3600";
    {
        NatFarEnd gone; // a port nobody listens on once it is gone
        script.acfDestinationPort = gone.Port();
    }
    Register(script);
    ASSERT_NE(window->WaitFor(WM_GK_REGISTERED), nullptr);

    ASSERT_EQ(endpoint->MakeCall("8002"), 1);
    EXPECT_EQ(endpoint->IsIdle(), 0);
    const RecordingWindow::Record *cleared = window->WaitFor(WM_CALL_CLEARED, 1, 15000);
    ASSERT_NE(cleared, nullptr);
    EXPECT_EQ(cleared->wParam, c.clearedReason);
    EXPECT_EQ(cleared->lParam, c.clearedFlag);
    EXPECT_EQ(window->Count(WM_GK_REJECT_104), c.reject104 ? 1 : 0);
    if (c.reject104) {
        EXPECT_EQ(window->Find(WM_GK_REJECT_104)->wParam, 104u);
    }
    if (c.arjReason < 0) {
        ASSERT_NE(window->Find(WM_SHOW_BALANCE), nullptr);
        EXPECT_EQ(window->Find(WM_SHOW_BALANCE)->text, "5.00");
        ASSERT_NE(window->Find(WM_SHOW_TIME), nullptr);
        EXPECT_EQ(window->Find(WM_SHOW_TIME)->text, "3600");
    } else {
        EXPECT_EQ(window->Find(WM_SHOW_TIME), nullptr);
    }
    EXPECT_EQ(endpoint->IsIdle(), 1);
    EXPECT_TRUE(endpoint->GetCurrentCallToken().IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Answers, Admission,
    ::testing::Values(
        // Admitted, but nobody listens at the destination.
        AdmissionCase{"confirmedToNobody", -1, false, H323CallEndReasons::EndedByNoEndPoint, 1},
        // invalidPermission ends the call as a security denial, which the dialog is not shown.
        AdmissionCase{"invalidPermission", int(kInvalidPermission), true, 0, 0},
        AdmissionCase{"calledPartyNotRegistered", int(kCalledPartyNotRegistered), false,
                      H323CallEndReasons::EndedByNoUser, 1}),
    [](const auto &info) { return std::string(info.param.name); });

namespace
{

/// The far end of the phone's calls: answers at once in GSM 06.10, on the null devices.
class Answerer : public H323EndPoint
{
  public:
    Answerer()
    {
        SetSoundChannelPlayDevice("Null");
        SetSoundChannelRecordDevice("Null");
        SetCapability(0, 0, new H323_GSM0610Capability);
        EXPECT_TRUE(StartListener(H323TransportAddress("ip$127.0.0.1:0")));
    }
    ~Answerer() override { ClearAllCalls(H323CallEndReasons::EndedByLocalUser, TRUE); }
    uint16_t Port() const { return uint16_t(GetInterfaceAddresses().front().GetPort()); }
};

constexpr unsigned kCallerNotRegistered = 4;
constexpr unsigned kDisengageNotRegistered = 0;

std::vector<UINT> RegistrationMessages(const RecordingWindow &window)
{
    std::vector<UINT> order;
    for (UINT m : window.Messages())
        if (m == WM_GK_REGISTERED || m == WM_GK_UNREGISTERED || m == WM_START_REGISTRATION ||
            m == WM_REGISTRATION_FAILED)
            order.push_back(m);
    return order;
}

enum class Loss { AdmissionRejected, DisengageRejected, KeepAliveUnanswered, GatekeeperRestarted };

struct LossCase {
    const char *name;
    Loss loss;
};

void PrintTo(const LossCase &c, std::ostream *os) { *os << c.name; }

class LostRegistration : public CallEngine, public ::testing::WithParamInterface<LossCase>
{
};

} // namespace

TEST_P(LostRegistration, TellsTheWindowAtOnceAndRegistersAgainByItself)
{
    const LossCase &c = GetParam();
    Answerer far;
    ScriptedGatekeeper::Script script;
    script.timeToLive = 2; // a keep-alive every second
    script.acfDestinationPort = far.Port();
    Register(script);
    ASSERT_NE(window->WaitFor(WM_GK_REGISTERED), nullptr);
    // Keep-alives confirm the registration without telling the window again.
    ASSERT_TRUE(gatekeeper->WaitForRequest("registrationRequest", 3, 5000));
    RunFor(100);
    EXPECT_EQ(window->Count(WM_GK_REGISTERED), 1);

    ScriptedGatekeeper::Script lost = script;
    switch (c.loss) {
    case Loss::AdmissionRejected:
        lost.arjReason = int(kCallerNotRegistered);
        gatekeeper->SetScript(lost);
        ASSERT_EQ(endpoint->MakeCall("8002"), 1);
        break;
    case Loss::DisengageRejected:
        lost.drjReason = int(kDisengageNotRegistered);
        gatekeeper->SetScript(lost);
        ASSERT_EQ(endpoint->MakeCall("8002"), 1);
        ASSERT_NE(window->WaitFor(WM_CALL_CONNECTED, 1, 10000), nullptr);
        endpoint->ClearCurrentCall();
        break;
    case Loss::KeepAliveUnanswered:
        lost.silent = true;
        gatekeeper->SetScript(lost);
        break;
    case Loss::GatekeeperRestarted:
        lost.forgetEndpoint = true;
        gatekeeper->SetScript(lost);
        break;
    }
    ASSERT_NE(window->WaitFor(WM_GK_UNREGISTERED, 1, 15000), nullptr);
    if (c.loss == Loss::KeepAliveUnanswered) {
        EXPECT_FALSE(endpoint->IsGatekeeperRegistered());
        gatekeeper->SetScript(script);
    }
    ASSERT_NE(window->WaitFor(WM_GK_REGISTERED, 2, 15000), nullptr);
    EXPECT_TRUE(endpoint->IsGatekeeperRegistered());
    EXPECT_EQ(RegistrationMessages(*window),
              (std::vector<UINT>{WM_GK_REGISTERED, WM_GK_UNREGISTERED, WM_GK_REGISTERED}))
        << "the stack registers again itself, no new registration is started";
}

INSTANTIATE_TEST_SUITE_P(
    Losses, LostRegistration,
    ::testing::Values(LossCase{"admissionRejectedCallerNotRegistered", Loss::AdmissionRejected},
                      LossCase{"disengageRejectedNotRegistered", Loss::DisengageRejected},
                      LossCase{"keepAliveUnanswered", Loss::KeepAliveUnanswered},
                      LossCase{"gatekeeperRestarted", Loss::GatekeeperRestarted}),
    [](const auto &info) { return std::string(info.param.name); });

namespace
{

struct UnregistrationCase {
    const char *name;
    ScriptedGatekeeper::Unregistration kind;
    bool accepted;
    const char *answer; ///< what the phone sends back, "" for nothing
};

void PrintTo(const UnregistrationCase &c, std::ostream *os) { *os << c.name; }

class UnregistrationDuringACall : public CallEngine,
                                  public ::testing::WithParamInterface<UnregistrationCase>
{
};

} // namespace

TEST_P(UnregistrationDuringACall, ReachesTheWindowAndTheCallOnlyWhenItIsThisRegistrations)
{
    const UnregistrationCase &c = GetParam();
    Answerer far;
    ScriptedGatekeeper::Script script;
    script.acfDestinationPort = far.Port();
    Register(script);
    ASSERT_NE(window->WaitFor(WM_GK_REGISTERED), nullptr);
    ASSERT_EQ(endpoint->MakeCall("8002"), 1);
    ASSERT_NE(window->WaitFor(WM_CALL_CONNECTED, 1, 10000), nullptr);

    ASSERT_TRUE(gatekeeper->SendUnregistration(c.kind));
    if (*c.answer != '\0') {
        EXPECT_TRUE(gatekeeper->WaitForRequest(c.answer));
    }
    if (c.accepted) {
        EXPECT_NE(window->WaitFor(WM_GK_UNREGISTERED), nullptr);
        EXPECT_NE(window->WaitFor(WM_START_REGISTRATION), nullptr);
        EXPECT_NE(window->WaitFor(WM_CALL_CLEARED), nullptr);
        return;
    }
    RunFor(500);
    EXPECT_EQ(window->Count(WM_GK_UNREGISTERED), 0);
    EXPECT_EQ(window->Count(WM_START_REGISTRATION), 0);
    EXPECT_EQ(window->Count(WM_CALL_CLEARED), 0);
    EXPECT_EQ(endpoint->IsIdle(), 0) << "the call goes on";
    EXPECT_TRUE(endpoint->IsGatekeeperRegistered());
    EXPECT_EQ(gatekeeper->CountOf("unregistrationConfirm"), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Requests, UnregistrationDuringACall,
    ::testing::Values(
        UnregistrationCase{"current", ScriptedGatekeeper::Unregistration::Current, true,
                           "unregistrationConfirm"},
        UnregistrationCase{"staleEndpointIdentifier", ScriptedGatekeeper::Unregistration::Stale,
                           false, "unregistrationReject"},
        UnregistrationCase{"noEndpointIdentifier", ScriptedGatekeeper::Unregistration::NoIdentifier,
                           false, "unregistrationReject"},
        UnregistrationCase{"fromAnotherAddress", ScriptedGatekeeper::Unregistration::FromElsewhere,
                           false, ""}),
    [](const auto &info) { return std::string(info.param.name); });

struct AlternateCase {
    const char *name;
    const char *gcf;
    const char *rcf;
    const char *kept;
};

static void PrintTo(const AlternateCase &c, std::ostream *os) { *os << c.name; }

class AlternateGatekeeper : public CallEngine, public ::testing::WithParamInterface<AlternateCase>
{
};

TEST_P(AlternateGatekeeper, GivesTheNatServerAddressOnlyWhenIPv4)
{
    const AlternateCase &c = GetParam();
    ScriptedGatekeeper::Script script;
    script.gcfAlternate = c.gcf;
    script.rcfAlternate = c.rcf;
    Register(script);
    ASSERT_NE(Gatekeeper(), nullptr);
    EXPECT_EQ(std::string(Gatekeeper()->GetNatServerAddress().GetString()), c.kept);
}

INSTANTIATE_TEST_SUITE_P(
    Lists, AlternateGatekeeper,
    ::testing::Values(AlternateCase{"none", "", "", ""},
                      AlternateCase{"fromGcf", "10.1.2.3:1719", "", "10.1.2.3"},
                      AlternateCase{"rcfReplacesGcf", "10.2.2.2", "10.1.1.1:1720", "10.1.1.1"},
                      AlternateCase{"ip6InRcfKeepsGcf", "10.1.2.3", "ip6", "10.1.2.3"},
                      AlternateCase{"ip6InGcf", "ip6", "", ""}),
    [](const auto &info) { return std::string(info.param.name); });

namespace
{

/// One entry of the capability table as "descriptor.set name fields", the video fields as
/// the terminal capability set carries them.
std::string DescribeEntry(size_t descriptor, size_t set, H323Capability &capability)
{
    std::ostringstream out;
    out << descriptor << "." << set << " " << capability.GetFormatName();
    if (auto *h263 = dynamic_cast<H323_H263Capability *>(&capability)) {
        H245_VideoCapability pdu;
        h263->OnSendingPDU(pdu);
        const H245_H263VideoCapability &f = pdu.h263VideoCapability();
        out << " sqcif=" << f.HasOptionalField(H245_H263VideoCapability::e_sqcifMPI)
            << " qcif=" << f.m_qcifMPI.GetValue()
            << " cif=" << f.HasOptionalField(H245_H263VideoCapability::e_cifMPI)
            << f.HasOptionalField(H245_H263VideoCapability::e_cif4MPI)
            << f.HasOptionalField(H245_H263VideoCapability::e_cif16MPI)
            << " rate=" << f.m_maxBitRate.GetValue() << " fps=" << h263->GetVideoFrameRate()
            << " tso=" << bool(f.m_temporalSpatialTradeOffCapability)
            << " opts=" << bool(f.m_unrestrictedVector) << bool(f.m_arithmeticCoding)
            << bool(f.m_advancedPrediction) << bool(f.m_pbFrames);
    } else if (auto *h261 = dynamic_cast<H323_H261Capability *>(&capability)) {
        H245_VideoCapability pdu;
        h261->OnSendingPDU(pdu);
        const H245_H261VideoCapability &f = pdu.h261VideoCapability();
        out << " qcif=" << (f.HasOptionalField(H245_H261VideoCapability::e_qcifMPI)
                                ? int(f.m_qcifMPI.GetValue())
                                : 0)
            << " cif=" << (f.HasOptionalField(H245_H261VideoCapability::e_cifMPI)
                               ? int(f.m_cifMPI.GetValue())
                               : 0)
            << " tso=" << bool(f.m_temporalSpatialTradeOffCapability)
            << " still=" << bool(f.m_stillImageTransmission) << " rate=" << f.m_maxBitRate.GetValue();
    }
    return out.str();
}

/// The table in preference order, each entry with its place in the descriptors.
std::vector<std::string> DescribeTable(const H323Capabilities &table)
{
    std::vector<std::string> out;
    for (PINDEX i = 0; i < table.GetSize(); i++) {
        const auto &descriptors = table.GetDescriptors();
        std::string entry = "-";
        for (size_t d = 0; d < descriptors.size(); d++)
            for (size_t s = 0; s < descriptors[d].size(); s++)
                for (H323Capability *c : descriptors[d][s])
                    if (c == &table[i])
                        entry = DescribeEntry(d, s, table[i]);
        out.push_back(entry);
    }
    return out;
}

constexpr const char *kAudio0 = "0.0 G.723.1{sw}";
constexpr const char *kAudio1 = "1.0 GSM-06.10{sw}";
constexpr const char *kH263 =
    "0.1 H.263 sqcif=0 qcif=1 cif=000 rate=192400 fps=10 tso=1 opts=0000";

struct VideoCase {
    const char *name;
    std::map<int, int> options; ///< video options changed from the defaults
    int transmit, receive;      ///< auto-start afterwards; -1: left as it was
    std::vector<std::string> table;
};

void PrintTo(const VideoCase &c, std::ostream *os) { *os << c.name; }

class VideoCapabilities : public CallEngine, public ::testing::WithParamInterface<VideoCase>
{
};

} // namespace

TEST_P(VideoCapabilities, FollowTheVideoOptions)
{
    const VideoCase &c = GetParam();
    for (auto [index, value] : c.options)
        settings->m_nVideo[size_t(index)] = value;
    // Both flags start opposite to what a case sets, so that "left as it was" is seen.
    for (BOOL start : {FALSE, TRUE}) {
        endpoint->SetAutoStartTransmitVideo(start);
        endpoint->SetAutoStartReceiveVideo(start);
        endpoint->UpdateCapabilities();
        EXPECT_EQ(endpoint->CanAutoStartTransmitVideo(), c.transmit < 0 ? start : c.transmit);
        EXPECT_EQ(endpoint->CanAutoStartReceiveVideo(), c.receive < 0 ? start : c.receive);
        EXPECT_EQ(DescribeTable(endpoint->GetCapabilities()), c.table);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Options, VideoCapabilities,
    ::testing::Values(
        VideoCase{"defaultsOfferNoVideo", {}, 0, -1, {kAudio0, kAudio1}},
        VideoCase{"codecsWithoutReceivingOfferNone", {{3, 1}, {4, 1}}, 0, -1, {kAudio0, kAudio1}},
        VideoCase{"receiveOnlyH263",
                  {{1, 1}, {3, 1}},
                  0,
                  1,
                  {kAudio0, kAudio1, kH263, kH263}},
        VideoCase{"receiveOnlyH263AndH261",
                  {{1, 1}, {3, 1}, {4, 1}, {12, 5}, {13, 64}},
                  0,
                  1,
                  {kAudio0, kAudio1,
                   "0.1 H.263 sqcif=0 qcif=1 cif=000 rate=65536 fps=5 tso=1 opts=0000",
                   "0.1 H.263 sqcif=0 qcif=1 cif=000 rate=65536 fps=5 tso=1 opts=0000",
                   "0.2 H.261 qcif=1 cif=0 tso=1 still=0 rate=850"}},
        VideoCase{"receiveOnlyH261",
                  {{1, 1}, {4, 1}},
                  0,
                  1,
                  {kAudio0, kAudio1, "0.1 H.261 qcif=1 cif=0 tso=1 still=0 rate=850"}},
        VideoCase{"sendAndReceiveH263", {{0, 1}, {1, 1}, {3, 1}}, 1, 1,
                  {kAudio0, kAudio1, kH263, kH263}},
        VideoCase{"sendOnlyH263AtTheLowestRate",
                  {{0, 1}, {3, 1}, {13, 1}},
                  1,
                  0,
                  {kAudio0, kAudio1,
                   "0.1 H.263 sqcif=0 qcif=1 cif=000 rate=1024 fps=10 tso=1 opts=0000",
                   "0.1 H.263 sqcif=0 qcif=1 cif=000 rate=1024 fps=10 tso=1 opts=0000"}},
        VideoCase{"sendH261InOneSet",
                  {{0, 1}, {1, 1}, {4, 1}},
                  1,
                  1,
                  {kAudio0, kAudio1, "0.1 H.261 qcif=1 cif=0 tso=0 still=0 rate=6217",
                   "0.1 H.261 qcif=0 cif=1 tso=0 still=0 rate=6217"}},
        VideoCase{"sendBothCodecs",
                  {{0, 1}, {3, 1}, {4, 1}},
                  1,
                  0,
                  {kAudio0, kAudio1, kH263, kH263,
                   "0.2 H.261 qcif=1 cif=0 tso=0 still=0 rate=6217",
                   "0.2 H.261 qcif=0 cif=1 tso=0 still=0 rate=6217"}},
        VideoCase{"otherSendingModeOffersNone", {{0, 2}, {1, 1}, {3, 1}}, -1, -1,
                  {kAudio0, kAudio1}}),
    [](const auto &info) { return std::string(info.param.name); });
