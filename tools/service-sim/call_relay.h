// Relaying one call's signalling between two TCP connections, frame by frame, as a
// gatekeeper that routes the call signalling does.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

class Q931;

namespace servicesim {

/** What the relay knows of the call from its Setup. */
struct RelayedCall {
    unsigned callReference = 0;
    std::vector<uint8_t> callIdentifier; ///< GUID octets; empty when the Setup had none
};

/** A Release Complete of the relay to one side: from the destination towards the caller. */
Q931 ReleaseCompleteFor(const RelayedCall &call, bool towardsCaller, unsigned cause);

enum class RelayEnd { Released, CallerClosed, CalleeClosed, Broken, Stopped };
const char *RelayEndName(RelayEnd end);

/**
 * Passes whole TPKT frames both ways, unchanged, until a Release Complete has gone through
 * or a side closes; a side left behind by the other's closing gets a Release Complete with
 * cause normal clearing. Closes neither socket.
 */
RelayEnd RelayCall(int caller, int callee, bool masking, const RelayedCall &call,
                   const std::atomic<bool> &stopping);

} // namespace servicesim
