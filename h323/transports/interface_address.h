// The local interface address the system would use to reach a remote IPv4 address.
#pragma once

#include <pwlib/pipsocket.h>

namespace h323 {

/// The address of the interface that routes to remote (the host's main address when the
/// route cannot be found; 127.0.0.1 for a loopback remote).
PIPSocket::Address LocalInterfaceFor(const PIPSocket::Address &remote);

} // namespace h323
