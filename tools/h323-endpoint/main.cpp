// h323-endpoint: a command-line H.323 endpoint for tests and interoperability checks.
#include <tools/h323-endpoint/options.h>
#include <tools/h323-endpoint/tool_endpoint.h>
#include <tools/masking/masking.h>

#include <pwlib/pprocess.h>

#include <csignal>
#include <iostream>
#include <thread>

using namespace h323tool;

namespace {

/// The process object the portable library needs; its Main is never run.
class ToolProcess : public PProcess
{
    PCLASSINFO(ToolProcess, PProcess)
  public:
    ToolProcess() : PProcess("Kestrelin", "h323-endpoint", 1, 0, ReleaseCode, 1) {}
    void Main() override {}
};

} // namespace

int main(int argc, char **argv)
{
    Options options;
    std::string error;
    switch (ParseOptions(argc, argv, options, error)) {
    case ParseResult::Help:
        std::cout << Usage();
        return 0;
    case ParseResult::Error:
        std::cerr << "h323-endpoint: " << error << "\n";
        return 2;
    case ParseResult::Run:
        break;
    }

    // The terminating signals end the run through the done sync point.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    ToolProcess process;
    static toolmask::MaskingHook masking;
    if (options.masking)
        H323SetTrafficHook(&masking);

    int status = 0;
    {
        ToolEndpoint endpoint(options);
        std::thread signalWaiter([&] {
            int sig = 0;
            sigwait(&signals, &sig);
            endpoint.Done().Signal();
        });
        signalWaiter.detach();

        if (!endpoint.Configure(error)) {
            std::cerr << "h323-endpoint: " << error << "\n";
            return 1;
        }
        if (!endpoint.Register()) {
            status = 1;
        } else {
            if (!options.call.empty() && !endpoint.PlaceCall(options.call) && options.exitAfterCall)
                status = 1;
            else if (options.maxSeconds >= 0)
                endpoint.Done().Wait(PTimeInterval(PInt64(options.maxSeconds * 1000)));
            else
                endpoint.Done().Wait();
        }
        endpoint.ClearAllCalls(H323CallEndReasons::EndedByLocalUser, TRUE);
        endpoint.RemoveGatekeeper(-1);
    }
    std::cout.flush();
    return status;
}
