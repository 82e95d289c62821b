// service-sim: the calling service's servers on loopback, for tests and a local demo.
#include <tools/service-sim/accounts.h>
#include <tools/service-sim/call_router.h>
#include <tools/service-sim/nat_link.h>
#include <tools/service-sim/ras_gatekeeper.h>
#include <tools/service-sim/service_server.h>
#include <tools/service-sim/sim_options.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <poll.h>
#include <sstream>
#include <sys/signalfd.h>
#include <unistd.h>

using namespace servicesim;

namespace
{

std::mutex outputLock;

void Print(const std::string &line)
{
    std::lock_guard lock(outputLock);
    std::cout << line << std::endl;
}

std::string ProgramDirectory()
{
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string(".") : exe.parent_path().string();
}

struct Servers {
    ServiceServer *service;
    RasGatekeeper *gatekeeper;
};

void RunCommand(const std::string &line, Servers &servers)
{
    std::istringstream words(line);
    std::string command, kind, account, extra;
    if (!(words >> command))
        return;
    if (command == "notice" && (words >> kind >> account) && !(words >> extra)) {
        Notice notice;
        if (kind == "101")
            notice = Notice::Kicked;
        else if (kind == "102")
            notice = Notice::Relogin;
        else if (kind == "live")
            notice = Notice::KeepAlive;
        else {
            Print("service-sim: notice kinds are 101, 102 and live");
            return;
        }
        std::string error;
        if (servers.service->SendNotice(notice, account, &error) < 0)
            Print("service-sim: " + error);
        return;
    }
    if (command == "unregister" && (words >> account) && !(words >> extra)) {
        std::string error;
        if (!servers.gatekeeper->Unregister(account, &error))
            Print("service-sim: " + error);
        return;
    }
    Print("service-sim: unknown command \"" + line +
          "\"; try: notice 101|102|live ACCOUNT, unregister ALIAS");
}

// Reads command lines from standard input until a terminating signal arrives; the end of
// standard input only stops the commands.
int Serve(Servers &servers)
{
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    int signalFd = signalfd(-1, &signals, SFD_CLOEXEC);
    if (signalFd < 0) {
        std::cerr << "service-sim: signalfd: " << std::strerror(errno) << "\n";
        return 1;
    }
    pollfd fds[2] = {{signalFd, POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
    int count = 2;
    std::string pending;
    for (;;) {
        if (::poll(fds, count, -1) < 0) {
            if (errno == EINTR)
                continue;
            std::cerr << "service-sim: poll: " << std::strerror(errno) << "\n";
            break;
        }
        if (fds[0].revents & POLLIN)
            break;
        if (count > 1 && fds[1].revents) {
            char chunk[512];
            ssize_t n = ::read(STDIN_FILENO, chunk, sizeof(chunk));
            if (n <= 0) {
                count = 1;
                continue;
            }
            pending.append(chunk, static_cast<size_t>(n));
            for (size_t eol; (eol = pending.find('\n')) != std::string::npos;) {
                RunCommand(pending.substr(0, eol), servers);
                pending.erase(0, eol + 1);
            }
            if (pending.size() > 4096)
                pending.clear();
        }
    }
    ::close(signalFd);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    SimOptions options;
    std::string error;
    switch (ParseOptions(argc, argv, &options, &error)) {
    case ParseResult::Help:
        std::cout << Usage();
        return 0;
    case ParseResult::Error:
        std::cerr << "service-sim: " << error << "\n";
        return 2;
    case ParseResult::Run:
        break;
    }
    if (options.accountsFile.empty())
        options.accountsFile = ProgramDirectory() + "/accounts.txt";
    Accounts accounts;
    if (!LoadAccounts(options.accountsFile, &accounts, &error)) {
        std::cerr << "service-sim: accounts: " << error << "\n";
        return 2;
    }

    // Block the terminating signals in every thread; Serve takes them from a signalfd.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    ServiceOptions serviceOptions;
    serviceOptions.address = options.address;
    serviceOptions.port = options.servicePort;
    serviceOptions.aliasDomain = options.aliasDomain;
    serviceOptions.accounts = accounts;
    serviceOptions.log = Print;
    // On a shared port the service's thread hands RAS on to the gatekeeper once it runs.
    std::atomic<RasGatekeeper *> sharedGatekeeper{nullptr};
    if (options.SharedPort())
        serviceOptions.otherDatagrams = [&sharedGatekeeper](const Endpoint &from,
                                                            std::string data, size_t length) {
            if (RasGatekeeper *gk = sharedGatekeeper.load())
                gk->Deliver(from, std::move(data), length);
        };
    ServiceServer service(serviceOptions);
    if (!service.Start(&error)) {
        std::cerr << "service-sim: service: " << error << "\n";
        return 1;
    }
    Print("service-sim: service protocol on udp " + options.address + ":" +
          std::to_string(service.Port()) +
          ", " + std::to_string(accounts.size()) + " accounts from " + options.accountsFile +
          ", alias domain " + options.aliasDomain);

    // The gatekeeper looks up the NAT side's ports, the NAT side the gatekeeper's aliases.
    RasGatekeeper *gatekeeperPtr = nullptr;
    NatLinkOptions natOptions;
    natOptions.address = options.address;
    natOptions.linkPort = options.natPort;
    natOptions.masking = options.masking;
    natOptions.log = Print;
    natOptions.endpointOf = [&gatekeeperPtr](const std::string &alias) {
        return gatekeeperPtr ? gatekeeperPtr->EndpointIdOf(alias) : std::string();
    };
    NatLinkServer nat(natOptions);
    if (!nat.Start(&error)) {
        std::cerr << "service-sim: nat: " << error << "\n";
        return 1;
    }
    // Routed calls: the router takes each Setup's admission from the gatekeeper.
    CallRouterOptions routerOptions;
    routerOptions.address = options.address;
    routerOptions.port = options.signalPort;
    routerOptions.masking = options.masking;
    routerOptions.log = Print;
    routerOptions.takeAdmitted = [&gatekeeperPtr](const std::string &callIdentifier) {
        return gatekeeperPtr ? gatekeeperPtr->TakeRoutedCall(callIdentifier) : std::nullopt;
    };
    CallRouter router(routerOptions);
    if (options.routed && !router.Start(&error)) {
        std::cerr << "service-sim: routed calls: " << error << "\n";
        return 1;
    }
    GatekeeperOptions gkOptions;
    gkOptions.address = options.address;
    gkOptions.port = options.rasPort;
    gkOptions.accounts = accounts;
    gkOptions.balance = options.balance;
    gkOptions.creditTime = options.creditTime;
    gkOptions.natHint = options.natHint;
    gkOptions.natPort = nat.LinkPort();
    gkOptions.natRelayPort = options.natHint ? nat.RelayPort() : 0;
    gkOptions.masking = options.masking;
    gkOptions.timeToLive = options.timeToLive;
    gkOptions.routerPort = options.routed ? router.Port() : 0;
    gkOptions.log = Print;
    if (options.SharedPort())
        gkOptions.sharedSocket = &service.Socket();
    RasGatekeeper gatekeeper(gkOptions);
    if (!gatekeeper.Start(&error)) {
        std::cerr << "service-sim: ras: " << error << "\n";
        return 1;
    }
    gatekeeperPtr = &gatekeeper;
    sharedGatekeeper = options.SharedPort() ? &gatekeeper : nullptr;
    Print("service-sim: ras gatekeeper on udp " + options.address + ":" +
          std::to_string(gatekeeper.Port()) +
          (options.SharedPort() ? ", shared with the service protocol" : "") + ", nat link on tcp " +
          options.address + ":" + std::to_string(nat.LinkPort()) + " (relay " +
          std::to_string(nat.RelayPort()) + ")" + (options.masking ? ", masked" : ""));
    if (options.routed)
        Print("service-sim: calls routed through tcp " + options.address + ":" +
              std::to_string(router.Port()));

    Servers servers{&service, &gatekeeper};
    int status = Serve(servers);
    // The service first: on a shared port its thread feeds the gatekeeper.
    service.Stop();
    sharedGatekeeper = nullptr;
    router.Stop();
    gatekeeperPtr = nullptr;
    gatekeeper.Stop();
    nat.Stop();
    Print("service-sim: stopped");
    return status;
}
