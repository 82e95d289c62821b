// Freshness of H.235 password tokens.
#include <tools/service-sim/token_guard.h>

namespace servicesim {

namespace {

bool Inside(uint32_t timestamp, std::time_t now)
{
    int64_t difference = int64_t(now) - int64_t(timestamp);
    return difference <= TokenGuard::kWindowSeconds && difference >= -TokenGuard::kWindowSeconds;
}

} // namespace

TokenGuard::Verdict TokenGuard::Take(const std::string &key, uint32_t timestamp,
                                     const Endpoint &from, unsigned seq, std::time_t now)
{
    // Tokens that left the window are refused by their time stamp alone.
    for (auto it = used_.begin(); it != used_.end();)
        it = Inside(it->second.timestamp, now) ? std::next(it) : used_.erase(it);
    if (!Inside(timestamp, now))
        return Verdict::OutsideWindow;
    auto [it, added] = used_.try_emplace(key, Use{from, seq, timestamp});
    if (added || (it->second.from == from && it->second.seq == seq))
        return Verdict::Fresh;
    return Verdict::Replayed;
}

} // namespace servicesim
