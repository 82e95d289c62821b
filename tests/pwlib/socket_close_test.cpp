// Closing or deleting a socket from another thread ends a blocked operation at once; socket
// waits serve the waiting thread's pump.
#include <pwlib/psyncpoint.h>
#include <pwlib/ptcpsocket.h>
#include <pwlib/pthread.h>
#include <pwlib/ptimer.h>
#include <pwlib/pudpsocket.h>
#include <pwlib/waitpump.h>

#include <gtest/gtest.h>

#include <condition_variable>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <vector>

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace
{

using Address = PIPSocket::Address;
const Address loopback(127, 0, 0, 1);

/// A listener whose accept queue is full, so that one more connect blocks: the kernel
/// drops the SYNs until the queue has room. The filling connections are raw sockets.
class FullBacklog
{
  public:
    FullBacklog()
    {
        EXPECT_TRUE(listener.Listen(loopback, 1, 0));
        for (int i = 0; i < 16; ++i) {
            int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
            struct sockaddr_in sin = {};
            sin.sin_family = AF_INET;
            sin.sin_port = htons(listener.GetPort());
            sin.sin_addr.s_addr = loopback.GetNetworkOrder();
            connect(fd, reinterpret_cast<struct sockaddr *>(&sin), sizeof(sin));
            fillers_.push_back(fd);
            struct pollfd pfd = {fd, POLLOUT, 0};
            if (poll(&pfd, 1, 200) == 0) {
                full_ = true; // this one is left hanging: the queue is full
                break;
            }
        }
    }
    ~FullBacklog()
    {
        for (int fd : fillers_)
            close(fd);
    }
    bool IsFull() const { return full_; }

    PTCPSocket listener;

  private:
    std::vector<int> fillers_;
    bool full_ = false;
};

struct BlockedCall {
    const char *name;
    /// Sets up socket (owned by the case) and returns the call that blocks on it.
    std::function<std::function<BOOL()>(std::unique_ptr<PIPSocket> &socket)> setUp;
};

std::vector<BlockedCall> BlockedCalls(FullBacklog &backlog, PTCPSocket &listener, PTCPSocket &peer)
{
    return {
        {"Connect to a full backlog",
         [&](std::unique_ptr<PIPSocket> &socket) -> std::function<BOOL()> {
             auto *tcp = new PTCPSocket(backlog.listener.GetPort());
             socket.reset(tcp);
             return [tcp] { return tcp->Connect(loopback); };
         }},
        {"Read without data",
         [&](std::unique_ptr<PIPSocket> &socket) -> std::function<BOOL()> {
             auto *tcp = new PTCPSocket(listener.GetPort());
             socket.reset(tcp);
             EXPECT_TRUE(tcp->Connect(loopback));
             EXPECT_TRUE(peer.Accept(listener));
             return [tcp] {
                 char byte;
                 return tcp->Read(&byte, 1);
             };
         }},
        {"Accept without a caller",
         [&](std::unique_ptr<PIPSocket> &socket) -> std::function<BOOL()> {
             auto *tcp = new PTCPSocket;
             socket.reset(tcp);
             EXPECT_TRUE(tcp->Listen(loopback, 5, 0));
             return [tcp] {
                 PTCPSocket accepted;
                 return accepted.Accept(*tcp);
             };
         }},
        {"Select without data",
         [&](std::unique_ptr<PIPSocket> &socket) -> std::function<BOOL()> {
             auto *tcp = new PTCPSocket(listener.GetPort());
             socket.reset(tcp);
             EXPECT_TRUE(tcp->Connect(loopback));
             EXPECT_TRUE(peer.Accept(listener));
             return [tcp] { return PSocket::Select(*tcp, PMaxTimeInterval) < 0; };
         }},
        {"UDP ReadFrom without data",
         [&](std::unique_ptr<PIPSocket> &socket) -> std::function<BOOL()> {
             auto *udp = new PUDPSocket;
             socket.reset(udp);
             EXPECT_TRUE(udp->Listen(loopback, 5, 0));
             return [udp] {
                 char buffer[64];
                 Address from;
                 WORD port;
                 return udp->ReadFrom(buffer, sizeof(buffer), from, port);
             };
         }},
    };
}

/// Runs the blocked call, waits until it blocks, then ends it with endIt (on this thread)
/// and measures how long the call took to return.
void ExpectEndsAtOnce(const BlockedCall &c, std::function<void(std::unique_ptr<PIPSocket> &)> endIt)
{
    std::unique_ptr<PIPSocket> socket;
    std::function<BOOL()> call = c.setUp(socket);
    ASSERT_TRUE(socket) << c.name;
    // The calling thread's wait pump runs once its wait blocks: only then is the call there
    // to be ended (before, a close would come first and a connect would open the socket anew).
    std::mutex mutex;
    std::condition_variable changed;
    bool blocked = false, returned = false;
    auto result = std::async(std::launch::async, [&] {
        pwlib::SetWaitPump([&] {
            std::lock_guard<std::mutex> lock(mutex);
            blocked = true;
            changed.notify_all();
        });
        BOOL ok = call();
        pwlib::SetWaitPump(nullptr);
        std::lock_guard<std::mutex> lock(mutex);
        returned = true;
        changed.notify_all();
        return ok;
    });
    {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait_for(lock, std::chrono::seconds(30), [&] { return blocked || returned; });
        ASSERT_TRUE(blocked && !returned) << c.name << " did not block";
    }
    PTimeInterval start = PTimer::Tick();
    endIt(socket);
    ASSERT_EQ(result.wait_for(std::chrono::seconds(5)), std::future_status::ready)
        << c.name << " still blocked";
    EXPECT_LT((PTimer::Tick() - start).GetMilliSeconds(), 200) << c.name;
    EXPECT_FALSE(result.get()) << c.name;
}

class CloseFromAnotherThread : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(listener.Listen(loopback, 5, 0));
        listener.SetReadTimeout(5000);
        if (!backlog.IsFull())
            GTEST_SKIP() << "the accept queue never filled; a connect cannot be made to block";
    }

    FullBacklog backlog;
    PTCPSocket listener;
    PTCPSocket peer;
};

