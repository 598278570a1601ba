// torvane-cli ports: the serial ports present, as the port dialog lists them.

#include <algorithm>
#include <iostream>
#include <string>

#include "cli/Commands.h"
#include "platform/Platform.h"
#include "serial/PortDiscovery.h"

namespace torvane::cli {

namespace {

constexpr const char* PortsHelp =
    "usage: torvane-cli ports [--sysfs DIR] [--dev DIR]\n"
    "\n"
    "Lists the serial ports present: COM name, friendly name and device, and a USB\n"
    "adapter's latency timer where it has one (above 1 ms each answer may wait that\n"
    "long: the udev rule 70-torvane-serial.rules sets 1 ms). No port is opened.\n"
    "A USB adapter seen for the first time gets the lowest free name from COM33 up\n"
    "and keeps it in any socket; other names come from the port map\n"
    "($TORVANE_CONFIG_DIR/ports) or the defaults (COM1 = /dev/ttyS0,\n"
    "COM33 = /dev/ttyUSB0, COM65 = /dev/ttyACM0).\n"
    "\n"
    "  --sysfs DIR   read the ports from DIR instead of /sys\n"
    "  --dev DIR     device folder instead of /dev\n";

}  // namespace

int RunPorts(const Args& args) {
    PortSearchRoots roots;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
            std::cout << PortsHelp;
            return 0;
        }
        if ((a == "--sysfs" || a == "--dev") && i + 1 < args.size()) {
            (a == "--sysfs" ? roots.systemInfo : roots.devices) = args[++i];
            continue;
        }
        std::cerr << "torvane-cli ports: unexpected argument '" << a << "'\n\n" << PortsHelp;
        return 2;
    }

    const auto system = HostPlatform().portEnumerator(roots);
    const auto ports = ListComPorts(*system);
    if (ports.empty()) {
        std::cout << "No serial ports found.\n";
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
