// Command-line options of the tools: a table of options, their parsing and the usage summary.
#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <span>
#include <string>

namespace tooloptions {

enum class ParseResult { Run, Help, Error };

/// An option's name ("--name"), the placeholder of its value (nullptr: a switch) and its help.
struct OptionText {
    const char *name;
    const char *argument;
    const char *help;
};

/// Sets the option options[index] given with value; false with why when the value is wrong.
using ApplyOption = std::function<bool(size_t index, const std::string &value, std::string &why)>;

/**
 * Parses the arguments after the program name: "--name VALUE" or "--name=VALUE", switches
 * alone; "--help" or "-h" asks for the usage. On Error, error says why.
 */
ParseResult ParseArguments(int argc, char **argv, std::span<const OptionText> options,
                           const ApplyOption &apply, std::string &error);

/// One line per option: "  --name ARG", padded to column (at least two spaces), then the help.
std::string OptionSummary(std::span<const OptionText> options, size_t column);

/// A row of a tool's option table that sets a field of its Options.
template <typename Options>
struct Option {
    const char *name;
    const char *argument; ///< nullptr: a switch
    const char *help;
    bool (*apply)(Options &, const std::string &value, std::string &why);
};

template <typename Options, size_t N>
std::array<OptionText, N> TextsOf(const Option<Options> (&table)[N])
{
    std::array<OptionText, N> texts;
    for (size_t i = 0; i < N; i++)
        texts[i] = {table[i].name, table[i].argument, table[i].help};
    return texts;
}

template <typename Options, size_t N>
ParseResult Parse(int argc, char **argv, const Option<Options> (&table)[N], Options &options,
                  std::string &error)
{
    return ParseArguments(
        argc, argv, TextsOf(table),
        [&](size_t i, const std::string &value, std::string &why) {
            return table[i].apply(options, value, why);
        },
        error);
}

template <typename Options, size_t N>
std::string Summary(const Option<Options> (&table)[N], size_t column)
{
    return OptionSummary(TextsOf(table), column);
}

} // namespace tooloptions
