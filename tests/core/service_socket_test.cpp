// Service client against a scripted server on loopback: parsing, acknowledgements, duplicates,
// the senders' formats, and datagrams that must be dropped.
#include "service_test_support.h"

#include <core/service_status_texts.h>
#include <core/window_messages.h>

#include <tools/service-sim/udp_socket.h>

#include <win/codepage.h>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <memory>
#include <optional>
#include <poll.h>

namespace
{

using namespace std::chrono_literals;
using servicesim::Endpoint;
using servicesim::UdpSocket;
using servicetest::RecordingWindow;

// A server socket that sends scripted datagrams to the client and collects what comes back.
class ScriptedServer
{
  public:
    explicit ScriptedServer(const char *address = "127.0.0.1", uint16_t port = 0)
    {
        std::string error;
        bound = socket.Bind(address, port, &error);
        EXPECT_TRUE(bound) << error;
    }

    void SendTo(UINT clientPort, const std::string &data)
    {
        socket.SendTo({INADDR_LOOPBACK, static_cast<uint16_t>(clientPort)}, data);
    }

    std::optional<std::string> Receive(std::chrono::milliseconds timeout)
    {
        pollfd fd{socket.Fd(), POLLIN, 0};
        if (::poll(&fd, 1, static_cast<int>(timeout.count())) <= 0)
            return std::nullopt;
        std::string data;
        Endpoint from;
        size_t length;
        if (socket.Receive(&data, 2048, &from, &length) != UdpSocket::Received::Datagram)
            return std::nullopt;
        return data;
    }

    /** Everything the client has sent that is already waiting. */
    std::vector<std::string> Drain()
    {
        std::vector<std::string> all;
        while (auto data = Receive(0ms))
            all.push_back(*data);
        return all;
    }

    UdpSocket socket;
    bool bound = false;
};

class ServiceSocketTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        servicetest::EnsureApplication();
        Reopen();
    }

    // A fresh client (empty ring, nothing recorded) towards the scripted server.
    void Reopen()
    {
        window_.reset();
        client_ = std::make_unique<CServiceSocket>();
        window_ = std::make_unique<RecordingWindow>(*client_);
        CString error;
        ASSERT_TRUE(client_->OpenServiceSocket(window_.get(), "127.0.0.1",
                                               server_.socket.LocalPort(), "8001", 1991, &error))
            << error;
        CString address;
        ASSERT_TRUE(client_->GetSockName(address, clientPort_));
    }

    // Sends the datagrams from `from`, then an ACK from the server as a marker; returns once
    // the client has handled the marker, so every datagram before it has been handled too.
    void Deliver(const std::vector<std::string> &datagrams, ScriptedServer *from = nullptr)
    {
        for (const std::string &d : datagrams)
            (from ? from : &server_)->SendTo(clientPort_, d);
        std::string marker = "end" + std::to_string(++markers_);
        server_.SendTo(clientPort_, "ACK - - " + marker);
        ASSERT_TRUE(servicetest::WaitUntil([&] {
            return !window_->m_records.empty() &&
                   window_->m_records.back().token3 == marker.c_str();
        })) << "the client did not handle the marker";
        window_->m_records.pop_back();
    }

    // The client sends a request ("Helo 2": keyword and sequence) and the server takes it,
    // so that only replies are left to drain.
    void Send(const std::string &request)
    {
        client_->m_nSequence = std::stoi(request.substr(5));
        const std::string keyword = request.substr(0, 4);
        int sent = keyword == "Helo"   ? client_->SendHelo()
                   : keyword == "Auth" ? client_->SendAuth("d")
                                       : client_->SendLive();
        ASSERT_EQ(sent, 0);
        ASSERT_TRUE(server_.Receive(2000ms)) << request << " did not arrive";
    }

    ScriptedServer server_;
    std::unique_ptr<CServiceSocket> client_;
    std::unique_ptr<RecordingWindow> window_;
    UINT clientPort_ = 0;
    int markers_ = 0;
};

struct Exchange {
    const char *name;
    // Requests the client sent first, as keyword and sequence ("Auth 17").
    std::vector<std::string> sent;
    std::vector<std::string> datagrams;
    std::vector<std::string> acks;
    std::vector<UINT> messages;
    // What the handler of the last message reads; null: not checked.
    const char *status = nullptr;
    const char *challenge = nullptr;
    const char *token3 = nullptr;
};

std::string Padded(std::string head, size_t size)
{
    return head.append(size - head.size(), 'z');
}

