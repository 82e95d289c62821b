// Command line of the service simulator: one table row per option.
#include <tools/service-sim/sim_options.h>

#include <arpa/inet.h>
#include <charconv>

namespace servicesim
{

namespace
{

bool ParsePort(const std::string &value, uint16_t *port, std::string &error)
{
    unsigned int n = 0;
    auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), n);
    if (ec != std::errc() || end != value.data() + value.size() || n > 65535) {
        error = "not a port number (0 to 65535): " + value;
        return false;
    }
    *port = static_cast<uint16_t>(n);
    return true;
}

bool ParseSeconds(const std::string &value, int *out, std::string &error)
{
    unsigned int n = 0;
    auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), n);
    if (ec != std::errc() || end != value.data() + value.size() || n > 100000000) {
        error = "not a number of seconds: " + value;
        return false;
    }
    *out = int(n);
    return true;
}

// Each server adds its rows here.
const tooloptions::Option<SimOptions> kOptions[] = {
    {"--address", "A.B.C.D", "loopback address of every server (default 127.0.0.1)",
     [](SimOptions &o, const std::string &v, std::string &e) {
         in_addr a{};
         if (inet_pton(AF_INET, v.c_str(), &a) != 1 || (ntohl(a.s_addr) >> 24) != 127) {
             e = "not a loopback address (127.0.0.0/8): " + v;
             return false;
         }
         o.address = v;
         return true;
     }},
    {"--ras-port", "PORT", "UDP port of the RAS gatekeeper (default 1719, 0: any)",
     [](SimOptions &o, const std::string &v, std::string &e) {
         return ParsePort(v, &o.rasPort, e);
     }},
    {"--nat-port", "PORT", "TCP port of the NAT link's far end (default 0: any)",
     [](SimOptions &o, const std::string &v, std::string &e) {
         return ParsePort(v, &o.natPort, e);
     }},
    {"--balance", "TEXT", "the balance sent as h323-credit-amount in RCF and ACF",
     [](SimOptions &o, const std::string &v, std::string &) {
         o.balance = v;
         return true;
     }},
    {"--credit-time", "SECONDS", "the remaining time sent as h323-credit-time in ACF",
     [](SimOptions &o, const std::string &v, std::string &e) {
         return ParseSeconds(v, &o.creditTime, e);
     }},
    {"--ttl", "SECONDS", "registration time-to-live granted in RCF (default none)",
     [](SimOptions &o, const std::string &v, std::string &e) {
         int ttl = 0;
         if (!ParseSeconds(v, &ttl, e))
             return false;
         o.timeToLive = unsigned(ttl);
         return true;
     }},
    {"--nat-hint", nullptr, "tell registering phones they are behind NAT (\"NAT=1;\")",
     [](SimOptions &o, const std::string &, std::string &) {
         o.natHint = true;
         return true;
     }},
    {"--routed", nullptr,
     "admit calls gatekeeper-routed: Setups come to the call-signalling port and are relayed",
     [](SimOptions &o, const std::string &, std::string &) {
         o.routed = true;
         return true;
     }},
    {"--signal-port", "PORT", "TCP call-signalling port of the routed model (default 0: any)",
     [](SimOptions &o, const std::string &v, std::string &e) {
         return ParsePort(v, &o.signalPort, e);
     }},
    {"--masking", nullptr, "mask RAS and the NAT link as the service does",
     [](SimOptions &o, const std::string &, std::string &) {
         o.masking = true;
         return true;
     }},
    {"--service-port", "PORT", "UDP port of the service protocol (default 19900, 0: any)",
     [](SimOptions &o, const std::string &v, std::string &e) {
         return ParsePort(v, &o.servicePort, e);
     }},
    {"--ras-on-service-port", nullptr,
     "serve RAS on the service protocol's port (also when both ports are the same)",
     [](SimOptions &o, const std::string &, std::string &) {
         o.rasOnServicePort = true;
         return true;
     }},
    {"--accounts", "FILE", "\"account password\" lines (default: accounts.txt beside the program)",
     [](SimOptions &o, const std::string &v, std::string &) {
         o.accountsFile = v;
         return true;
     }},
    {"--alias-domain", "DOMAIN", "alias domain of the login digest (default service.localhost)",
     [](SimOptions &o, const std::string &v, std::string &e) {
         if (v.empty() || v.find(' ') != std::string::npos) {
             e = "not a domain name: \"" + v + "\"";
             return false;
         }
         o.aliasDomain = v;
         return true;
     }},
};

} // namespace

ParseResult ParseOptions(int argc, char **argv, SimOptions *options, std::string *error)
{
    return tooloptions::Parse(argc, argv, kOptions, *options, *error);
}

std::string Usage()
{
    std::string text = "usage: service-sim [OPTION VALUE]...\n"
                       "Simulates the calling service on loopback for tests and demos.\n\n";
    text += tooloptions::Summary(kOptions, 28);
    text += "\nCommands on standard input:\n"
            "  notice 101 ACCOUNT        Info 101: somebody else logged in with the account\n"
            "  notice 102 ACCOUNT        Info 102: log in again\n"
            "  notice live ACCOUNT       a keep-alive from the service\n"
            "  unregister ALIAS          the gatekeeper unregisters the phone (URQ)\n";
    return text;
}

} // namespace servicesim
