// A phone-core process for the end-to-end tests: its commands and the lines it prints.
#pragma once

#include "e2e_support.h"

#include <memory>
#include <string>
#include <vector>

namespace e2e
{

/** One phone core; its settings live in a directory of their own. */
class PhoneCore
{
  public:
    explicit PhoneCore(const std::string &name, std::vector<std::string> args = {});
    /** Quits the process; its lines go to the log when the test failed. */
    ~PhoneCore();

    void Send(const std::string &command) { proc->Send(command); }
    void Register(const Simulator &sim, const std::string &account);
    /** Waits for the n-th line that starts with prefix; the line or "". */
    std::string WaitFor(const std::string &prefix, int n = 1, int timeoutMs = 10000);
    /** The call messages so far, without the texts' addresses: "CONNECTED 0 0", ... */
    std::vector<std::string> CallMessages();
    int Count(const std::string &prefix);
    bool Has(const std::string &prefix);
    int Pid() const { return proc->Pid(); }

  private:
    static inline int counter = 0;
    std::string label;
    std::string dir;
    std::unique_ptr<Process> proc;
};

} // namespace e2e
