// A server's own thread with a wake-up event that ends its poll loop.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <thread>

namespace servicesim {

/** The thread polls Fd() beside its sockets and returns once it is readable. */
class WakeThread
{
  public:
    WakeThread() = default;
    ~WakeThread() { Stop(); }
    WakeThread(const WakeThread &) = delete;
    WakeThread &operator=(const WakeThread &) = delete;

    /** Runs body on the thread; false (error set) when the event cannot be made. */
    bool Start(std::function<void()> body, std::string *error);
    /** Sets the stop flag, wakes the thread and waits for it. */
    void Stop();
    bool Running() const { return thread_.joinable(); }
    int Fd() const { return fd_; }
    /** Set from Stop on: loops of other threads watch it too. */
    const std::atomic<bool> &Stopping() const { return stopping_; }

  private:
    int fd_ = -1;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

} // namespace servicesim
