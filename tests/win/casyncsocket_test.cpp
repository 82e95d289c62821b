// CAsyncSocket: datagrams over loopback with the receive notice on the interface thread.
#include <win/casyncsocket.h>
#include <win/winmsg.h>

#include <QCoreApplication>
#include <QThread>

#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

namespace
{

using namespace std::chrono_literals;

class AppEnvironment : public ::testing::Environment
{
  public:
    void SetUp() override { m_app = new QCoreApplication(m_argc, m_argv); }
    void TearDown() override { delete m_app; }

  private:
    int m_argc = 1;
    char m_name[16] = "socket_test";
    char *m_argv[2] = {m_name, nullptr};
    QCoreApplication *m_app = nullptr;
};
const auto *const g_env = ::testing::AddGlobalTestEnvironment(new AppEnvironment);

bool RunUntil(const std::function<bool()> &done, std::chrono::milliseconds timeout = 5000ms)
{
    auto end = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

class Receiver : public CAsyncSocket
{
  public:
    bool readInHandler = true;
    int notices = 0;
    bool onUiThread = true;
    std::vector<std::string> datagrams;
    CString lastFrom;
    UINT lastPort = 0;

  protected:
    void OnReceive(int nErrorCode) override
    {
        EXPECT_EQ(nErrorCode, 0);
        ++notices;
        onUiThread = onUiThread && win::IsUiThread();
        if (!readInHandler)
            return;
        char buf[1025];
        int n = ReceiveFrom(buf, sizeof buf, lastFrom, lastPort);
        if (n >= 0)
            datagrams.emplace_back(buf, static_cast<size_t>(n));
    }
};

UINT PortOf(CAsyncSocket &s)
{
    CString address;
    UINT port = 0;
    EXPECT_TRUE(s.GetSockName(address, port));
    return port;
}

TEST(CAsyncSocketTest, DatagramsArriveThroughOnReceive)
{
    Receiver rx;
    CAsyncSocket tx;
    ASSERT_TRUE(AfxSocketInit());
    ASSERT_TRUE(rx.Create(0, SOCK_DGRAM));
    ASSERT_TRUE(tx.Create());
    UINT port = PortOf(rx);
    ASSERT_NE(port, 0u);

    EXPECT_EQ(tx.SendTo("Helo", 4, port, "127.0.0.1"), 4);
    EXPECT_EQ(tx.SendTo("Live", 4, port, "localhost"), 4);
    ASSERT_TRUE(RunUntil([&] { return rx.datagrams.size() == 2; }));
    EXPECT_EQ(rx.datagrams, (std::vector<std::string>{"Helo", "Live"}));
    EXPECT_EQ(rx.lastFrom, "127.0.0.1");
    EXPECT_EQ(rx.lastPort, PortOf(tx));
    EXPECT_TRUE(rx.onUiThread);

    // Sent from another thread, still noticed on the interface thread.
    std::thread([&] { EXPECT_EQ(tx.SendTo("ACK", 3, port, "127.0.0.1"), 3); }).join();
    ASSERT_TRUE(RunUntil([&] { return rx.datagrams.size() == 3; }));
    EXPECT_TRUE(rx.onUiThread);
    EXPECT_EQ(WSACleanup(), 0);
}

TEST(CAsyncSocketTest, NoticeComesAgainOnlyAfterAReceive)
{
    Receiver rx;
    rx.readInHandler = false;
    CAsyncSocket tx;
    ASSERT_TRUE(rx.Create());
    ASSERT_TRUE(tx.Create());
    UINT port = PortOf(rx);
    tx.SendTo("one", 3, port, "127.0.0.1");
    tx.SendTo("two", 3, port, "127.0.0.1");
    ASSERT_TRUE(RunUntil([&] { return rx.notices == 1; }));
    RunUntil([] { return false; }, 100ms);
    EXPECT_EQ(rx.notices, 1) << "an unread datagram gives one notice";

    char buf[16];
    EXPECT_EQ(rx.Receive(buf, sizeof buf), 3);
    ASSERT_TRUE(RunUntil([&] { return rx.notices == 2; }));
    EXPECT_EQ(rx.Receive(buf, sizeof buf), 3);
    EXPECT_EQ(rx.Receive(buf, sizeof buf), SOCKET_ERROR);
    EXPECT_EQ(CAsyncSocket::GetLastError(), WSAEWOULDBLOCK);
}

TEST(CAsyncSocketTest, ErrorsAreReportedAsSocketErrors)
{
    CAsyncSocket s;
    EXPECT_EQ(s.SendTo("x", 1, 9, "127.0.0.1"), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
    EXPECT_FALSE(s.Create(0, SOCK_STREAM));
    EXPECT_EQ(CAsyncSocket::GetLastError(), WSAESOCKTNOSUPPORT);

    ASSERT_TRUE(s.Create(0, SOCK_DGRAM, 0));
    EXPECT_FALSE(s.Create());
    EXPECT_EQ(s.SendTo("x", 1, 9, "no-such-host.invalid"), SOCKET_ERROR);
    EXPECT_EQ(CAsyncSocket::GetLastError(), WSAHOST_NOT_FOUND);

    Receiver rx;
    rx.readInHandler = false;
    ASSERT_TRUE(rx.Create());
    std::string big(2000, 'b');
    EXPECT_EQ(s.SendTo(big.data(), static_cast<int>(big.size()), PortOf(rx), "127.0.0.1"), 2000);
    ASSERT_TRUE(RunUntil([&] { return rx.notices == 1; }));
    char buf[1025];
    EXPECT_EQ(rx.Receive(buf, sizeof buf), SOCKET_ERROR) << "a datagram longer than the buffer";
    EXPECT_EQ(CAsyncSocket::GetLastError(), WSAEMSGSIZE);

    CAsyncSocket taken;
    EXPECT_FALSE(taken.Create(PortOf(rx)));
    EXPECT_EQ(CAsyncSocket::GetLastError(), WSAEADDRINUSE);

    s.Close();
    EXPECT_EQ(s.m_hSocket, INVALID_SOCKET);
    EXPECT_EQ(s.SendTo("x", 1, 9, "127.0.0.1"), SOCKET_ERROR);
}

// Closing the socket from inside its own notice is safe.
class SelfClosing : public Receiver
{
  protected:
    void OnReceive(int) override
    {
        ++notices;
        Close();
    }
};

TEST(CAsyncSocketTest, CloseInsideOnReceive)
{
    SelfClosing rx;
    CAsyncSocket tx;
    ASSERT_TRUE(rx.Create());
    ASSERT_TRUE(tx.Create());
    tx.SendTo("x", 1, PortOf(rx), "127.0.0.1");
    ASSERT_TRUE(RunUntil([&] { return rx.notices == 1; }));
    RunUntil([] { return false; }, 50ms);
    EXPECT_EQ(rx.notices, 1);
    EXPECT_EQ(rx.m_hSocket, INVALID_SOCKET);
}

} // namespace
