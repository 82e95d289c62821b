// The simulated datagram service: greeting, login digest check, keep-alive, log-out, notices.
#pragma once

#include <tools/service-sim/accounts.h>
#include <tools/service-sim/udp_socket.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace servicesim
{

/**
 * Wire formats (tokens separated by one space; <seq> of a reply is that of its request):
 *
 *   phone -> service            service -> phone
 *   Helo <id1> <id2> <seq>        ACK <id1> <id2> <seq>, then Helo <id1> <id2> <seq> 200
 * <challenge> Auth <id1> <id2> <seq> <d>    ACK ..., then Auth <id1> <id2> <seq> 200 | 400 Live
 * <id1> <id2> <seq>        ACK ..., then Live <id1> <id2> <seq> 200 | 403 Quit <id1> <id2> <seq>
 * ACK ...
 *
 * <id1> is the account. A challenge is 16 lowercase hexadecimal digits, fresh for each new
 * greeting; the Auth digest must be the login digest of the account, its password, the alias
 * domain and the last challenge given to that address. A repeated request (same address,
 * keyword and sequence) is acknowledged and answered with the same reply again.
 *
 * Notices (retransmitted until acknowledged with "ACK <id1> <id2> <seq>"):
 *   Info <id1> <id2> <seq> 101    somebody else logged in with the account (ends the session)
 *   Info <id1> <id2> <seq> 102    log in again (ends the session)
 *   Live <id1> <id2> <seq>        keep-alive from the service
 * Notice sequence numbers run from 100001 up, apart from the phone's 1 to 60000, so that a
 * notice is never taken for a repeated reply.
 */
struct ServiceOptions {
    std::string address = "127.0.0.1";
    uint16_t port = 19900; ///< 0: any free port
    std::string aliasDomain;
    Accounts accounts;
    std::chrono::milliseconds retransmitInterval{3000};
    int noticeSends = 3;                          ///< sends of one notice before it is given up
    std::function<void(const std::string &)> log; ///< one line per exchange; empty: silent
    /**
     * Set: the port is shared, and every datagram that IsServiceDatagram does not claim goes
     * here, on the server's thread, with its full length (RAS on the same port).
     */
    std::function<void(const Endpoint &from, std::string data, size_t length)> otherDatagrams;
};

/** True when a datagram is the service protocol's: text opening with one of its keywords. */
bool IsServiceDatagram(const std::string &data);

enum class Notice { Kicked, Relogin, KeepAlive };

/** Progress of one notice. */
struct NoticeState {
    int sends = 0;
    bool acknowledged = false;
    bool givenUp = false;
};

/** One UDP server on its own thread; every public call is safe from any thread. */
class ServiceServer
{
  public:
    explicit ServiceServer(ServiceOptions options);
    ~ServiceServer();
    ServiceServer(const ServiceServer &) = delete;
    ServiceServer &operator=(const ServiceServer &) = delete;

    /** Binds and starts serving; false with error set when the port cannot be bound. */
    bool Start(std::string *error);
    void Stop();
    uint16_t Port() const { return port_; }
    /** The bound socket, for a server that answers on the same port (valid until Stop). */
    UdpSocket &Socket() { return socket_; }

    /**
     * Sends a notice to the address the account was last heard from. Returns the notice's
     * sequence number, or -1 with error set when the account has not been heard from.
     */
    int SendNotice(Notice notice, const std::string &account, std::string *error);

    std::optional<NoticeState> NoticeStatus(int sequence) const;
    bool IsLoggedIn(const std::string &account) const;

    static constexpr size_t kMaxDatagram = 1024;
    static constexpr size_t kMaxSharedDatagram = 10000; ///< received on a shared port
    static constexpr int kFirstNoticeSequence = 100001;

  private:
    struct Reply {
        std::string request; ///< keyword and sequence
        std::string text;
    };
    struct Peer {
        std::string id1, id2;      ///< identity of the last request, where notices go
        std::string challenge;     ///< of the last greeting, until a login uses it
        std::string account;       ///< logged in as; empty when not
        std::deque<Reply> replies; ///< the last few, to answer repeats alike
        std::chrono::steady_clock::time_point lastHeard;
    };
    struct PendingNotice {
        Endpoint to;
        std::string text;
        NoticeState state;
        std::chrono::steady_clock::time_point next;
    };

    void Run();
    void HandleDatagram(const Endpoint &from, const std::string &data, size_t length);
    std::string Answer(const Endpoint &from, Peer &peer, const std::string &keyword,
                       const std::vector<std::string> &tokens, std::string *note);
    void HandleAck(const Endpoint &from, const std::vector<std::string> &tokens);
    void Retransmit(std::chrono::steady_clock::time_point now);
    int NextTimeoutMs(std::chrono::steady_clock::time_point now) const;
    Peer &PeerFor(const Endpoint &from);
    void Log(const std::string &line) const;
    void Wake();

    ServiceOptions options_;
    UdpSocket socket_;
    uint16_t port_ = 0;
    int wakeFd_ = -1;
    std::atomic<bool> stopping_{false};
    std::thread thread_;

    mutable std::mutex mutex_;
    std::map<Endpoint, Peer> peers_;
    std::map<int, PendingNotice> notices_;
    int nextNotice_ = kFirstNoticeSequence;
    std::mt19937_64 random_;
};

} // namespace servicesim
