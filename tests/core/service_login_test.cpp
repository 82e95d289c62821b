// Service client against the service simulator on loopback: greeting, login, keep-alive, notices.
#include "service_test_support.h"

#include <core/login_digest.h>
#include <core/service_status_texts.h>
#include <core/window_messages.h>

#include <tools/service-sim/service_server.h>

#include <gtest/gtest.h>

#include <memory>

namespace
{

using namespace std::chrono_literals;
using servicetest::RecordingWindow;

class ServiceLoginTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        servicetest::EnsureApplication();
        servicesim::ServiceOptions options;
        options.port = 0;
        options.aliasDomain = "service.localhost";
        options.accounts = {{"8001", "demo"}};
        options.retransmitInterval = 200ms;
        server_ = std::make_unique<servicesim::ServiceServer>(options);
        std::string error;
        ASSERT_TRUE(server_->Start(&error)) << error;

        window_ = std::make_unique<RecordingWindow>(client_);
        CString why;
        ASSERT_TRUE(client_.OpenServiceSocket(window_.get(), "127.0.0.1", server_->Port(), "8001",
                                              1991, &why))
            << why;
    }

    // Sends a request under a new sequence number and waits for its answer.
    std::vector<RecordingWindow::Record> Request(const std::function<int()> &send, UINT answer)
    {
        window_->m_records.clear();
        client_.NextSequence();
        EXPECT_EQ(send(), 0);
        EXPECT_TRUE(servicetest::WaitUntil([&] { return window_->Has(answer); }))
            << "no answer " << std::hex << answer;
        return window_->m_records;
    }

    CString Greet()
    {
        auto records = Request([&] { return client_.SendHelo(); }, WM_SVC_HELO_OK);
        return records.empty() ? CString() : records.back().challenge;
    }

    CString Digest(const char *password, const CString &challenge)
    {
        return LoginDigest("8001", password, "service.localhost", challenge.StdString()).c_str();
    }

    std::unique_ptr<servicesim::ServiceServer> server_;
    CServiceSocket client_;
    std::unique_ptr<RecordingWindow> window_;
};

TEST_F(ServiceLoginTest, GreetingLoginAndKeepAlive)
{
    auto helo = Request([&] { return client_.SendHelo(); }, WM_SVC_HELO_OK);
    ASSERT_EQ(helo.size(), 2u);
    EXPECT_EQ(helo[0].message, WM_SVC_ACK) << "the acknowledgement comes first";
    EXPECT_EQ(helo[0].token3, client_.FormatSequence());
    EXPECT_EQ(helo[1].message, WM_SVC_HELO_OK);
    CString challenge = helo[1].challenge;
    EXPECT_EQ(challenge.GetLength(), 16);

    CString digest = Digest("demo", challenge);
    auto auth = Request([&] { return client_.SendAuth(digest); }, WM_SVC_AUTH_OK);
    EXPECT_EQ(window_->Messages(), (std::vector<UINT>{WM_SVC_ACK, WM_SVC_AUTH_OK}));
    EXPECT_TRUE(server_->IsLoggedIn("8001"));

    auto live = Request([&] { return client_.SendLive(); }, WM_SVC_LIVE_OK);
    EXPECT_EQ(window_->Messages(), (std::vector<UINT>{WM_SVC_ACK, WM_SVC_LIVE_OK}));
    EXPECT_EQ(live.back().status, service_status::kLiveNormal);

    Request([&] { return client_.SendQuit(); }, WM_SVC_ACK);
    EXPECT_TRUE(servicetest::WaitUntil([&] { return !server_->IsLoggedIn("8001"); }));
}

TEST_F(ServiceLoginTest, WrongPasswordIsRefused)
{
    CString digest = Digest("wrong", Greet());
    auto auth = Request([&] { return client_.SendAuth(digest); }, WM_SVC_AUTH_FAILED);
    EXPECT_EQ(auth.back().status, service_status::kAuthWrong);
    EXPECT_FALSE(server_->IsLoggedIn("8001"));
}

TEST_F(ServiceLoginTest, KeepAliveWithoutLoginIsRefusedEveryTime)
{
    for (int i = 0; i < 2; i++) {
        auto live = Request([&] { return client_.SendLive(); }, WM_SVC_LIVE_REFUSED);
        EXPECT_EQ(live.back().status, service_status::kLiveNotLoggedIn);
    }
    // A resent keep-alive gets the same answer again, and it is reported again.
    window_->m_records.clear();
    client_.SendLive();
    EXPECT_TRUE(servicetest::WaitUntil([&] { return window_->Has(WM_SVC_LIVE_REFUSED); }));
}

TEST_F(ServiceLoginTest, ResentGreetingKeepsItsChallenge)
{
    CString challenge = Greet();
    window_->m_records.clear();
    client_.SendHelo(); // the same sequence: a retransmission
    ASSERT_TRUE(servicetest::WaitUntil([&] { return window_->Has(WM_SVC_ACK); }));
    client_.NextSequence();
    client_.SendAuth(Digest("demo", client_.m_strToken[6]));
    ASSERT_TRUE(servicetest::WaitUntil([&] { return window_->Has(WM_SVC_AUTH_OK); }));
    EXPECT_EQ(client_.m_strToken[6], challenge);
    EXPECT_FALSE(window_->Has(WM_SVC_HELO_OK)) << "the repeated reply is not handled again";
}

TEST_F(ServiceLoginTest, NoticeIsAcknowledgedOnceAndReported)
{
    CString digest = Digest("demo", Greet());
    Request([&] { return client_.SendAuth(digest); }, WM_SVC_AUTH_OK);

    window_->m_records.clear();
    std::string error;
    int seq = server_->SendNotice(servicesim::Notice::Kicked, "8001", &error);
    ASSERT_GT(seq, 0) << error;
    ASSERT_TRUE(servicetest::WaitUntil([&] { return window_->Has(WM_SVC_KICKED); }));
    EXPECT_EQ(window_->m_records.back().status, service_status::kKicked);
    ASSERT_TRUE(servicetest::WaitUntil([&] {
        auto state = server_->NoticeStatus(seq);
        return state && state->acknowledged;
    }));
    EXPECT_EQ(server_->NoticeStatus(seq)->sends, 1) << "acknowledged before any resend";

    // The server's own keep-alive is acknowledged and reported to nobody.
    window_->m_records.clear();
    int live = server_->SendNotice(servicesim::Notice::KeepAlive, "8001", &error);
    ASSERT_TRUE(servicetest::WaitUntil([&] {
        auto state = server_->NoticeStatus(live);
        return state && state->acknowledged;
    }));
    EXPECT_TRUE(window_->m_records.empty());
}

} // namespace
