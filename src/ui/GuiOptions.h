#pragma once
// What the windows are built from: the product identity, the build stamp and
// the command line. The entry point passes this build's; tests pass any.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "net/UdpNotifier.h"

namespace torvane {

struct GuiOptions {
    // The identity as the build carries it; nothing for a build without one.
    std::optional<std::string> identity;
    std::string buildDate;  // "Mmm d yyyy"
    std::string buildTime;  // "hh:mm:ss"
    // The command line after the program name ("\P" asks for the UDP service).
    std::vector<std::string> arguments;
    std::uint16_t udpPort = UdpPort;  // where the UDP service listens when asked for

    // This build's identity and stamp with the given command line.
    static GuiOptions ThisBuild(int argc, char** argv);
    // The identity every window shows: the build's, or the default text.
    std::string identityOrDefault() const;
};

}  // namespace torvane
