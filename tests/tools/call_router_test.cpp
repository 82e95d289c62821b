// The routed model's call-signalling port, driven by a bare TCP caller: only the Setup of an
// admitted call is relayed, the rest are refused as a deployed gatekeeper refuses them.
#include <tools/service-sim/call_router.h>
#include <tools/service-sim/tcp_frames.h>

#include <h323/asn1/gen/h225.h>
#include <h323/pdu/identifiers.h>
#include <h323/q931/q931.h>
#include <h323/q931/signal.h>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

namespace servicesim {
namespace {

constexpr uint32_t kLoopback = INADDR_LOOPBACK;

Q931 SetupWithCallIdentifier(unsigned callReference, const h323::Guid &id)
{
    Q931 q931;
    q931.BuildSetup(callReference);
    H225_H323_UserInformation uuie;
    H225_Setup_UUIE &setup = uuie.m_h323_uu_pdu.m_h323_message_body.setup();
    setup.m_protocolIdentifier = h323::H225ProtocolIdentifier();
    setup.m_conferenceID = id.ToOctets();
    setup.m_conferenceGoal.SetTag(H225_Setup_UUIE_conferenceGoal::e_create);
    setup.m_callType.SetTag(H225_CallType::e_pointToPoint);
    setup.IncludeOptionalField(H225_Setup_UUIE::e_callIdentifier);
    setup.m_callIdentifier = h323::MakeCallIdentifier(id);
    EXPECT_TRUE(h323::SetUserInformation(q931, uuie));
    return q931;
}

/** A router whose admitted calls are the one the test names, going to a listener of its own. */
class RouterFixture : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        std::string error;
        callee = OpenListener("127.0.0.1", 0, &calleePort, &error);
        ASSERT_GE(callee, 0) << error;
        CallRouterOptions o;
        o.takeAdmitted = [this](const std::string &id) -> std::optional<Endpoint> {
            if (id != admitted.AsString())
                return std::nullopt;
            return Endpoint{kLoopback, calleePort};
        };
        router.reset(new CallRouter(o));
        ASSERT_TRUE(router->Start(&error)) << error;
        caller = ConnectTo({kLoopback, router->Port()}, 2000);
        ASSERT_GE(caller, 0);
    }
    void TearDown() override
    {
        ::close(caller);
        router.reset();
        ::close(callee);
    }
    void Send(const Q931 &q931)
    {
        std::vector<uint8_t> frame = MessageFrame(q931, false);
        ASSERT_TRUE(WriteAll(caller, frame.data(), frame.size()));
    }

    h323::Guid admitted = h323::Guid::Generate();
    std::unique_ptr<CallRouter> router;
    int caller = -1;
    int callee = -1;
    uint16_t calleePort = 0;
};

TEST_F(RouterFixture, SetupOfNoAdmittedCallGetsReleaseCompleteCallRejected)
{
    h323::Guid stranger = h323::Guid::Generate();
    Send(SetupWithCallIdentifier(77, stranger));
    std::vector<uint8_t> reply = ReadFrame(caller, false, 3000);
    Q931 q931;
    ASSERT_TRUE(FrameMessage(reply, false, q931));
    EXPECT_EQ(q931.GetMessageType(), Q931::ReleaseCompleteMsg);
    EXPECT_EQ(q931.GetCallReference(), 77u);
    EXPECT_TRUE(q931.IsFromDestination());
    EXPECT_EQ(q931.GetCause(), Q931::CallRejected);
    H225_H323_UserInformation uuie;
    ASSERT_TRUE(h323::GetUserInformation(q931, uuie));
    const H225_ReleaseComplete_UUIE &rc = uuie.m_h323_uu_pdu.m_h323_message_body.releaseComplete();
    ASSERT_TRUE(rc.HasOptionalField(H225_ReleaseComplete_UUIE::e_callIdentifier));
    EXPECT_EQ(h323::Guid(rc.m_callIdentifier.m_guid), stranger);
    ::shutdown(caller, SHUT_WR);
    EXPECT_TRUE(ReadFrame(caller, false, 3000).empty()) << "the connection ends";
}

TEST_F(RouterFixture, AdmittedSetupIsRelayedAndTheReleaseEndsTheRelay)
{
    Send(SetupWithCallIdentifier(5, admitted));
    int relayed = ::accept(callee, nullptr, nullptr);
    ASSERT_GE(relayed, 0);
    Q931 q931;
    ASSERT_TRUE(FrameMessage(ReadFrame(relayed, false, 3000), false, q931));
    EXPECT_EQ(q931.GetMessageType(), Q931::SetupMsg);
    EXPECT_EQ(q931.GetCallReference(), 5u);

    // The callee's release reaches the caller, and both connections end.
    Q931 release;
    release.BuildReleaseComplete(5, true);
    release.SetCause(Q931::NormalCallClearing);
    std::vector<uint8_t> frame = MessageFrame(release, false);
    ASSERT_TRUE(WriteAll(relayed, frame.data(), frame.size()));
    ASSERT_TRUE(FrameMessage(ReadFrame(caller, false, 3000), false, q931));
    EXPECT_EQ(q931.GetMessageType(), Q931::ReleaseCompleteMsg);
    EXPECT_TRUE(ReadFrame(caller, false, 3000).empty());
    EXPECT_TRUE(ReadFrame(relayed, false, 3000).empty());
    ::close(relayed);
}

TEST_F(RouterFixture, ACallerDroppingTheCallLeavesTheCalleeAReleaseComplete)
{
    Send(SetupWithCallIdentifier(9, admitted));
    int relayed = ::accept(callee, nullptr, nullptr);
    ASSERT_GE(relayed, 0);
    Q931 q931;
    ASSERT_TRUE(FrameMessage(ReadFrame(relayed, false, 3000), false, q931));
    ::close(caller);
    caller = -1;
    ASSERT_TRUE(FrameMessage(ReadFrame(relayed, false, 3000), false, q931));
    EXPECT_EQ(q931.GetMessageType(), Q931::ReleaseCompleteMsg);
    EXPECT_FALSE(q931.IsFromDestination()); // as the gatekeeper's side of the call
    EXPECT_EQ(q931.GetCallReference(), 9u);
    ::close(relayed);
}

} // namespace
} // namespace servicesim
