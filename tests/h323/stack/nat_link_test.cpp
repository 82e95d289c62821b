// A call that reaches a phone down its NAT link: the simulator's far end relays the Setup
// down the link, and the stack runs the call on a transport opened over the link's socket.
#include "stack_support.h"

#include <h323/q931/q931.h>
#include <h323/transports/transport_tcp.h>
#include <pwlib/ptcpsocket.h>
#include <tools/service-sim/nat_link.h>
#include <tools/service-sim/ras_gatekeeper.h>

#include <gtest/gtest.h>

#include <thread>

using namespace stacktest;

TEST(NatLink, IncomingCallArrivesDownTheLink)
{
    servicesim::RasGatekeeper *gkPtr = nullptr;
    servicesim::NatLinkOptions no;
    no.endpointOf = [&](const std::string &alias) { return gkPtr ? gkPtr->EndpointIdOf(alias) : ""; };
    servicesim::NatLinkServer nat(no);
    std::string error;
    ASSERT_TRUE(nat.Start(&error)) << error;
    servicesim::GatekeeperOptions go;
    go.port = 0;
    go.accounts = {{"8001", "secret"}, {"8002", "secret"}};
    go.natHint = true;
    go.natPort = nat.LinkPort();
    go.natRelayPort = nat.RelayPort();
    servicesim::RasGatekeeper gk(go);
    ASSERT_TRUE(gk.Start(&error)) << error;
    gkPtr = &gk;
    PString gkAddress = psprintf("127.0.0.1:%u", gk.Port());

    TestEndPoint callee("8002"), caller("8001");
    callee.SetGatekeeperPassword("secret");
    caller.SetGatekeeperPassword("secret");
    ASSERT_TRUE(callee.UseGatekeeper(gkAddress));
    EXPECT_EQ(callee.events.WaitFor("rcf"), "rcf NAT=1;");
    H323Gatekeeper *calleeGk = callee.GetGatekeeper();
    PIPSocket::Address linkIp;
    WORD linkPort;
    ASSERT_TRUE(calleeGk->GetGatekeeperRouteAddress().GetIpAndPort(linkIp, linkPort));
    EXPECT_EQ(linkPort, nat.LinkPort());

    // The link as a phone keeps it: connect, announce with the endpoint identifier.
    PTCPSocket *link = new PTCPSocket(linkPort);
    ASSERT_TRUE(link->Connect(linkIp));
    std::string id = calleeGk->GetEndpointIdentifier().GetText();
    Q931 announcement;
    announcement.BuildInformation(0, false);
    announcement.SetCallState(Q931::CallState_IncomingCallProceeding);
    announcement.SetIE(Q931::FacilityIE, std::vector<uint8_t>(id.begin(), id.end()));
    std::vector<uint8_t> q931;
    ASSERT_TRUE(announcement.Encode(q931));
    std::vector<uint8_t> frame = {3, 0, uint8_t((q931.size() + 4) >> 8), uint8_t(q931.size() + 4)};
    frame.insert(frame.end(), q931.begin(), q931.end());
    ASSERT_TRUE(link->Write(frame.data(), PINDEX(frame.size())));
    for (int i = 0; i < 200 && nat.AnnouncementsFrom(id) == 0; i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(nat.AnnouncementsFrom(id), 1);

    ASSERT_TRUE(caller.UseGatekeeper(gkAddress));
    ASSERT_FALSE(caller.Call("8002").IsEmpty());

    // Data on the link is the start of the call: the stack takes the socket over.
    ASSERT_EQ(PSocket::Select(*link, 5000), -1);
    H323TransportTCP *transport = new H323TransportTCP(callee);
    ASSERT_TRUE(transport->Open(link, TRUE));
    std::thread answer([transport] {
        if (!transport->HandleFirstSignallingChannelPDU())
            delete transport;
    });
    EXPECT_EQ(callee.events.WaitFor("incoming"), "incoming 8001");
    EXPECT_FALSE(caller.events.WaitFor("established").empty());
    caller.ClearAllCalls(H323CallEndReasons::EndedByLocalUser, TRUE);
    EXPECT_EQ(WaitCleared(callee), H323CallEndReasons::EndedByRemoteUser);
    answer.join();
    gkPtr = nullptr;
}
