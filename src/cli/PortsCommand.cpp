// torvane-cli ports: the serial ports present, as the port dialog lists them.

#include <algorithm>
#include <iostream>
#include <string>

#include "cli/Arguments.h"
#include "cli/Commands.h"
#include "formats/Json.h"
#include "platform/Platform.h"
#include "serial/PortDiscovery.h"

namespace torvane::cli {

namespace {

// The help in this system's words: where the names come from, and the
// options that point the listing at another device tree where it has one.
std::string PortsHelp(const PortWords& words) {
    std::string help = "usage: torvane-cli ports [--json]";
    if (words.searchRoots) help += " [--sysfs DIR] [--dev DIR]";
    help += "\n"
            "\n"
            "Lists the serial ports present: COM name, friendly name and device. No port\n"
            "is opened.\n";
    help.append(words.listingNotes);
    help += "\n"
            "  --json        one JSON array of {port, friendly_name, device}\n";
    if (words.searchRoots)
        help += "  --sysfs DIR   read the ports from DIR instead of /sys\n"
                "  --dev DIR     device folder instead of /dev\n";
    return help;
}

}  // namespace

int RunPorts(const Args& args) {
    Platform& platform = HostPlatform();
    const PortWords& words = platform.portWords();
    ParsedArgs parsed;
    try {
        // Options that mean nothing on this system are refused, not ignored.
        parsed = words.searchRoots ? ParseArgs(args, {{"--json", false}, {"--sysfs", true}, {"--dev", true}})
                                   : ParseArgs(args, {{"--json", false}});
    } catch (const UsageError& e) {
        return UsageFailure("ports", e.what());
    }
    if (parsed.help) {
        std::cout << PortsHelp(words);
        return 0;
    }
    PortSearchRoots roots;
    roots.systemInfo = parsed.value("--sysfs");
    roots.devices = parsed.value("--dev");

    const auto system = platform.portEnumerator(roots);
    const auto ports = ListComPorts(*system);
    if (parsed.has("--json")) {
        JsonArray list;
        for (const auto& p : ports)
            list.addRaw(JsonObject().add("port", p.portName).add("friendly_name", p.friendlyName).add("device", p.devicePath).text());
        std::cout << list.text() << "\n";
        return 0;
    }
    if (ports.empty()) {
        std::cout << "No serial ports found.\n";
        std::cerr << "Next: plug the adapter in and check its cable; " << words.missingPortAdvice
                  << ":\n  torvane-cli update --port " << words.deviceExample << "\n";
        return 0;
    }
    std::size_t nameWidth = 0, friendlyWidth = 0;
    for (const auto& p : ports) {
        nameWidth = std::max(nameWidth, p.portName.size());
        friendlyWidth = std::max(friendlyWidth, p.friendlyName.size());
    }
    for (const auto& p : ports)
        std::cout << p.portName << std::string(nameWidth - p.portName.size() + 2, ' ') << p.friendlyName
                  << std::string(friendlyWidth - p.friendlyName.size() + 2, ' ') << p.devicePath
                  << (p.latencyTimerMs ? "  latency timer " + std::to_string(*p.latencyTimerMs) + " ms" : "") << "\n";
    return 0;
}

}  // namespace torvane::cli
