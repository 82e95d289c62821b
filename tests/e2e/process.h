// A child process for the end-to-end tests: its standard output read line by line, with
// time-outs on every wait, and its standard input writable.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace e2e {

struct ProcessOptions {
    /** NAME=VALUE entries set for the child on top of the test's own environment. */
    std::vector<std::string> environment;
    /** Standard error joins standard output's lines instead of going to the test's log. */
    bool mergeStderr = false;
    /** The child's working directory; empty: the test's. */
    std::string workingDirectory;
};

class Process
{
  public:
    /** Starts program with args; stderr goes to the test's log. */
    Process(const std::string &program, const std::vector<std::string> &args);
    Process(const std::string &program, const std::vector<std::string> &args,
            const ProcessOptions &options);
    ~Process();
    Process(const Process &) = delete;
    Process &operator=(const Process &) = delete;

    /** The n-th line starting with prefix (waiting at most timeoutMs), or "". */
    std::string WaitFor(const std::string &prefix, int timeoutMs = 10000, int n = 1);
    /** The first line holding text (waiting at most timeoutMs), or "". */
    std::string WaitForText(const std::string &text, int timeoutMs = 10000);
    /** Every line so far. */
    std::vector<std::string> Lines();
    /** Writes a line to the child's standard input. */
    void Send(const std::string &line);
    /** Waits for the child to exit (at most timeoutMs; then it is killed); its status: the
     *  exit code, or 128 + the signal that ended it. */
    int Wait(int timeoutMs = 10000);
    /** Whether the child is still running (it is reaped when it has ended). */
    bool Running();
    /** Waits until the child's output has ended (at most timeoutMs); false on time-out. */
    bool WaitForEndOfOutput(int timeoutMs = 10000);
    /** Sends SIGTERM. */
    void Terminate();
    /** Sends a signal (SIGKILL: the child dies at once, its sockets closed by the system). */
    void Signal(int signal);
    /** The child's process id (-1 when it could not be started). */
    int Pid() const { return pid_; }

  private:
    void ReadLoop();
    std::string WaitForLine(const std::function<bool(const std::string &)> &match, int timeoutMs,
                            int n = 1);

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
