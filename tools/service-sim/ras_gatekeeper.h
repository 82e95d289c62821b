// The simulated service's RAS gatekeeper: discovery, registration with password tokens,
// admission with credit, direct-routed calls between registered aliases, unregistration.
#pragma once

#include <tools/service-sim/accounts.h>
#include <tools/service-sim/token_guard.h>
#include <tools/service-sim/udp_socket.h>

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

class H225_RasMessage;

namespace servicesim {

struct GatekeeperOptions {
    std::string address = "127.0.0.1";
    uint16_t port = 1719; ///< 0: any free port
    std::string identifier = "KestrelinSim";
    Accounts accounts;    ///< empty: every alias registers without a password
    std::string balance;  ///< "h323-credit-amount" in RCF and ACF when not empty
    int creditTime = -1;  ///< "h323-credit-time" seconds in ACF when >= 0
    bool natHint = false; ///< RCF says "NAT=1" and names the NAT link's far end
    uint16_t natPort = 0; ///< the NAT link's far end (its port on address)
    /// Where admitted calls to NAT-linked aliases go (the NAT side's relay), 0: direct.
    uint16_t natRelayPort = 0;
    /// The gatekeeper-routed model: calls are admitted to this call-signalling port of the
    /// gatekeeper (its CallRouter), which relays them; 0: direct-routed calls.
    uint16_t routerPort = 0;
    bool masking = false;
    unsigned timeToLive = 0; ///< seconds granted in RCF, 0: none
    std::string alternateGatekeeper; ///< "a.b.c.d:port" listed in GCF and RCF when set
    std::function<void(const std::string &)> log;
    /// Set: the port is another server's; RAS arrives through Deliver and leaves from here.
    UdpSocket *sharedSocket = nullptr;
};

/** One RAS gatekeeper on its own thread; public calls are safe from any thread. */
class RasGatekeeper
{
  public:
    explicit RasGatekeeper(GatekeeperOptions options);
    ~RasGatekeeper();
    RasGatekeeper(const RasGatekeeper &) = delete;
    RasGatekeeper &operator=(const RasGatekeeper &) = delete;

    bool Start(std::string *error);
    void Stop();
    uint16_t Port() const { return port_; }

    /**
     * Handles one datagram received on the shared socket (length: its full length, longer
     * than data when it was cut). Safe from any thread.
     */
    void Deliver(const Endpoint &from, std::string data, size_t length);

    /** Sends URQ to the endpoint registered with alias; false when there is none. */
    bool Unregister(const std::string &alias, std::string *error);
    bool IsRegistered(const std::string &alias) const;
    /** The call-signalling address ("a.b.c.d:port") of a registered alias, empty if none. */
    std::string SignalAddressOf(const std::string &alias) const;
    /** The endpoint identifier of a registered alias, empty if none. */
    std::string EndpointIdOf(const std::string &alias) const;
    /**
     * Routed model: the destination of the call admitted under callIdentifier (GUID text),
     * taken once; nothing when no such call was admitted.
     */
    std::optional<Endpoint> TakeRoutedCall(const std::string &callIdentifier);
    /** Counts of the exchanges handled, by RAS message name of the request. */
    int CountOf(const std::string &requestName) const;

  private:
    struct Registration {
        std::string endpointId;
        std::vector<std::string> aliases;
        Endpoint rasAddress;
        Endpoint signalAddress;
    };

    void Run();
    void Handle(const Endpoint &from, std::string datagram);
    void Send(const Endpoint &to, const H225_RasMessage &msg);
    UdpSocket &Socket() { return options_.sharedSocket ? *options_.sharedSocket : socket_; }
    std::string OnGatekeeperRequest(const H225_RasMessage &in, H225_RasMessage &out);
    std::string OnRegistrationRequest(const Endpoint &from, const H225_RasMessage &in,
                                      H225_RasMessage &out);
    std::string OnUnregistrationRequest(const H225_RasMessage &in, H225_RasMessage &out);
    std::string OnAdmissionRequest(const H225_RasMessage &in, H225_RasMessage &out);
    std::string OnDisengageRequest(const H225_RasMessage &in, H225_RasMessage &out);
    std::string ServiceText(bool admission) const;
    Registration *FindByEndpointId(const std::string &id);
    Registration *FindByAlias(const std::string &alias);
    void Log(const std::string &line) const;

    GatekeeperOptions options_;
    UdpSocket socket_;
    uint16_t port_ = 0;
    int wakeFd_ = -1;
    std::atomic<bool> stopping_{false};
    std::thread thread_;

    mutable std::mutex mutex_;
    std::map<std::string, Registration> registrations_; // by endpoint identifier
    std::map<std::string, Endpoint> routedCalls_;       // admitted, by call identifier
    std::map<std::string, int> counts_;
    TokenGuard tokens_; // of the registrations with a password
    unsigned nextEndpoint_ = 1;
    unsigned nextSequence_ = 1;
};

} // namespace servicesim
