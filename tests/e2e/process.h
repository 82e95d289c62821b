// A child process for the end-to-end tests: its standard output read line by line, with
// time-outs on every wait, and its standard input writable.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace e2e {

class Process
{
  public:
    /** Starts program with args; stderr goes to the test's log. */
    Process(const std::string &program, const std::vector<std::string> &args);
    ~Process();
    Process(const Process &) = delete;
    Process &operator=(const Process &) = delete;

    /** The first line starting with prefix (waiting at most timeoutMs), or "". */
    std::string WaitFor(const std::string &prefix, int timeoutMs = 10000);
    /** Every line so far. */
    std::vector<std::string> Lines();
    /** Writes a line to the child's standard input. */
    void Send(const std::string &line);
    /** Waits for the child to exit (at most timeoutMs; then it is killed); its status. */
    int Wait(int timeoutMs = 10000);
    /** Sends SIGTERM. */
    void Terminate();
    /** The child's process id (-1 when it could not be started). */
    int Pid() const { return pid_; }

  private:
    void ReadLoop();

    int pid_ = -1;
    int out_ = -1;
    int in_ = -1;
    std::thread reader_;
    std::mutex mutex_;
    std::condition_variable cond_;
    std::vector<std::string> lines_;
    bool ended_ = false;
    int status_ = -1;
};

} // namespace e2e
