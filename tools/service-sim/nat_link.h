// The far end of the NAT link: phones keep a TCP link open and announce themselves on it;
// a call for such a phone is relayed down its link.
#pragma once

#include <tools/service-sim/tcp_frames.h>
#include <tools/service-sim/wake_thread.h>

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace servicesim {

struct NatLinkOptions {
    std::string address = "127.0.0.1";
    uint16_t linkPort = 0;  ///< where phones open their links (0: any free port)
    uint16_t relayPort = 0; ///< where callers send the Setup for a linked phone (0: any)
    bool masking = false;
    /// The endpoint identifier registered for an alias (empty when none).
    std::function<std::string(const std::string &alias)> endpointOf;
    std::function<void(const std::string &)> log;
};

/** The link server and the call relay, each on its own thread. */
class NatLinkServer
{
  public:
    explicit NatLinkServer(NatLinkOptions options);
    ~NatLinkServer();
    NatLinkServer(const NatLinkServer &) = delete;
    NatLinkServer &operator=(const NatLinkServer &) = delete;

    bool Start(std::string *error);
    void Stop();
    uint16_t LinkPort() const { return linkPort_; }
    uint16_t RelayPort() const { return relayPort_; }
    /** Announcements received from an endpoint identifier. */
    int AnnouncementsFrom(const std::string &endpointId) const;

  private:
    void Run();
    void OnLinkData(int fd);
    void OnCaller(int fd);
    void Relay(int caller, int link, std::vector<uint8_t> firstFrame);
    void Log(const std::string &line) const;

    NatLinkOptions options_;
    int linkListener_ = -1;
    int relayListener_ = -1;
    uint16_t linkPort_ = 0;
    uint16_t relayPort_ = 0;
    WakeThread loop_;
    std::vector<std::thread> relays_;

    mutable std::mutex mutex_;
    std::map<int, FrameSplitter> linkBuffers_; // link fd -> bytes not yet framed
    std::map<std::string, int> links_;               // endpoint identifier -> link fd
    std::map<std::string, int> announcements_;
};

} // namespace servicesim
