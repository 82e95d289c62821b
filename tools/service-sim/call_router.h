// The gatekeeper's call-signalling port in the routed model: it takes each Setup, checks it
// against the admitted calls and relays the call to its destination.
#pragma once

#include <tools/service-sim/udp_socket.h>
#include <tools/service-sim/wake_thread.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>

namespace servicesim {

struct CallRouterOptions {
    std::string address = "127.0.0.1";
    uint16_t port = 0; ///< 0: any free port
    bool masking = false;
    /// The destination of the admitted call with this call identifier (GUID text), taken
    /// once; nothing when no such call was admitted.
    std::function<std::optional<Endpoint>(const std::string &callIdentifier)> takeAdmitted;
    std::function<void(const std::string &)> log;
};

/** The listener on its own thread and a relay thread per call. */
class CallRouter
{
  public:
    explicit CallRouter(CallRouterOptions options);
    ~CallRouter();
    CallRouter(const CallRouter &) = delete;
    CallRouter &operator=(const CallRouter &) = delete;

    bool Start(std::string *error);
    void Stop();
    uint16_t Port() const { return port_; }

  private:
    void Run();
    void OnCaller(int fd);
    /** Sockets of calls in progress, so that Stop can cut them short. */
    void Track(int fd);
    void CloseTracked(int fd);
    void Log(const std::string &line) const;

    CallRouterOptions options_;
    int listener_ = -1;
    uint16_t port_ = 0;
    WakeThread loop_;
    std::mutex mutex_;
    std::condition_variable idle_;
    int active_ = 0; ///< caller threads running
    std::set<int> open_;
};

} // namespace servicesim
