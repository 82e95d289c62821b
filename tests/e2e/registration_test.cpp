// A registered h323-endpoint whose gatekeeper goes away or restarts: it says so at once and
// registers again by itself when the gatekeeper is back.
#include "e2e_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <thread>

using namespace e2e;
using Clock = std::chrono::steady_clock;

namespace {

enum class Outage {
    Away15s,  ///< the gatekeeper stops answering for 15 s, across a keep-alive
    Restarted ///< a new gatekeeper on the same address, knowing nothing of the phone
};

struct RecoveryCase {
    const char *name;
    std::vector<std::string> simulator;
    Outage outage;
};

void PrintTo(const RecoveryCase &c, std::ostream *os) { *os << c.name; }

class RegistrationRecovery : public ::testing::TestWithParam<RecoveryCase>
{
};

double SecondsSince(Clock::time_point t)
{
    return std::chrono::duration<double>(Clock::now() - t).count();
}

} // namespace

TEST_P(RegistrationRecovery, TheEndpointSaysSoAndRegistersAgainWithin30Seconds)
{
    const RecoveryCase &c = GetParam();
    auto sim = std::make_unique<Simulator>(c.simulator);
    std::string gatekeeper = sim->Gatekeeper();
    auto ep = StartEndpoint({"--gatekeeper", gatekeeper, "--alias", "8001", "--password", "secret",
                             "--max-seconds", "90"});
    ASSERT_EQ(ep->WaitFor("REGISTERED"), "REGISTERED");

    Clock::time_point back;
    if (c.outage == Outage::Away15s) {
        Clock::time_point away = Clock::now();
        sim->process().Signal(SIGSTOP);
        // The keep-alive goes unanswered: the endpoint says so before the gatekeeper is back.
        EXPECT_EQ(ep->WaitFor("UNREGISTERED", 15000), "UNREGISTERED");
        EXPECT_LT(SecondsSince(away), 15) << "told while the gatekeeper was away";
        std::this_thread::sleep_for(std::chrono::seconds(15) - (Clock::now() - away));
        sim->process().Signal(SIGCONT);
        back = Clock::now();
    } else {
        sim.reset();
        std::string port = gatekeeper.substr(gatekeeper.find(':') + 1);
        std::vector<std::string> again = c.simulator;
        again.insert(again.end(), {"--ras-port", port});
        sim = std::make_unique<Simulator>(again);
        ASSERT_EQ(sim->Gatekeeper(), gatekeeper);
        back = Clock::now();
        // Its next keep-alive meets a gatekeeper that does not know it.
        EXPECT_EQ(ep->WaitFor("UNREGISTERED", 30000), "UNREGISTERED");
    }
    EXPECT_EQ(ep->WaitFor("REGISTERED", 35000, 2), "REGISTERED");
    EXPECT_LT(SecondsSince(back), 30) << "from the gatekeeper's return to the registration";
    std::vector<std::string> events;
    for (const std::string &line : ep->Lines())
        if (line.find("REGISTERED") != std::string::npos)
            events.push_back(line);
    EXPECT_EQ(events, (std::vector<std::string>{"REGISTERED", "UNREGISTERED", "REGISTERED"}));
    EXPECT_FALSE(sim->process().WaitFor("ras: registrationRequest").empty());
}

INSTANTIATE_TEST_SUITE_P(
    Outages, RegistrationRecovery,
    ::testing::Values(
        // A time-to-live of 10 s: the keep-alive falls 5 s into the outage.
        RecoveryCase{"gatekeeperAway15sAtTheKeepAlive", {"--ttl", "10"}, Outage::Away15s},
        RecoveryCase{"gatekeeperRestartedWithoutATimeToLive", {}, Outage::Restarted},
        RecoveryCase{"gatekeeperRestartedWithATimeToLive", {"--ttl", "4"}, Outage::Restarted}),
    [](const auto &info) { return std::string(info.param.name); });
