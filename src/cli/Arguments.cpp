#include "cli/Arguments.h"

#include <algorithm>
#include <iostream>

namespace torvane::cli {

ParsedArgs ParseArgs(const Args& args, std::initializer_list<KnownOption> options) {
    ParsedArgs parsed;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::optional<std::string> inlineValue;
        if (name == "--help" || name == "-h") {
            parsed.help = true;
            continue;
        }
        if (!name.starts_with("-") || name == "-") throw UsageError("unexpected argument '" + name + "'");
        if (const auto eq = name.find('='); name.starts_with("--") && eq != std::string::npos) {
            inlineValue = name.substr(eq + 1);
            name.resize(eq);
        }
        const auto known = std::find_if(options.begin(), options.end(), [&](const KnownOption& o) { return o.name == name; });
        if (known == options.end()) throw UsageError("unknown option '" + name + "'");
        if (parsed.has(name) && !known->repeatable) throw UsageError(name + " is given twice");
        std::string value;
        if (known->takesValue) {
            if (inlineValue) value = *inlineValue;
            else if (i + 1 < args.size() && !args[i + 1].starts_with("--")) value = args[++i];
            else throw UsageError(name + " needs a value");
            if (value.empty()) throw UsageError(name + " needs a value");
        } else if (inlineValue) {
            throw UsageError(name + " takes no value");
        }
        if (known->repeatable) parsed.repeated[name].push_back(value);
        parsed.values.emplace(name, std::move(value));
    }
    return parsed;
}

int UsageFailure(std::string_view command, std::string_view what) {
    std::cerr << "torvane-cli " << command << ": " << what << "\n"
              << "'torvane-cli " << command << " --help' lists its options.\n";
    return ExitUsage;
}

}  // namespace torvane::cli
