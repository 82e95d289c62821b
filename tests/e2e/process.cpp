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

Process::Process(const std::string &program, const std::vector<std::string> &args)
{
    int outPipe[2], inPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0 || ::pipe2(inPipe, O_CLOEXEC) != 0)
        return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, inPipe[0], 0);
    std::vector<char *> argv;
    argv.push_back(const_cast<char *>(program.c_str()));
    for (const std::string &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ) != 0)
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

std::string Process::WaitFor(const std::string &prefix, int timeoutMs)
{
    std::unique_lock<std::mutex> lock(mutex_);
    std::string found;
    cond_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        for (const std::string &l : lines_)
            if (l.rfind(prefix, 0) == 0) {
                found = l;
                return true;
            }
        return ended_;
    });
    if (found.empty())
        for (const std::string &l : lines_)
            if (l.rfind(prefix, 0) == 0)
                found = l;
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

void Process::Terminate()
{
    if (pid_ > 0 && status_ < 0)
        ::kill(pid_, SIGTERM);
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
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return status_;
}

} // namespace e2e
