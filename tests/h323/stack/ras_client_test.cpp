// The gatekeeper client against the simulator's gatekeeper: discovery, registration with
// password tokens and its failures, keep-alive, unregistration both ways, admission.
#include "stack_support.h"

#include <h323/asn1/per.h>
#include <h323/pdu/addresses.h>
#include <h323/pdu/h235_tokens.h>
#include <h323/pdu/identifiers.h>
#include <h323/transports/transport_udp.h>
#include <pwlib/pudpsocket.h>
#include <tools/service-sim/call_router.h>
#include <tools/service-sim/ras_gatekeeper.h>
#include <tools/service-sim/service_server.h>

#include <core/login_digest.h>

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <poll.h>
#include <chrono>
#include <ctime>
#include <mutex>
#include <thread>

using namespace stacktest;
using R = H323CallEndReasons;

namespace {

class Gatekeeper
{
  public:
    explicit Gatekeeper(servicesim::GatekeeperOptions o = {})
    {
        o.port = 0;
        if (o.accounts.empty())
            o.accounts = {{"8001", "secret"}, {"8002", "secret"}};
        gk.reset(new servicesim::RasGatekeeper(o));
        std::string error;
        EXPECT_TRUE(gk->Start(&error)) << error;
    }
    PString Address() const { return psprintf("127.0.0.1:%u", gk->Port()); }
    servicesim::RasGatekeeper &operator*() { return *gk; }
    servicesim::RasGatekeeper *operator->() { return gk.get(); }

  private:
    std::unique_ptr<servicesim::RasGatekeeper> gk;
};

/// Whether the gatekeeper has taken count messages of the name within seconds (it counts
/// them on its own thread).
bool Counted(Gatekeeper &gk, const std::string &name, int count)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (gk->CountOf(name) < count && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return gk->CountOf(name) >= count;
}

bool Register(TestEndPoint &ep, Gatekeeper &gk, const char *password = "secret")
{
    ep.SetGatekeeperPassword(password);
    return ep.UseGatekeeper(gk.Address());
}

} // namespace

TEST(RasClient, RegistersWithPasswordTokensAndReadsTheServiceText)
{
    servicesim::GatekeeperOptions o;
    o.balance = "12.50";
    Gatekeeper gk(o);
    TestEndPoint ep("8001");
    ASSERT_TRUE(Register(ep, gk));
    ASSERT_NE(ep.GetGatekeeper(), nullptr);
    EXPECT_EQ(ep.GetGatekeeper()->GetRegistrationFailReason(), H323Gatekeeper::RegistrationSuccessful);
    EXPECT_EQ(ep.GetGatekeeper()->GetIdentifier(), "KestrelinSim");
    EXPECT_FALSE(ep.GetGatekeeper()->GetEndpointIdentifier().IsEmpty());
    EXPECT_EQ(ep.events.WaitFor("rcf"), "rcf h323-credit-amount=12.50;");
    EXPECT_EQ(ep.events.WaitFor("credit"), "credit 12.50 debit");
    EXPECT_TRUE(gk->IsRegistered("8001"));
    // The same gatekeeper again: TRUE at once, no new discovery.
    int grqs = gk->CountOf("gatekeeperRequest");
    EXPECT_TRUE(ep.UseGatekeeper(gk.Address()));
    EXPECT_EQ(gk->CountOf("gatekeeperRequest"), grqs);
    EXPECT_TRUE(ep.RemoveGatekeeper(-1));
    EXPECT_EQ(ep.GetGatekeeper(), nullptr);
    EXPECT_FALSE(gk->IsRegistered("8001"));
}

TEST(RasClient, RejectionsLeaveTheGatekeeperWithTheirFailReason)
{
    Gatekeeper gk;
    TestEndPoint wrong("8001");
    EXPECT_FALSE(Register(wrong, gk, "guess"));
    ASSERT_NE(wrong.GetGatekeeper(), nullptr);
    EXPECT_EQ(wrong.GetGatekeeper()->GetRegistrationFailReason(), H323Gatekeeper::SecurityDenied);

    TestEndPoint first("8002"), second("8002");
    ASSERT_TRUE(Register(first, gk));
    EXPECT_FALSE(Register(second, gk));
    ASSERT_NE(second.GetGatekeeper(), nullptr);
    EXPECT_EQ(second.GetGatekeeper()->GetRegistrationFailReason(), H323Gatekeeper::DuplicateAlias);
}

