#pragma once
// One parser for the options of every torvane-cli command, so that each
// command names a missing value, refuses what it does not know and answers
// --help in the same way.

#include <initializer_list>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "cli/Commands.h"
#include "shell/ExitCodes.h"

namespace torvane::cli {

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct KnownOption {
    std::string_view name;  // "--port"
    bool takesValue;
    bool repeatable = false;  // may be given more than once; every value is kept
};

struct ParsedArgs {
    bool help = false;
    std::map<std::string, std::string, std::less<>> values;  // every option given (the first value), flags with ""
    std::map<std::string, std::vector<std::string>, std::less<>> repeated;  // a repeatable option's values, in order
    bool has(std::string_view name) const { return values.find(name) != values.end(); }
    std::optional<std::string> value(std::string_view name) const {
        const auto it = values.find(name);
        return it == values.end() ? std::nullopt : std::optional<std::string>(it->second);
    }
    std::vector<std::string> all(std::string_view name) const {
        const auto it = repeated.find(name);
        return it == repeated.end() ? std::vector<std::string>{} : it->second;
    }
};

// "--name value" and "--name=value"; -h and --help everywhere. Throws
// UsageError for an unknown option, a stray argument, a missing value, a
// value given to a flag and an option given twice (unless it is repeatable).
ParsedArgs ParseArgs(const Args& args, std::initializer_list<KnownOption> options);

// Prints "torvane-cli <command>: <what>" and where to find the options, on
// stderr; returns ExitUsage.
int UsageFailure(std::string_view command, std::string_view what);

}  // namespace torvane::cli
