#pragma once
// What a station window is started with, read the same way by every window
// system: the ports after --station, each port found once, and the settings
// the build's identity gives the ports.

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "station/Station.h"

namespace torvane {

class Platform;

// The arguments after --station up to the next option (the window systems'
// own options begin with '-' too); nothing when --station is not given.
// `arguments` is the whole command line, the program's name first.
std::optional<std::vector<std::string>> StationArguments(std::span<const std::string> arguments);

// The ports a station is given: COM names (any case) or device paths
// (/dev/ttyUSB0, \\.\COM7), each once, in the order given. `error` says what
// is wrong with the first bad one; the ports are then incomplete.
struct StationPorts {
    std::vector<int> portIndexes;
    std::string error;
};
StationPorts StationPortsOf(Platform& platform, const std::vector<std::string>& arguments);

// The settings a station of this build runs with: the front end and the tags
// of `identity` (the build's own or the default), each port run once.
StationSettings StationSettingsFor(const std::optional<std::string>& identity);

}  // namespace torvane
