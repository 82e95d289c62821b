// The file descriptor of an open socket, shared by the threads that use it.
#pragma once

#include <pwlib/internal/wait.h>

#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace pwlib
{

/// Owns a non-blocking socket fd and a wake-up eventfd. Every operation on the socket
/// registers as a user; Close() from any thread shuts the socket down, wakes the users and
/// waits until the users on other threads have left. The fd itself is closed only when the
/// last holder lets go, so no thread ever works on a closed (or reused) fd.
class SocketHandle
{
  public:
    /// Takes ownership of fd (which must be non-blocking).
    explicit SocketHandle(int fd);
    ~SocketHandle();
    SocketHandle(const SocketHandle &) = delete;
    SocketHandle &operator=(const SocketHandle &) = delete;

    int Fd() const { return fd_; }
    bool IsClosing() const { return closing_.load(); }

    /// Makes datagrams received from now on carry their receive time (once per socket).
    void EnableReceiveTimes();

    /// Registers the calling thread as a user; false once closing.
    bool Enter();
    void Leave();
    /// Shuts down, wakes the users and waits for those on other threads to leave.
    void Close();

    enum WaitResult { Ready, TimedOut, Closed, Failed };
    /// Waits until events are signalled on the fd, the deadline passes or the socket is
    /// closed. Runs the calling thread's wait pump.
    WaitResult WaitFor(short events, const Deadline &deadline);

    /// Waits on two sockets for reading; ready1/ready2 tell which are readable.
    static WaitResult WaitReadable(SocketHandle &first, SocketHandle *second,
                                   const Deadline &deadline, bool &ready1, bool &ready2);

  private:
    int fd_;
    int wakeFd_;
    std::atomic<bool> closing_{false};
    std::atomic<bool> receiveTimes_{false};
    std::mutex mutex_;
    std::condition_variable left_;
    std::vector<std::thread::id> users_;
};

/// One operation's use of a socket handle; false (no handle) when the socket is not open.
class SocketUse
{
  public:
    explicit SocketUse(std::shared_ptr<SocketHandle> handle) : handle_(std::move(handle))
    {
        if (handle_ && !handle_->Enter())
            handle_.reset();
    }
    ~SocketUse()
    {
        if (handle_)
            handle_->Leave();
    }
    SocketUse(const SocketUse &) = delete;
    SocketUse &operator=(const SocketUse &) = delete;

    explicit operator bool() const { return handle_ != nullptr; }
    SocketHandle *operator->() const { return handle_.get(); }
    SocketHandle &operator*() const { return *handle_; }

  private:
    std::shared_ptr<SocketHandle> handle_;
};

} // namespace pwlib
