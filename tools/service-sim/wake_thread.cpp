// A server's own thread with a wake-up event.
#include <tools/service-sim/wake_thread.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <sys/eventfd.h>
#include <unistd.h>

namespace servicesim {

bool WakeThread::Start(std::function<void()> body, std::string *error)
{
    fd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (fd_ < 0) {
        *error = std::string("eventfd: ") + std::strerror(errno);
        return false;
    }
    thread_ = std::thread(std::move(body));
    return true;
}

void WakeThread::Stop()
{
    if (thread_.joinable()) {
        stopping_ = true;
        uint64_t one = 1;
        (void)!::write(fd_, &one, sizeof(one));
        thread_.join();
    }
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

} // namespace servicesim
