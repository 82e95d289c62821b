// The service simulator where the real phone looks for the service: the service's fixed port
// 19900 (service protocol and gatekeeper on one port, masked, as the service runs them), on a
// loopback address of its own, so that tests running side by side never share a server.
#pragma once

#include "process.h"

#include <memory>
#include <string>
#include <vector>

namespace e2e {

class LoopbackService
{
  public:
    static constexpr int kPort = 19900;

    /** Starts service-sim with the demo accounts (8001 and 8002, password "demo") and the
     *  extra options; Address() is empty when no free address was found. */
    explicit LoopbackService(std::vector<std::string> extra = {});
    ~LoopbackService();
    LoopbackService(const LoopbackService &) = delete;
    LoopbackService &operator=(const LoopbackService &) = delete;

    /** The loopback address every server of the simulator binds, "127.a.b.c". */
    const std::string &Address() const { return address_; }
    /** The simulator's log: one line per exchange. */
    Process &Log() { return *process_; }

  private:
    std::string address_;
    std::unique_ptr<Process> process_;
};

} // namespace e2e
