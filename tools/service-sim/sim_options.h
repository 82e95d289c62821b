// Command line of the service simulator: one table row per option.
#pragma once

#include <core/service_config.h>

#include <cstdint>
#include <string>

namespace servicesim
{

struct SimOptions {
    uint16_t servicePort = 19900;
    std::string accountsFile; ///< empty: accounts.txt beside the program
    std::string aliasDomain = CServiceConfig::kDefaultAliasDomain;
};

enum class ParseResult { Run, Help, Error };

/** Parses the arguments after the program name; on Error, error says why. */
ParseResult ParseOptions(int argc, char **argv, SimOptions *options, std::string *error);

/** The option summary printed by --help. */
std::string Usage();

} // namespace servicesim
