// The shared socket fd: users, closing from another thread and pump-aware waits.
#include <pwlib/internal/sockethandle.h>

#include <algorithm>

#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace pwlib
{

SocketHandle::SocketHandle(int fd) : fd_(fd), wakeFd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

SocketHandle::~SocketHandle()
{
    if (fd_ >= 0)
        close(fd_);
    if (wakeFd_ >= 0)
        close(wakeFd_);
}

void SocketHandle::EnableReceiveTimes()
{
    if (receiveTimes_.load())
        return;
    // The system stamps received datagrams while some socket asks for it, and switching
    // that on or off is slow and deferred. A socket of our own keeps it on from the first
    // use to the end of the process, so that it does not flip with every call's sockets.
    static const int keeper = [] {
        int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        int on = 1;
        if (fd >= 0)
            setsockopt(fd, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof(on));
        return fd;
    }();
    (void)keeper;
    int on = 1;
    if (setsockopt(fd_, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof(on)) == 0)
        receiveTimes_ = true;
}

bool SocketHandle::Enter()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (closing_)
        return false;
    users_.push_back(std::this_thread::get_id());
    return true;
}

void SocketHandle::Leave()
{
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = std::find(users_.begin(), users_.end(), std::this_thread::get_id());
    if (it != users_.end())
        users_.erase(it);
    if (closing_)
        left_.notify_all();
}

void SocketHandle::Close()
{
    std::unique_lock<std::mutex> lock(mutex_);
    if (!closing_.exchange(true)) {
        shutdown(fd_, SHUT_RDWR);
        uint64_t one = 1;
        if (wakeFd_ >= 0 && write(wakeFd_, &one, sizeof(one)) < 0) {
            // The counter cannot overflow from a single write; nothing else can fail here.
        }
    }
    // A user further up this thread's own stack (a pump that closes the socket its thread
    // waits on) is not waited for; it sees the close when the pump returns.
    std::thread::id me = std::this_thread::get_id();
    left_.wait(lock, [&] {
        return std::all_of(users_.begin(), users_.end(),
                           [me](std::thread::id user) { return user == me; });
    });
}

SocketHandle::WaitResult SocketHandle::WaitFor(short events, const Deadline &deadline)
{
    struct pollfd fds[2] = {{fd_, events, 0}, {wakeFd_, POLLIN, 0}};
    int ready = PollWait(fds, wakeFd_ >= 0 ? 2 : 1, deadline);
    if (closing_ || fds[1].revents != 0)
        return Closed;
    if (ready < 0)
        return Failed;
    return ready == 0 ? TimedOut : Ready;
}

SocketHandle::WaitResult SocketHandle::WaitReadable(SocketHandle &first, SocketHandle *second,
                                                    const Deadline &deadline, bool &ready1,
                                                    bool &ready2)
{
    const short readable = POLLIN | POLLHUP | POLLERR;
    struct pollfd fds[4] = {{first.fd_, POLLIN, 0}, {first.wakeFd_, POLLIN, 0}};
    nfds_t count = 2;
    if (second != nullptr) {
        fds[2] = {second->fd_, POLLIN, 0};
        fds[3] = {second->wakeFd_, POLLIN, 0};
        count = 4;
    }
    int ready = PollWait(fds, count, deadline);
    ready1 = ready2 = false;
    if (first.closing_ || (second != nullptr && second->closing_))
        return Closed;
    if (ready < 0)
        return Failed;
    if (ready == 0)
        return TimedOut;
    ready1 = (fds[0].revents & readable) != 0;
    ready2 = second != nullptr && (fds[2].revents & readable) != 0;
    return Ready;
}

} // namespace pwlib
