// torvane-cli: the updater without a window.

#include <iostream>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "platform/Platform.h"
#include "shell/ProgramVersion.h"

namespace {

struct Command {
    const char* name;
    int (*run)(const torvane::cli::Args&);
    const char* summary;
};

// name, handler, one-line summary
constexpr Command Commands[] = {
    {"update", torvane::cli::RunUpdate, "wake the boot loader, program the image for the device, print the verdict"},
    {"info", torvane::cli::RunInfo, "the product identity, the front end this build shows and the images it carries"},
    {"ports", torvane::cli::RunPorts, "the serial ports present: COM name, friendly name and device"},
    {"images", torvane::cli::RunImages, "the version list of the carried images, as the version dialog shows it"},
};

void Usage(std::ostream& out) {
    out << "usage: torvane-cli <command> [options]\n\ncommands:\n";
    for (const auto& c : Commands) out << "  " << c.name << std::string(10 - std::string(c.name).size(), ' ') << c.summary << "\n";
    out << "\n'torvane-cli <command> --help' describes a command; 'update --help' lists its exit codes.\n"
           "'torvane-cli --version' names this release and the product it is built for.\n";
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args = torvane::HostPlatform().arguments(argc, argv);
    const std::string name = args.size() > 1 ? args[1] : "";
    if (name == "--help" || name == "-h" || name == "help") {
        Usage(std::cout);
        return 0;
    }
    if (name == "--version") {
        std::cout << torvane::VersionText("torvane-cli");
        return 0;
    }
    for (const auto& c : Commands)
        if (name == c.name) return c.run(torvane::cli::Args(args.begin() + 2, args.end()));
    if (!name.empty()) std::cerr << "torvane-cli: unknown command '" << name << "'\n\n";
    Usage(std::cerr);
    return 2;
}
