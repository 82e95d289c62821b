// service-sim on a loopback address found free.
#include "loopback_service.h"

#include <random>

namespace e2e
{

LoopbackService::LoopbackService(std::vector<std::string> extra)
{
    std::random_device seed;
    std::mt19937 random(seed());
    std::uniform_int_distribution<int> byte(1, 254);
    // An address another test or program holds makes the simulator fail to bind: try another.
    for (int attempt = 0; attempt < 20 && address_.empty(); ++attempt) {
        std::string address = "127." + std::to_string(byte(random)) + "." +
                              std::to_string(byte(random)) + "." + std::to_string(byte(random));
        std::vector<std::string> args = {"--address",      address, "--service-port",
                                         std::to_string(kPort), "--ras-on-service-port",
                                         "--masking",      "--nat-port", "0"};
        args.insert(args.end(), extra.begin(), extra.end());
        ProcessOptions options;
        options.mergeStderr = true;
        process_ = std::make_unique<Process>(SERVICE_SIM, args, options);
        if (!process_->WaitFor("service-sim: ras gatekeeper on udp " + address, 20000).empty())
            address_ = address;
    }
}

LoopbackService::~LoopbackService()
{
    process_->Terminate();
    process_->Wait(5000);
}

} // namespace e2e
