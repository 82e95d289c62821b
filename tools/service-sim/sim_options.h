// Command line of the service simulator: one table row per option.
#pragma once

#include <core/service_config.h>
#include <tools/common/options.h>

#include <cstdint>
#include <string>

namespace servicesim
{

struct SimOptions {
    std::string address = "127.0.0.1"; ///< the loopback address every server binds
    uint16_t servicePort = 19900;
    std::string accountsFile; ///< empty: accounts.txt beside the program
    std::string aliasDomain = CServiceConfig::kDefaultAliasDomain;
    uint16_t rasPort = 1719;       ///< the RAS gatekeeper
    uint16_t natPort = 0;          ///< the NAT link's far end (0: any free port)
    std::string balance;           ///< "h323-credit-amount" of RCF and ACF
    int creditTime = -1;           ///< "h323-credit-time" of ACF, seconds
    bool natHint = false;          ///< RCF says "NAT=1;" and routes calls down the links
    bool masking = false;          ///< RAS and the NAT link are masked
    unsigned timeToLive = 0;       ///< RCF time-to-live, seconds (0: none)
    bool rasOnServicePort = false; ///< RAS shares the service protocol's port
    bool routed = false;           ///< calls are admitted gatekeeper-routed and relayed
    uint16_t signalPort = 0;       ///< the gatekeeper's call-signalling port (0: any free port)

    /** RAS and the service protocol on one port: asked for, or the same port number given. */
    bool SharedPort() const { return rasOnServicePort || (rasPort != 0 && rasPort == servicePort); }
};

using tooloptions::ParseResult;

/** Parses the arguments after the program name; on Error, error says why. */
ParseResult ParseOptions(int argc, char **argv, SimOptions *options, std::string *error);

/** The option summary printed by --help. */
std::string Usage();

} // namespace servicesim
