// Service simulator over loopback, driven by a bare UDP client.
#include <tools/service-sim/service_server.h>

#include <core/login_digest.h>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <optional>
#include <poll.h>
#include <thread>

namespace servicesim
{
namespace
{

using namespace std::chrono_literals;

constexpr uint32_t kLoopback = INADDR_LOOPBACK;

// A phone's end reduced to sending texts and reading what comes back, with time-outs.
class BareClient
{
  public:
    explicit BareClient(uint16_t serverPort) : server_{kLoopback, serverPort}
    {
        std::string error;
        bound_ = socket_.Bind("127.0.0.1", 0, &error);
        EXPECT_TRUE(bound_) << error;
    }

    void Send(const std::string &text) { socket_.SendTo(server_, text); }

    std::optional<std::string> Receive(std::chrono::milliseconds timeout = 2000ms)
    {
        pollfd fd{socket_.Fd(), POLLIN, 0};
        if (::poll(&fd, 1, static_cast<int>(timeout.count())) <= 0)
            return std::nullopt;
        std::string data;
        Endpoint from;
        size_t length;
        if (socket_.Receive(&data, 2048, &from, &length) != UdpSocket::Received::Datagram)
            return std::nullopt;
        return data;
    }

    /** Sends a request and returns the ACK and the reply (empty when none within 300 ms). */
    std::pair<std::string, std::string> Exchange(const std::string &text)
    {
        Send(text);
        std::string ack = Receive().value_or("");
        std::string reply = Receive(300ms).value_or("");
        return {ack, reply};
    }

    /** Greets and logs in; returns the challenge. */
    std::string Login(const std::string &account, const std::string &password, int seq)
    {
        auto [ack, helo] = Exchange("Helo " + account + " 1720 " + std::to_string(seq));
        std::string challenge = helo.substr(helo.rfind(' ') + 1);
        std::string digest = LoginDigest(account, password, "service.localhost", challenge);
        auto [ack2, auth] =
            Exchange("Auth " + account + " 1720 " + std::to_string(seq + 1) + " " + digest);
        EXPECT_EQ(auth, "Auth " + account + " 1720 " + std::to_string(seq + 1) + " 200");
        return challenge;
    }

  private:
    Endpoint server_;
    UdpSocket socket_;
    bool bound_ = false;
};

class ServiceServerTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        ServiceOptions options;
        options.port = 0;
        options.aliasDomain = "service.localhost";
        options.accounts = {{"8001", "demo"}, {"8002", "other"}};
        options.retransmitInterval = 100ms;
        options.log = [this](const std::string &line) {
            std::lock_guard lock(logLock_);
            log_.push_back(line);
        };
        server_ = std::make_unique<ServiceServer>(options);
        std::string error;
        ASSERT_TRUE(server_->Start(&error)) << error;
        ASSERT_NE(server_->Port(), 0);
    }

    std::vector<std::string> Log()
    {
        std::lock_guard lock(logLock_);
        return log_;
    }

    std::mutex logLock_;
    std::vector<std::string> log_;
    std::unique_ptr<ServiceServer> server_; // last: its thread logs until it is gone
};

TEST_F(ServiceServerTest, HeloIsAcknowledgedAndAnsweredWithAFreshChallenge)
{
    BareClient client(server_->Port());
    auto [ack, reply] = client.Exchange("Helo 8001 1720 7");
    EXPECT_EQ(ack, "ACK 8001 1720 7");
    ASSERT_EQ(reply.rfind("Helo 8001 1720 7 200 ", 0), 0u) << reply;
    std::string challenge = reply.substr(21);
    EXPECT_EQ(challenge.size(), 16u);
    EXPECT_EQ(challenge.find_first_not_of("0123456789abcdef"), std::string::npos);

    // The same request again is a retransmission: the same answer, challenge included.
    EXPECT_EQ(client.Exchange("Helo 8001 1720 7").second, reply);
    // A new greeting gets a new challenge.
    auto second = client.Exchange("Helo 8001 1720 8").second;
    EXPECT_NE(second.substr(second.rfind(' ') + 1), challenge);
}