TEST_F(ServiceSocketTest, EachDatagramIsAcknowledgedFirstAndReportedByItsStatus)
{
    using namespace service_status;
    const Exchange cases[] = {
        {"auth accepted, repeat acknowledged but not handled",
         {"Auth 17"},
         {"Auth x y 17 200", "Auth x y 17 200"},
         {"ACK x y 17", "ACK x y 17"},
         {WM_SVC_AUTH_OK}},
        {"auth 400", {"Auth 1"}, {"Auth x y 1 400"}, {"ACK x y 1"}, {WM_SVC_AUTH_FAILED}, kAuthWrong},
        {"auth 404", {"Auth 1"}, {"Auth x y 1 404"}, {"ACK x y 1"}, {WM_SVC_AUTH_FAILED}, kAuthInUse},
        {"auth 500", {"Auth 1"}, {"Auth x y 1 500"}, {"ACK x y 1"}, {WM_SVC_AUTH_FAILED}, kServerError},
        {"auth 501", {"Auth 1"}, {"Auth x y 1 501"}, {"ACK x y 1"}, {WM_SVC_AUTH_FAILED}, kNetworkBusy},
        {"auth with an unknown status", {"Auth 1"}, {"Auth x y 1 302"}, {"ACK x y 1"}, {}},
        {"helo 200 keeps the challenge",
         {"Helo 2"},
         {"Helo x y 2 200 c0ffee"},
         {"ACK x y 2"},
         {WM_SVC_HELO_OK},
         nullptr,
         "c0ffee"},
        {"helo 400", {"Helo 2"}, {"Helo x y 2 400"}, {"ACK x y 2"}, {WM_SVC_HELO_FAILED}, kHeloError},
        {"helo 500", {"Helo 2"}, {"Helo x y 2 500"}, {"ACK x y 2"}, {WM_SVC_HELO_FAILED}, kServerError},
        {"helo 501", {"Helo 2"}, {"Helo x y 2 501"}, {"ACK x y 2"}, {WM_SVC_HELO_FAILED}, kNetworkBusy},
        {"keep-alive from the server", {}, {"Live x y 5"}, {"ACK x y 5"}, {}},
        {"live 200", {"Live 5"}, {"Live x y 5 200"}, {"ACK x y 5"}, {WM_SVC_LIVE_OK}, kLiveNormal},
        {"live 403 each time, no duplicate check",
         {"Live 5"},
         {"Live x y 5 403", "Live x y 5 403"},
         {"ACK x y 5", "ACK x y 5"},
         {WM_SVC_LIVE_REFUSED, WM_SVC_LIVE_REFUSED},
         kLiveNotLoggedIn},
        {"info 101 once",
         {},
         {"Info x y 9 101", "Info x y 9 101"},
         {"ACK x y 9", "ACK x y 9"},
         {WM_SVC_KICKED},
         kKicked},
        {"info 102", {}, {"Info x y 9 102"}, {"ACK x y 9"}, {WM_SVC_RELOGIN}, kRelogin},
        {"msg", {}, {"Msg x y 8 hello there"}, {"ACK x y 8"}, {}},
        {"quit", {}, {"Quit x y 9"}, {"ACK x y 9"}, {}},
        {"ack is reported, never acknowledged",
         {},
         {"ACK x y 12"},
         {},
         {WM_SVC_ACK},
         nullptr,
         nullptr,
         "12"},
        {"1024 bytes are a datagram", {}, {Padded("Msg x y 4 ", 1024)}, {"ACK x y 4"}, {}},
        // A greeting accepted without a challenge has failed; no old text stands in for one.
        {"helo 200 without a challenge",
         {"Helo 2"},
         {"Helo x y 2 200"},
         {"ACK x y 2"},
         {WM_SVC_HELO_FAILED},
         kHeloError,
         ""},
        {"helo 200 with an empty challenge",
         {"Helo 2"},
         {"Helo x y 2 200 "},
         {"ACK x y 2"},
         {WM_SVC_HELO_FAILED},
         kHeloError,
         ""},
        {"an old status text is no challenge",
         {"Auth 1", "Helo 2"},
         {"Auth x y 1 400", "Helo x y 2 200"},
         {"ACK x y 1", "ACK x y 2"},
         {WM_SVC_AUTH_FAILED, WM_SVC_HELO_FAILED},
         kHeloError,
         ""},
        // Replies that answer no request of theirs: acknowledged, otherwise ignored.
        {"reply to an older greeting",
         {"Helo 2", "Helo 3"},
         {"Helo x y 2 200 old", "Helo x y 3 200 new"},
         {"ACK x y 2", "ACK x y 3"},
         {WM_SVC_HELO_OK},
         nullptr,
         "new"},
        {"stale auth 400 after the login was accepted",
         {"Auth 7", "Auth 8"},
         {"Auth x y 8 200", "Auth x y 7 400"},
         {"ACK x y 8", "ACK x y 7"},
         {WM_SVC_AUTH_OK}},
        {"auth reply without a request", {}, {"Auth x y 17 200"}, {"ACK x y 17"}, {}},
        {"reply of another kind", {"Helo 4"}, {"Auth x y 4 200"}, {"ACK x y 4"}, {}},
        {"live reply to an older keep-alive",
         {"Live 5", "Live 6"},
         {"Live x y 5 403"},
         {"ACK x y 5"},
         {}},
        // Dropped without an acknowledgement.
        {"over-long", {"Auth 3"}, {Padded("Auth x y 3 200 ", 1025)}, {}, {}},
        {"no sequence token", {}, {"Helo x y"}, {}, {}},
        {"empty sequence token", {}, {"Helo x y  200"}, {}, {}},
        {"zero byte inside", {"Auth 1"}, {std::string("Auth x\0y 1 200", 14)}, {}, {}},
        {"empty datagram", {}, {""}, {}, {}},
        {"unknown keyword", {}, {"Bogus x y 1 200"}, {}, {}},
        {"short ack", {}, {"ACK x y"}, {}, {}},
        {"binary", {}, {std::string("\xff\xfe\x01\x02 \x80", 6)}, {}, {}},
    };
    for (const Exchange &c : cases) {
        SCOPED_TRACE(c.name);
        Reopen();
        for (const std::string &request : c.sent)
            Send(request);
        Deliver(c.datagrams);
        EXPECT_EQ(server_.Drain(), c.acks);
        EXPECT_EQ(window_->Messages(), c.messages);
        if (window_->m_records.empty())
            continue;
        const RecordingWindow::Record &last = window_->m_records.back();
        EXPECT_EQ(last.wParam, 0u);
        EXPECT_EQ(last.lParam, 0);
        if (c.status) {
            EXPECT_EQ(last.status, c.status);
        }
        if (c.challenge) {
            EXPECT_EQ(last.challenge, c.challenge);
        }
        if (c.token3) {
            EXPECT_EQ(last.token3, c.token3);
        }
    }
}