TEST_F(CloseFromAnotherThread, EndsEveryBlockedCallAtOnce)
{
    for (const BlockedCall &c : BlockedCalls(backlog, listener, peer)) {
        ExpectEndsAtOnce(c, [&](std::unique_ptr<PIPSocket> &socket) {
            EXPECT_TRUE(socket->Close()) << c.name;
            EXPECT_FALSE(socket->IsOpen()) << c.name;
        });
        peer.Close();
    }
}

TEST_F(CloseFromAnotherThread, DeletingTheSocketEndsEveryBlockedCallAtOnce)
{
    for (const BlockedCall &c : BlockedCalls(backlog, listener, peer)) {
        ExpectEndsAtOnce(c, [](std::unique_ptr<PIPSocket> &socket) { socket.reset(); });
        peer.Close();
    }
}

TEST_F(CloseFromAnotherThread, ReportsInterruptedAndTheSocketCanBeUsedAgain)
{
    PTCPSocket socket(listener.GetPort());
    ASSERT_TRUE(socket.Connect(loopback));
    ASSERT_TRUE(peer.Accept(listener));
    auto reader = std::async(std::launch::async, [&] {
        char byte;
        socket.Read(&byte, 1);
        return socket.GetErrorCode(PChannel::LastReadError);
    });
    ASSERT_EQ(reader.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
    socket.Close();
    ASSERT_EQ(reader.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_EQ(reader.get(), PChannel::Interrupted);

    PTCPSocket second;
    ASSERT_TRUE(socket.Connect(loopback)) << "a closed socket connects again";
    ASSERT_TRUE(second.Accept(listener));
    ASSERT_TRUE(second.Write("z", 1));
    socket.SetReadTimeout(5000);
    char byte;
    EXPECT_TRUE(socket.Read(&byte, 1));
}

TEST(SocketWaitPump, ReadFromAndSelectServeWakesWhileBlocked)
{
    PUDPSocket socket, sender;
    ASSERT_TRUE(socket.Listen(loopback, 5, 0));
    socket.SetReadTimeout(10000);
    std::atomic<int> pumpCalls{0};
    std::atomic<int> phase{0};
    std::promise<pwlib::WaitPumpTarget> target;
    auto ui = std::async(std::launch::async, [&] {
        target.set_value(pwlib::SetWaitPump([&] { ++pumpCalls; }));
        char buffer[8];
        Address from;
        WORD port;
        BOOL read = socket.ReadFrom(buffer, sizeof(buffer), from, port);
        phase = 1;
        int selected = PSocket::Select(socket, 10000);
        pwlib::SetWaitPump(nullptr);
        return read && selected == -1;
    });
    pwlib::WaitPumpTarget uiThread = target.get_future().get();
    auto awaitCalls = [&](int calls) {
        for (int i = 0; i < 500 && pumpCalls < calls; ++i) {
            pwlib::WakeWaitPump(uiThread);
            PThread::Sleep(10);
        }
        return pumpCalls >= calls;
    };
    EXPECT_TRUE(awaitCalls(3)) << "ReadFrom serves wakes";
    ASSERT_TRUE(sender.WriteTo("a", 1, loopback, socket.GetPort()));
    for (int i = 0; i < 500 && phase == 0; ++i)
        PThread::Sleep(10);
    EXPECT_TRUE(awaitCalls(pumpCalls + 2)) << "Select serves wakes";
    ASSERT_TRUE(sender.WriteTo("b", 1, loopback, socket.GetPort()));
    ASSERT_EQ(ui.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_TRUE(ui.get());
}

} // namespace