TEST_F(ServiceServerTest, AuthAcceptsOnlyTheDigestOfTheLastChallenge)
{
    BareClient client(server_->Port());
    auto [ack, helo] = client.Exchange("Helo 8001 1720 1");
    std::string challenge = helo.substr(helo.rfind(' ') + 1);

    struct Case {
        std::string request, reply;
    };
    const Case cases[] = {
        {"Auth 8001 1720 2 " + LoginDigest("8001", "wrong", "service.localhost", challenge),
         "Auth 8001 1720 2 400"},
        {"Auth 8001 1720 3 " + LoginDigest("8001", "demo", "other.domain", challenge),
         "Auth 8001 1720 3 400"},
        {"Auth 9999 1720 4 " + LoginDigest("9999", "demo", "service.localhost", challenge),
         "Auth 9999 1720 4 400"},
        {"Auth 8001 1720 5", "Auth 8001 1720 5 400"},
        {"Auth 8001 1720 6 " + LoginDigest("8001", "demo", "service.localhost", challenge),
         "Auth 8001 1720 6 200"},
        // The challenge is used up by the login.
        {"Auth 8001 1720 7 " + LoginDigest("8001", "demo", "service.localhost", challenge),
         "Auth 8001 1720 7 400"},
    };
    for (const Case &c : cases) {
        auto [ack, reply] = client.Exchange(c.request);
        EXPECT_EQ(ack, "ACK " + c.reply.substr(5, c.reply.size() - 9)) << c.request;
        EXPECT_EQ(reply, c.reply) << c.request;
    }
    EXPECT_TRUE(server_->IsLoggedIn("8001")) << "a refused second login ends nothing";
}

TEST_F(ServiceServerTest, LiveAnswers200OnlyToTheLoggedInAddressAndQuitEndsIt)
{
    BareClient client(server_->Port()), stranger(server_->Port());
    EXPECT_EQ(client.Exchange("Live 8001 1720 1").second, "Live 8001 1720 1 403");
    client.Login("8001", "demo", 2);
    EXPECT_TRUE(server_->IsLoggedIn("8001"));
    EXPECT_EQ(client.Exchange("Live 8001 1720 4").second, "Live 8001 1720 4 200");
    EXPECT_EQ(stranger.Exchange("Live 8001 1720 4").second, "Live 8001 1720 4 403");

    auto [ack, reply] = client.Exchange("Quit 8001 1720 5");
    EXPECT_EQ(ack, "ACK 8001 1720 5");
    EXPECT_EQ(reply, "");
    EXPECT_FALSE(server_->IsLoggedIn("8001"));
    EXPECT_EQ(client.Exchange("Live 8001 1720 6").second, "Live 8001 1720 6 403");
}

TEST_F(ServiceServerTest, ALoginElsewhereReplacesTheSession)
{
    BareClient first(server_->Port()), second(server_->Port());
    first.Login("8001", "demo", 1);
    second.Login("8001", "demo", 1);
    EXPECT_EQ(first.Exchange("Live 8001 1720 3").second, "Live 8001 1720 3 403");
    EXPECT_EQ(second.Exchange("Live 8001 1720 3").second, "Live 8001 1720 3 200");
}

TEST_F(ServiceServerTest, BadDatagramsAreDroppedWithoutAnyAnswer)
{
    BareClient client(server_->Port());
    const std::string cases[] = {
        std::string(1025, 'x'),
        "Helo 8001 1720 " + std::string(1010, '1'),
        "Helo 8001 1720",
        "Helo 8001 1720 seven",
        "Helo 8001 1720 ",
        std::string("Helo 8001\0 1720 1", 17),
        "Info 8001 1720 1 101",
        "",
        "ACK 8001",
    };
    for (const std::string &c : cases) {
        client.Send(c);
        EXPECT_EQ(client.Receive(200ms), std::nullopt) << c.substr(0, 40);
    }
    // Still serving.
    EXPECT_EQ(client.Exchange("Live 8001 1720 1").first, "ACK 8001 1720 1");
    EXPECT_GE(Log().size(), std::size(cases));
}

