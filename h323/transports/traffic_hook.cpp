// The process-wide traffic hook.
#include <h323/transports/traffic_hook.h>

#include <atomic>

namespace {
std::atomic<const H323TrafficHook *> installedHook{nullptr};
}

void H323SetTrafficHook(const H323TrafficHook *hook)
{
    installedHook.store(hook, std::memory_order_release);
}

const H323TrafficHook *H323GetTrafficHook()
{
    return installedHook.load(std::memory_order_acquire);
}