TEST_F(ServiceSocketTest, AcknowledgementLeavesBeforeTheHandlerRuns)
{
    Send("Auth 17");
    std::vector<std::string> seenByHandler;
    window_->m_onMessage = [&] {
        if (window_->m_records.back().message == WM_SVC_AUTH_OK)
            seenByHandler = server_.Drain();
    };
    Deliver({"Auth x y 17 200"});
    EXPECT_EQ(seenByHandler, std::vector<std::string>{"ACK x y 17"});
}

TEST_F(ServiceSocketTest, RingForgetsTheOldestIdAfterFiftyOthers)
{
    std::vector<std::string> fifty;
    for (int id = 1; id <= 50; id++)
        fifty.push_back("Msg x y " + std::to_string(id) + " hi");
    Deliver(fifty);
    Deliver({"Info x y 1 101", "Info x y 50 101"});
    EXPECT_EQ(window_->Messages(), std::vector<UINT>{}) << "all fifty ids remembered";

    // 51 takes the slot of 1, which is then handled again; 3 is still remembered.
    Deliver({"Msg x y 51 hi", "Info x y 1 101", "Info x y 3 101"});
    EXPECT_EQ(window_->Messages(), std::vector<UINT>{WM_SVC_KICKED});
}

TEST_F(ServiceSocketTest, DatagramsFromAnyOtherAddressAreDroppedUnanswered)
{
    ScriptedServer otherPort("127.0.0.1");
    ScriptedServer otherAddress("127.0.0.2", server_.socket.LocalPort());
    ASSERT_TRUE(otherPort.bound && otherAddress.bound);
    Send("Auth 7");

    Deliver({"Auth x y 7 200", "ACK x y 8"}, &otherPort);
    Deliver({"Auth x y 7 200", "ACK x y 8"}, &otherAddress);
    EXPECT_TRUE(window_->m_records.empty());
    EXPECT_EQ(otherPort.Drain(), std::vector<std::string>{});
    EXPECT_EQ(otherAddress.Drain(), std::vector<std::string>{});

    // The ring did not take the stranger's id: the server's own Auth 7 is handled.
    Deliver({"Auth x y 7 200"});
    EXPECT_EQ(window_->Messages(), std::vector<UINT>{WM_SVC_AUTH_OK});
    EXPECT_EQ(server_.Drain(), std::vector<std::string>{"ACK x y 7"});
}