// Whatever arrives, the log holds one line of printable ASCII per entry, the peer's bytes
// written as escapes.
TEST_F(ServiceServerTest, TheLogShowsOnlyPrintableText)
{
    struct Case {
        const char *name;
        std::string datagram;
        const char *logged; ///< what the log line shows of it
    };
    const Case cases[] = {
        {"unknown keyword with GBK bytes", "Bogus \xc4\xe3\xba\xc3", "Bogus \\xc4\\xe3\\xba\\xc3"},
        {"GBK account", "Live \xc4\xe3 1720 3", "Live \\xc4\\xe3 1720 3"},
        {"backslash", "Bogus a\\b", "Bogus a\\x5cb"},
        {"escape sequence: not text, dropped", "Helo \x1b[2J 1720 4", "not text"},
        {"line end: not text, dropped", "Helo 8001 1720 5\nfake line", "not text"},
    };
    BareClient client(server_->Port());
    for (const Case &c : cases) {
        size_t before = Log().size();
        client.Send(c.datagram);
        // One line for each datagram, written once it is handled.
        for (int i = 0; i < 300 && Log().size() == before; i++)
            std::this_thread::sleep_for(10ms);
        std::vector<std::string> log = Log();
        ASSERT_GT(log.size(), before) << c.name;
        bool shown = false;
        for (size_t i = before; i < log.size(); i++) {
            for (unsigned char ch : log[i])
                EXPECT_TRUE(ch >= 0x20 && ch < 0x7f) << c.name << ": " << int(ch);
            shown = shown || log[i].find(c.logged) != std::string::npos;
        }
        EXPECT_TRUE(shown) << c.name << ": " << log.back();
    }
}

TEST_F(ServiceServerTest, NoticeIsRetransmittedUntilAcknowledged)
{
    BareClient client(server_->Port());
    client.Login("8001", "demo", 1);

    std::string error;
    int seq = server_->SendNotice(Notice::Kicked, "8001", &error);
    ASSERT_GE(seq, ServiceServer::kFirstNoticeSequence) << error;
    std::string notice = "Info 8001 1720 " + std::to_string(seq) + " 101";
    EXPECT_EQ(client.Receive(), notice);
    EXPECT_FALSE(server_->IsLoggedIn("8001")) << "a kick ends the session";
    EXPECT_EQ(client.Receive(), notice) << "resent while unacknowledged";

    // An ACK from another address does not count.
    BareClient stranger(server_->Port());
    stranger.Send("ACK 8001 1720 " + std::to_string(seq));
    EXPECT_EQ(client.Receive(), notice);

    client.Send("ACK 8001 1720 " + std::to_string(seq));
    EXPECT_EQ(client.Receive(400ms), std::nullopt) << "no more copies after the ACK";
    auto state = server_->NoticeStatus(seq);
    ASSERT_TRUE(state);
    EXPECT_TRUE(state->acknowledged);
    EXPECT_FALSE(state->givenUp);
    EXPECT_EQ(state->sends, 3);
}

TEST_F(ServiceServerTest, UnacknowledgedNoticeIsGivenUpAfterThreeSends)
{
    BareClient client(server_->Port());
    client.Exchange("Helo 8002 1720 1");
    std::string error;
    int seq = server_->SendNotice(Notice::KeepAlive, "8002", &error);
    ASSERT_GE(seq, 0) << error;
    for (int i = 0; i < 3; i++)
        EXPECT_EQ(client.Receive(), "Live 8002 1720 " + std::to_string(seq)) << "send " << i;
    EXPECT_EQ(client.Receive(400ms), std::nullopt);
    auto state = server_->NoticeStatus(seq);
    ASSERT_TRUE(state);
    EXPECT_TRUE(state->givenUp);
    EXPECT_EQ(state->sends, 3);

    EXPECT_EQ(server_->SendNotice(Notice::Relogin, "7777", &error), -1);
    EXPECT_EQ(error, "account 7777 has not been heard from");
}

} // namespace
} // namespace servicesim
