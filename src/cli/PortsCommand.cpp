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

constexpr const char* PortsHelp =
    "usage: torvane-cli ports [--json] [--sysfs DIR] [--dev DIR]\n"
    "\n"
    "Lists the serial ports present: COM name, friendly name and device, and a USB\n"
    "adapter's latency timer where it has one (above 1 ms each answer may wait that\n"
    "long: the udev rule 70-torvane-serial.rules sets 1 ms). No port is opened.\n"
    "A USB adapter seen for the first time gets the lowest free name from COM33 up\n"
    "and keeps it in any socket; other names come from the port map\n"
    "($TORVANE_CONFIG_DIR/ports) or the defaults (COM1 = /dev/ttyS0,\n"
    "COM33 = /dev/ttyUSB0, COM65 = /dev/ttyACM0).\n"
    "\n"
    "  --json        one JSON array of {port, friendly_name, device}\n"
    "  --sysfs DIR   read the ports from DIR instead of /sys\n"
    "  --dev DIR     device folder instead of /dev\n";

}  // namespace

int RunPorts(const Args& args) {
    ParsedArgs parsed;
    try {
        parsed = ParseArgs(args, {{"--sysfs", true}, {"--dev", true}, {"--json", false}});
    } catch (const UsageError& e) {
        return UsageFailure("ports", e.what());
    }
    if (parsed.help) {
        std::cout << PortsHelp;
        return 0;
    }
    PortSearchRoots roots;
    roots.systemInfo = parsed.value("--sysfs");
    roots.devices = parsed.value("--dev");

    const auto system = HostPlatform().portEnumerator(roots);
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
        std::cerr << "Next: plug the adapter in and check its cable; a device that is present but not listed\n"
                     "can be given by its path: torvane-cli update --port /dev/ttyUSB0\n";
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
