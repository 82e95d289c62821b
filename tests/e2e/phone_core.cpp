// A phone-core process for the end-to-end tests.
#include "phone_core.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <iostream>
#include <thread>

namespace e2e
{

PhoneCore::PhoneCore(const std::string &name, std::vector<std::string> args)
{
    label = name;
    dir = TempPath("core-" + name + "-" + std::to_string(counter++));
    std::filesystem::create_directories(dir);
    std::vector<std::string> all = {"--dir", dir};
    all.insert(all.end(), args.begin(), args.end());
    proc.reset(new Process(PHONE_CORE, all));
    EXPECT_FALSE(proc->WaitFor("LISTENING").empty()) << name << " did not start";
}

PhoneCore::~PhoneCore()
{
    proc->Send("quit");
    proc->Wait(15000);
    if (::testing::Test::HasFailure())
        for (const std::string &line : proc->Lines())
            std::cerr << label << ": " << line << "\n";
}

void PhoneCore::Register(const Simulator &sim, const std::string &account)
{
    Send("register " + sim.Gatekeeper() + " " + account + " secret");
}

std::string PhoneCore::WaitFor(const std::string &prefix, int n, int timeoutMs)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int seen = 0;
        for (const std::string &line : proc->Lines())
            if (line.rfind(prefix, 0) == 0 && ++seen == n)
                return line;
        if (std::chrono::steady_clock::now() > end)
            return "";
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

std::vector<std::string> PhoneCore::CallMessages()
{
    std::vector<std::string> out;
    for (const std::string &line : proc->Lines()) {
        if (line.rfind("MSG ", 0) != 0)
            continue;
        std::string rest = line.substr(4);
        if (rest.rfind("SHOW_", 0) == 0 || rest.rfind("GK_REGISTERED", 0) == 0 ||
            rest.rfind("CHAT_TEXT", 0) == 0)
            continue;
        out.push_back(rest);
    }
    return out;
}

int PhoneCore::Count(const std::string &prefix)
{
    int n = 0;
    for (const std::string &line : proc->Lines())
        n += line.rfind(prefix, 0) == 0;
    return n;
}

bool PhoneCore::Has(const std::string &prefix)
{
    for (const std::string &line : proc->Lines())
        if (line.rfind(prefix, 0) == 0)
            return true;
    return false;
}

} // namespace e2e
