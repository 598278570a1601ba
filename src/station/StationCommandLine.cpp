#include "station/StationCommandLine.h"

#include <algorithm>
#include <cctype>
#include <string_view>

#include "formats/ComName.h"
#include "platform/Platform.h"
#include "shell/ProductIdentity.h"

namespace torvane {

namespace {

// Users type com7 as readily as COM7.
std::optional<int> ComNameArgument(std::string s) {
    for (std::size_t i = 0; i < s.size() && i < 3; ++i)
        s[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(s[i])));
    return PortIndexOfComName(s);
}

}  // namespace

std::optional<std::vector<std::string>> StationArguments(std::span<const std::string> arguments) {
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        if (arguments[i] != "--station") continue;
        std::vector<std::string> ports;
        for (std::size_t j = i + 1; j < arguments.size() && !arguments[j].starts_with('-'); ++j)
            ports.push_back(arguments[j]);
        return ports;
    }
    return std::nullopt;
}

StationPorts StationPortsOf(Platform& platform, const std::vector<std::string>& arguments) {
    StationPorts result;
    for (const std::string& a : arguments) {
        std::optional<int> index = ComNameArgument(a);
        if (!index) {
            // A device path: /dev/ttyUSB0 here, \\.\COM7 on Windows.
            if (a.find_first_of("/\\") == std::string::npos) {
                result.error = "'" + a +
                               "' is neither a port name (COM1..COM257) nor a device path such as /dev/ttyUSB0 "
                               "or \\\\.\\COM7";
                return result;
            }
            const DevicePortLookup port = platform.portForDevice(a);
            if (port.portIndex < 0) {
                result.error = port.reason;
                return result;
            }
            index = port.portIndex;
        }
        // One worker per port: a port named twice is still one port.
        if (std::find(result.portIndexes.begin(), result.portIndexes.end(), *index) == result.portIndexes.end())
            result.portIndexes.push_back(*index);
    }
    return result;
}

StationSettings StationSettingsFor(const std::optional<std::string>& identity) {
    StationSettings s;
    s.front = ChooseFrontEnd(identity ? std::optional<std::string_view>(*identity) : std::nullopt);
    s.identity = std::string(IdentityOrDefault(identity ? std::optional<std::string_view>(*identity) : std::nullopt));
    return s;
}

}  // namespace torvane