TEST(RasClient, NoGatekeeperAtTheAddressLeavesNone)
{
    PUDPSocket silent;
    ASSERT_TRUE(silent.Listen(PIPSocket::Address(127, 0, 0, 1)));
    TestEndPoint ep("8001");
    EXPECT_FALSE(ep.UseGatekeeper(psprintf("127.0.0.1:%u", silent.GetPort())));
    EXPECT_EQ(ep.GetGatekeeper(), nullptr);
}

TEST(RasClient, RemoveGatekeeperDuringUseGatekeeperReturnsPromptly)
{
    PUDPSocket silent;
    ASSERT_TRUE(silent.Listen(PIPSocket::Address(127, 0, 0, 1)));
    TestEndPoint ep("8001");
    std::thread worker([&] { EXPECT_FALSE(ep.UseGatekeeper(psprintf("127.0.0.1:%u", silent.GetPort()))); });
    while (ep.GetGatekeeper() == nullptr)
        std::this_thread::yield();
    auto start = std::chrono::steady_clock::now();
    ep.RemoveGatekeeper(-1);
    worker.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
    EXPECT_EQ(ep.GetGatekeeper(), nullptr);
}

TEST(RasClient, UnregistrationByTheGatekeeperClearsCallsAndAnswers)
{
    Gatekeeper gk;
    TestEndPoint caller("8001"), callee("8002");
    ASSERT_TRUE(Register(caller, gk));
    ASSERT_TRUE(Register(callee, gk));
    ASSERT_FALSE(caller.Call("8002").IsEmpty());
    ASSERT_FALSE(caller.events.WaitFor("established").empty());
    std::string error;
    ASSERT_TRUE(gk->Unregister("8001", &error)) << error;
    EXPECT_FALSE(caller.events.WaitFor("urq").empty());
    EXPECT_EQ(WaitCleared(caller), R::EndedByGatekeeper);
    EXPECT_EQ(WaitCleared(callee), R::EndedByRemoteUser);
    EXPECT_EQ(caller.GetGatekeeper()->GetRegistrationFailReason(), H323Gatekeeper::UnregisteredByGatekeeper);
    EXPECT_TRUE(Counted(gk, "unregistrationConfirm", 1));
}

TEST(RasClient, CallsThroughTheGatekeeperAreAdmittedAndDisengaged)
{
    servicesim::GatekeeperOptions o;
    o.creditTime = 600;
    Gatekeeper gk(o);
    TestEndPoint caller("8001"), callee("8002");
    ASSERT_TRUE(Register(caller, gk));
    ASSERT_TRUE(Register(callee, gk));
    PString token = caller.Call("8002");
    ASSERT_FALSE(caller.events.WaitFor("established").empty());
    EXPECT_EQ(gk->CountOf("admissionRequest"), 2); // both sides ask
    caller.ClearCall(token);
    EXPECT_EQ(WaitCleared(caller), R::EndedByLocalUser);
    EXPECT_EQ(WaitCleared(callee), R::EndedByRemoteUser);
    EXPECT_TRUE(Counted(gk, "disengageRequest", 2));
    EXPECT_EQ(gk->CountOf("disengageRequest"), 2);
}

TEST(RasClient, CallsThroughARoutingGatekeeperGoToItsPortUnderTheAdmittedCallIdentifier)
{
    // The router takes each Setup's admission from the gatekeeper, once.
    servicesim::RasGatekeeper *routing = nullptr;
    std::vector<std::string> taken;
    servicesim::CallRouterOptions ro;
    ro.takeAdmitted = [&](const std::string &id) {
        taken.push_back(id);
        return routing->TakeRoutedCall(id);
    };
    servicesim::CallRouter router(ro);
    std::string error;
    ASSERT_TRUE(router.Start(&error)) << error;
    servicesim::GatekeeperOptions o;
    o.routerPort = router.Port();
    Gatekeeper gk(o);
    routing = &*gk;

    TestEndPoint caller("8001"), callee("8002");
    ASSERT_TRUE(Register(caller, gk));
    ASSERT_TRUE(Register(callee, gk));
    PString token = caller.Call("8002");
    ASSERT_FALSE(caller.events.WaitFor("established").empty());
    ASSERT_FALSE(callee.events.WaitFor("established").empty());
    H323Connection *c = caller.FindConnectionWithLock(token);
    ASSERT_NE(c, nullptr);
    std::string id = c->GetCallIdentifier().AsString();
    EXPECT_EQ(c->GetRemotePartyAddress().GetPort(), router.Port());
    c->Unlock();
    ASSERT_EQ(taken.size(), 1u);
    EXPECT_EQ(taken[0], id); // the ARQ's call identifier is the Setup's
    EXPECT_FALSE(gk->TakeRoutedCall(id)) << "an admission serves one Setup";
    caller.ClearCall(token);
    EXPECT_EQ(WaitCleared(caller), R::EndedByLocalUser);
    EXPECT_EQ(WaitCleared(callee), R::EndedByRemoteUser);
    router.Stop();
}

