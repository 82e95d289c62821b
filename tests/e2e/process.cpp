// A child process for the end-to-end tests.
#include "process.h"

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace e2e
{

namespace
{

// The test's environment with the given NAME=VALUE entries put over it.
std::vector<std::string> Environment(const std::vector<std::string> &changes)
{
    std::vector<std::string> all;
    for (char **e = environ; *e; ++e)
        all.emplace_back(*e);
    for (const std::string &change : changes) {
        std::string name = change.substr(0, change.find('=') + 1);
        std::erase_if(all, [&](const std::string &e) { return e.rfind(name, 0) == 0; });
        all.push_back(change);
    }
    return all;
}

// The exit code, or 128 + the signal that ended the child, as a shell reports it.
int StatusOf(int waitStatus)
{
    return WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : 128 + WTERMSIG(waitStatus);
}

} // namespace

Process::Process(const std::string &program, const std::vector<std::string> &args)
    : Process(program, args, ProcessOptions{})
{
}

Process::Process(const std::string &program, const std::vector<std::string> &args,
                 const ProcessOptions &options)
{
    int outPipe[2], inPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0 || ::pipe2(inPipe, O_CLOEXEC) != 0)
        return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, inPipe[0], 0);
    if (options.mergeStderr)
        posix_spawn_file_actions_adddup2(&actions, outPipe[1], 2);
    if (!options.workingDirectory.empty())
        posix_spawn_file_actions_addchdir_np(&actions, options.workingDirectory.c_str());
    std::vector<char *> argv;
    argv.push_back(const_cast<char *>(program.c_str()));
    for (const std::string &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<std::string> environment = Environment(options.environment);
    std::vector<char *> envp;
    for (std::string &e : environment)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0)
        pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(outPipe[1]);
    ::close(inPipe[0]);
    out_ = outPipe[0];
    in_ = inPipe[1];
    reader_ = std::thread([this] { ReadLoop(); });
}

Process::~Process()
{
    if (pid_ > 0 && status_ < 0) {
        Terminate();
        Wait(5000);
    }
    if (in_ >= 0)
        ::close(in_);
    if (reader_.joinable())
        reader_.join();
    if (out_ >= 0)
        ::close(out_);
}

void Process::ReadLoop()
{
    std::string pending;
    char buf[1024];
    for (;;) {
        ssize_t n = ::read(out_, buf, sizeof(buf));
        if (n <= 0)
            break;
        pending.append(buf, size_t(n));
        for (size_t eol; (eol = pending.find('\n')) != std::string::npos;) {
            std::string line = pending.substr(0, eol);
            pending.erase(0, eol + 1);
            std::lock_guard<std::mutex> lock(mutex_);
            lines_.push_back(line);
            cond_.notify_all();
        }
    }
    std::lock_guard<std::mutex> lock(mutex_);
    ended_ = true;
    cond_.notify_all();
}

std::string Process::WaitFor(const std::string &prefix, int timeoutMs, int n)
{
    return WaitForLine([&](const std::string &l) { return l.rfind(prefix, 0) == 0; }, timeoutMs,
                       n);
}

std::string Process::WaitForText(const std::string &text, int timeoutMs)
{
    return WaitForLine([&](const std::string &l) { return l.find(text) != std::string::npos; },
                       timeoutMs);
}

std::string Process::WaitForLine(const std::function<bool(const std::string &)> &match,
                                 int timeoutMs, int n)
{
    std::unique_lock<std::mutex> lock(mutex_);
    std::string found;
    auto seen = [&] {
        int count = 0;
        for (const std::string &l : lines_)
            if (match(l) && ++count == n) {
                found = l;
                return true;
            }
        return false;
    };
    cond_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return seen() || ended_; });
    if (found.empty())
        seen();
    return found;
}

std::vector<std::string> Process::Lines()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
}

void Process::Send(const std::string &line)
{
    // A child that has already exited makes the write fail instead of killing the test.
    static const bool ignored = std::signal(SIGPIPE, SIG_IGN) != SIG_ERR;
    (void)ignored;
    std::string text = line + "\n";
    (void)!::write(in_, text.data(), text.size());
}

bool Process::Running()
{
    if (pid_ <= 0 || status_ >= 0)
        return false;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) != pid_)
        return true;
    status_ = StatusOf(status);
    return false;
}

bool Process::WaitForEndOfOutput(int timeoutMs)
{
    std::unique_lock<std::mutex> lock(mutex_);
    return cond_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return ended_; });
}

void Process::Terminate()
{
    Signal(SIGTERM);
}

void Process::Signal(int signal)
{
    if (pid_ > 0 && status_ < 0)
        ::kill(pid_, signal);
}

int Process::Wait(int timeoutMs)
{
    if (pid_ <= 0)
        return -1;
    if (status_ >= 0)
        return status_;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    int status = 0;
    for (;;) {
        pid_t r = ::waitpid(pid_, &status, WNOHANG);
        if (r == pid_)
            break;
        if (std::chrono::steady_clock::now() > deadline) {
            std::cerr << "process " << pid_ << " did not exit in time: killed\n";
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    status_ = StatusOf(status);
    return status_;
}

} // namespace e2e