TEST_F(ServiceSocketTest, RequestsCarryTheIdentityAndTheCurrentSequence)
{
    client_->m_nSequence = 41;
    EXPECT_EQ(client_->SendHelo(), 0);
    EXPECT_EQ(client_->SendAuth("0123456789abcdef0123456789abcdef"), 0);
    EXPECT_EQ(client_->NextSequence(), 42);
    EXPECT_EQ(client_->SendLive(), 0);
    EXPECT_EQ(client_->SendQuit(), 0);
    EXPECT_EQ(client_->SendText("raw text"), 0);
    std::vector<std::string> sent;
    while (auto d = server_.Receive(2000ms)) {
        sent.push_back(*d);
        if (sent.size() == 5)
            break;
    }
    EXPECT_EQ(sent, (std::vector<std::string>{
                        "Helo 8001 1991 41",
                        "Auth 8001 1991 41 0123456789abcdef0123456789abcdef",
                        "Live 8001 1991 42",
                        "Quit 8001 1991 42",
                        "raw text",
                    }));
}

TEST_F(ServiceSocketTest, ClosedSocketSendsNothing)
{
    client_->CloseServiceSocket();
    EXPECT_EQ(client_->m_bOpen, 0);
    EXPECT_EQ(client_->SendHelo(), -1);
    EXPECT_EQ(client_->SendAuth("d"), -1);
    EXPECT_EQ(client_->SendLive(), -1);
    EXPECT_EQ(client_->SendQuit(), -1);
    EXPECT_EQ(server_.Receive(100ms), std::nullopt);

    CServiceSocket never;
    EXPECT_EQ(never.m_bOpen, 0);
    EXPECT_EQ(never.SendHelo(), -1);
}

TEST_F(ServiceSocketTest, OpeningTowardsAnUnknownHostFailsWithAReason)
{
    CServiceSocket socket;
    CString error;
    EXPECT_FALSE(socket.OpenServiceSocket(window_.get(), "no-such-host.invalid", 19900, "8001",
                                          1991, &error));
    EXPECT_NE(error.Find("no-such-host.invalid"), -1) << error;
    EXPECT_EQ(socket.m_bOpen, 0);
    EXPECT_EQ(socket.SendHelo(), -1);
}

TEST(ServiceSocketSequence, RunsFromOneTo60000AndWraps)
{
    CServiceSocket socket;
    EXPECT_GE(socket.m_nSequence, 1);
    EXPECT_LE(socket.m_nSequence, 60000);
    socket.m_nSequence = 59999;
    EXPECT_EQ(socket.NextSequence(), 60000);
    EXPECT_EQ(socket.FormatSequence(), "60000");
    EXPECT_EQ(socket.NextSequence(), 1);
    EXPECT_EQ(socket.m_nSequence, 1);
    EXPECT_EQ(socket.FormatSequence(), "1");
}

TEST(ServiceSocketTokens, SplitAndAcknowledgeAnyText)
{
    struct Case {
        const char *text;
        int count;
        std::vector<const char *> tokens; // entries 0 to 5
        const char *ack;
    };
    const Case cases[] = {
        {"Auth x y 17 200", 5, {"Auth", "x", "y", "17", "200", "kept"}, "ACK x y 17"},
        {"Helo x y 2 200 abc", 6, {"Helo", "x", "y", "2", "200", "abc"}, "ACK x y 2"},
        {"Msg x y 3 a b c", 7, {"Msg", "x", "y", "3", "a", "b"}, "ACK x y 3"},
        {"Live x y 5", 4, {"Live", "x", "y", "5", "", "kept"}, "ACK x y 5"},
        {"Helo", 1, {"Helo", "", "", "", "", "kept"}, "ACK   "},
        {"", 1, {"", "", "", "", "", "kept"}, "ACK   "},
        {"a  b ", 4, {"a", "", "b", "", "", "kept"}, "ACK  b "},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        CServiceSocket socket;
        for (CString &token : socket.m_strToken)
            token = "kept";
        EXPECT_EQ(socket.SplitTokens(c.text), c.count);
        for (int i = 0; i < 6; i++)
            EXPECT_EQ(socket.m_strToken[i], c.tokens[i]) << "entry " << i;
        EXPECT_EQ(socket.m_strToken[6], "kept") << "the challenge is not touched";
        EXPECT_EQ(socket.BuildAck(c.text), c.ack);
    }
}

TEST(ServiceStatusTexts, AreChineseInGbk)
{
    using namespace service_status;
    struct Case {
        const char *gbk, *utf8;
    };
    const Case cases[] = {
        {kAuthWrong, "账号或密码错误"}, {kAuthInUse, "该用户已经登录"},
        {kServerError, "服务器错误"},   {kNetworkBusy, "网络繁忙"},
        {kHeloError, "发生错误"},       {kLiveNormal, "正常"},
        {kLiveNotLoggedIn, "尚未登录"}, {kKicked, "有人已使用您的账号登录"},
        {kRelogin, "请重新登录"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(win::AnsiToUtf8(c.gbk), c.utf8);
}

} // namespace
