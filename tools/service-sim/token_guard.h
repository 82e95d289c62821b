// Freshness of H.235 password tokens: a gatekeeper takes a token only while its time stamp is
// close to its own clock, and only once.
#pragma once

#include <tools/service-sim/udp_socket.h>

#include <cstdint>
#include <ctime>
#include <map>
#include <string>

namespace servicesim {

class TokenGuard
{
  public:
    /** Seconds a time stamp may differ from the gatekeeper's clock, either way. */
    static constexpr int64_t kWindowSeconds = 30;

    enum class Verdict { Fresh, OutsideWindow, Replayed };

    /**
     * Takes a token (its encoding as key and its time stamp) of the request with sequence
     * number seq from `from`. Fresh tokens are remembered while they are inside the window; a
     * remembered one is Replayed, unless it comes again in a retransmission of the same
     * request (same address and sequence number).
     */
    Verdict Take(const std::string &key, uint32_t timestamp, const Endpoint &from, unsigned seq,
                 std::time_t now);

  private:
    struct Use {
        Endpoint from;
        unsigned seq;
        uint32_t timestamp;
    };
    std::map<std::string, Use> used_;
};

} // namespace servicesim