TEST(RasClient, AdmissionRejectedForAnUnregisteredAlias)
{
    Gatekeeper gk;
    TestEndPoint caller("8001");
    ASSERT_TRUE(Register(caller, gk));
    ASSERT_FALSE(caller.Call("9999").IsEmpty());
    EXPECT_EQ(WaitCleared(caller), R::EndedByNoUser);
}

TEST(RasClient, KeepAliveRegistrationAtTheTimeToLive)
{
    servicesim::GatekeeperOptions o;
    o.timeToLive = 6; // the client refreshes at TTL - 5 s, after 5 s at the least
    Gatekeeper gk(o);
    TestEndPoint ep("8001");
    ASSERT_TRUE(Register(ep, gk));
    EXPECT_EQ(gk->CountOf("registrationRequest"), 1);
    for (int i = 0; i < 700 && gk->CountOf("registrationRequest") < 2; i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(gk->CountOf("registrationRequest"), 2);
    EXPECT_TRUE(ep.IsRegisteredWithGatekeeper());
}

TEST(RasClient, FloodOfGarbageOnTheRasPortChangesNothing)
{
    Gatekeeper gk;
    TestEndPoint ep("8001");
    ASSERT_TRUE(Register(ep, gk));
    PIPSocket::Address ip;
    WORD port;
    ASSERT_TRUE(ep.GetGatekeeper()->GetTransport().GetLocalAddress().GetIpAndPort(ip, port));
    PUDPSocket attacker;
    BYTE junk[64];
    for (int i = 0; i < 2000; i++) {
        for (BYTE &b : junk)
            b = BYTE(i * 31 + (&b - junk) * 7);
        attacker.WriteTo(junk, 1 + i % 64, PIPSocket::Address(127, 0, 0, 1), port);
    }
    // Still answering: a call through the gatekeeper is admitted.
    TestEndPoint callee("8002");
    ASSERT_TRUE(Register(callee, gk));
    ASSERT_FALSE(ep.Call("8002").IsEmpty());
    EXPECT_FALSE(ep.events.WaitFor("established").empty());
}

// The service's layout: the gatekeeper answers on the port of the text service protocol.
TEST(RasClient, RegistrationAndServiceLoginShareOnePort)
{
    std::atomic<servicesim::RasGatekeeper *> shared{nullptr};
    servicesim::ServiceOptions so;
    so.port = 0;
    so.aliasDomain = "service.localhost";
    so.accounts = {{"8001", "secret"}, {"8002", "secret"}};
    so.otherDatagrams = [&shared](const servicesim::Endpoint &from, std::string data,
                                  size_t length) {
        if (servicesim::RasGatekeeper *gk = shared.load())
            gk->Deliver(from, std::move(data), length);
    };
    servicesim::ServiceServer service(so);
    std::string error;
    ASSERT_TRUE(service.Start(&error)) << error;
    servicesim::GatekeeperOptions go;
    go.accounts = so.accounts;
    go.sharedSocket = &service.Socket();
    servicesim::RasGatekeeper gk(go);
    ASSERT_TRUE(gk.Start(&error)) << error;
    ASSERT_EQ(gk.Port(), service.Port());
    shared = &gk;

    // A login round of the text protocol on the port.
    servicesim::UdpSocket phone;
    ASSERT_TRUE(phone.Bind("127.0.0.1", 0, &error)) << error;
    const servicesim::Endpoint server{INADDR_LOOPBACK, service.Port()};
    auto exchange = [&](const std::string &text) {
        phone.SendTo(server, text);
        std::string reply;
        for (int i = 0; i < 2; i++) { // the ACK, then the reply
            pollfd fd{phone.Fd(), POLLIN, 0};
            if (::poll(&fd, 1, 2000) <= 0)
                return std::string("(none)");
            servicesim::Endpoint from;
            size_t length = 0;
            phone.Receive(&reply, 2048, &from, &length);
            EXPECT_EQ(from, server);
        }
        return reply;
    };
    std::string helo = exchange("Helo 8001 1720 7");
    ASSERT_EQ(helo.rfind("Helo 8001 1720 7 200 ", 0), 0u) << helo;
    std::string digest =
        LoginDigest("8001", "secret", "service.localhost", helo.substr(helo.rfind(' ') + 1));
    EXPECT_EQ(exchange("Auth 8001 1720 8 " + digest), "Auth 8001 1720 8 200");
    EXPECT_TRUE(service.IsLoggedIn("8001"));

    // Registration, a call's admission and the unregistration on the same port.
    TestEndPoint ep("8001"), callee("8002");
    ep.SetGatekeeperPassword("secret");
    callee.SetGatekeeperPassword("secret");
    ASSERT_TRUE(ep.UseGatekeeper(psprintf("127.0.0.1:%u", service.Port())));
    EXPECT_TRUE(gk.IsRegistered("8001"));
    ASSERT_TRUE(callee.UseGatekeeper(psprintf("127.0.0.1:%u", service.Port())));
    PString token = ep.Call("8002");
    ASSERT_FALSE(ep.events.WaitFor("established").empty());
    EXPECT_EQ(gk.CountOf("admissionRequest"), 2);
    EXPECT_EQ(exchange("Live 8001 1720 9"), "Live 8001 1720 9 200");
    ep.ClearCall(token);
    EXPECT_EQ(WaitCleared(callee), R::EndedByRemoteUser);
    EXPECT_TRUE(ep.RemoveGatekeeper(-1));
    EXPECT_TRUE(callee.RemoveGatekeeper(-1));
    EXPECT_FALSE(gk.IsRegistered("8001"));
    service.Stop(); // before the gatekeeper it feeds goes
    shared = nullptr;
}

namespace {

// A full registration of 8001 (password "secret") whose two tokens carry the time stamp.
std::string RegistrationDatagram(unsigned seq, uint32_t timestamp, uint8_t random,
                                 const std::string &alias = "8001")
{
    using RRQ = H225_RegistrationRequest;
    H225_RasMessage m;
    RRQ &rrq = m.registrationRequest();
    rrq.m_requestSeqNum = seq;
    rrq.m_protocolIdentifier = h323::H225ProtocolIdentifier();
    rrq.m_discoveryComplete = false;
    rrq.m_callSignalAddress.push_back(h323::MakeTransportAddress({{127, 0, 0, 1}, 1991}));
    rrq.m_rasAddress.push_back(h323::MakeTransportAddress({{127, 0, 0, 1}, 1719}));
    rrq.m_terminalType.IncludeOptionalField(H225_EndpointType::e_terminal);
    rrq.IncludeOptionalField(RRQ::e_terminalAlias);
    rrq.m_terminalAlias.push_back(h323::MakeAlias(alias));
    rrq.m_endpointVendor = h323::MakeVendorIdentifier(9, 0, 61, "Test", "1");
    rrq.IncludeOptionalField(RRQ::e_tokens);
    rrq.m_tokens.push_back(h323::h235::MakeCatToken(alias, "secret", timestamp, random));
    rrq.IncludeOptionalField(RRQ::e_cryptoTokens);
    rrq.m_cryptoTokens.push_back(h323::h235::MakePasswordHashToken(alias, "secret", timestamp));
    rrq.IncludeOptionalField(RRQ::e_keepAlive);
    rrq.m_keepAlive = false;
    rrq.IncludeOptionalField(RRQ::e_willSupplyUUIEs);
    rrq.m_willSupplyUUIEs = false;
    rrq.IncludeOptionalField(RRQ::e_maintainConnection);
    rrq.m_maintainConnection = false;
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(asn1::encode(m, bytes));
    return std::string(bytes.begin(), bytes.end());
}

// "RCF", "RRJ <reason>" or "(none)" for a datagram sent from phone.
std::string Answer(servicesim::UdpSocket &phone, uint16_t port, const std::string &datagram)
{
    phone.SendTo({INADDR_LOOPBACK, port}, datagram);
    pollfd fd{phone.Fd(), POLLIN, 0};
    if (::poll(&fd, 1, 3000) <= 0)
        return "(none)";
    std::string reply;
    servicesim::Endpoint from;
    size_t length = 0;
    phone.Receive(&reply, 4096, &from, &length);
    H225_RasMessage m;
    if (!asn1::decode(std::vector<uint8_t>(reply.begin(), reply.end()), m))
        return "(undecodable)";
    if (m.GetTag() == H225_RasMessage::e_registrationConfirm)
        return "RCF";
    if (m.GetTag() == H225_RasMessage::e_registrationReject)
        return "RRJ " + std::to_string(m.registrationReject().m_rejectReason.GetTag());
    return "(other)";
}

} // namespace

// A deployed gatekeeper takes a password token only with a current time stamp, and only once:
// a captured registration sent again from elsewhere (or later) takes no account.
TEST(RasClient, RegistrationTokensMustBeCurrentAndUnused)
{
    const std::string denied = "RRJ " + std::to_string(H225_RegistrationRejectReason::e_securityDenial);
    const std::string inUse = "RRJ " + std::to_string(H225_RegistrationRejectReason::e_duplicateAlias);
    const uint32_t now = uint32_t(std::time(nullptr));
    struct Step {
        const char *name;
        int sender; ///< 0 the phone, 1 another address
        unsigned seq;
        int64_t age; ///< seconds the time stamp lies in the past
        uint8_t random;
        std::string answer;
    };
    const Step steps[] = {
        {"ten minutes old", 0, 1, 600, 1, denied},
        {"ten minutes ahead", 0, 2, -600, 2, denied},
        {"current", 0, 3, 0, 3, "RCF"},
        {"the same request again: a retransmission", 0, 3, 0, 3, "RCF"},
        {"the same tokens in a new request", 0, 4, 0, 3, denied},
        {"new tokens from another address while the alias is in use", 1, 5, 0, 4, inUse},
    };
    Gatekeeper gk;
    std::string error;
    servicesim::UdpSocket phone, other;
    ASSERT_TRUE(phone.Bind("127.0.0.1", 0, &error)) << error;
    ASSERT_TRUE(other.Bind("127.0.0.1", 0, &error)) << error;
    for (const Step &s : steps)
        EXPECT_EQ(Answer(s.sender == 0 ? phone : other, gk->Port(),
                         RegistrationDatagram(s.seq, uint32_t(now - s.age), s.random)),
                  s.answer)
            << s.name;
    // Once the phone has gone, its captured request still takes the account nowhere.
    ASSERT_TRUE(gk->Unregister("8001", &error)) << error;
    EXPECT_FALSE(gk->IsRegistered("8001"));
    EXPECT_EQ(Answer(other, gk->Port(), RegistrationDatagram(3, now, 3)), denied);
    EXPECT_FALSE(gk->IsRegistered("8001"));
    EXPECT_EQ(Answer(other, gk->Port(), RegistrationDatagram(6, now, 5)), "RCF")
        << "fresh tokens from there are taken";
}

// Registering again at once, as after an unregistration or a lost gatekeeper, makes tokens the
// gatekeeper has not seen, though their time stamp is the same second's: none is a replay.
TEST(RasClient, RegistrationsMadeAgainInOneSecondAreNotReplays)
{
    Gatekeeper gk;
    TestEndPoint ep("8001");
    for (int i = 0; i < 64; i++) {
        ASSERT_TRUE(Register(ep, gk)) << "registration " << i + 1 << ": "
                                      << ep.GetGatekeeper()->GetRegistrationFailReason();
        ASSERT_TRUE(ep.RemoveGatekeeper(-1));
    }
}

TEST(RasClient, AliasesFromTheNetworkReachTheLogAsPrintableText)
{
    std::mutex mutex;
    std::vector<std::string> log;
    servicesim::GatekeeperOptions o;
    o.log = [&](const std::string &line) {
        std::lock_guard<std::mutex> lock(mutex);
        log.push_back(line);
    };
    Gatekeeper gk(o);
    std::string error;
    servicesim::UdpSocket phone;
    ASSERT_TRUE(phone.Bind("127.0.0.1", 0, &error)) << error;
    const std::string alias = "\x1b]0;owned\x07\nras: forged line";
    EXPECT_EQ(Answer(phone, gk->Port(),
                     RegistrationDatagram(1, uint32_t(std::time(nullptr)), 1, alias)),
              "RRJ " + std::to_string(H225_RegistrationRejectReason::e_securityDenial));
    std::lock_guard<std::mutex> lock(mutex);
    ASSERT_FALSE(log.empty());
    EXPECT_NE(log.back().find("no such account \\x1b]0;owned\\x07\\x0aras: forged line"),
              std::string::npos)
        << log.back();
    for (const std::string &line : log)
        for (unsigned char c : line)
            EXPECT_TRUE(c >= 0x20 && c < 0x7f) << int(c);
}
