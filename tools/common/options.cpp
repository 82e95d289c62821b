// Command-line options of the tools: parsing and the usage summary.
#include <tools/common/options.h>

#include <algorithm>

namespace tooloptions {

ParseResult ParseArguments(int argc, char **argv, std::span<const OptionText> options,
                           const ApplyOption &apply, std::string &error)
{
    for (int i = 1; i < argc; i++) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h")
            return ParseResult::Help;
        std::string value;
        bool inlineValue = false;
        if (size_t eq = arg.find('='); eq != std::string::npos && arg.starts_with("--")) {
            value = arg.substr(eq + 1);
            arg.resize(eq);
            inlineValue = true;
        }
        auto option = std::find_if(options.begin(), options.end(),
                                   [&](const OptionText &o) { return arg == o.name; });
        if (option == options.end()) {
            error = "unknown option " + arg + " (see --help)";
            return ParseResult::Error;
        }
        if (option->argument != nullptr && !inlineValue) {
            if (i + 1 >= argc) {
                error = arg + " needs " + option->argument;
                return ParseResult::Error;
            }
            value = argv[++i];
        }
        std::string why;
        if (!apply(size_t(option - options.begin()), value, why)) {
            error = arg + ": " + why;
            return ParseResult::Error;
        }
    }
    return ParseResult::Run;
}

std::string OptionSummary(std::span<const OptionText> options, size_t column)
{
    std::string text;
    for (const OptionText &o : options) {
        std::string left = std::string("  ") + o.name;
        if (o.argument)
            left += std::string(" ") + o.argument;
        left.resize(std::max(left.size() + 2, column), ' ');
        text += left + o.help + "\n";
    }
    return text;
}

} // namespace tooloptions
