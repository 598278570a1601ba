#pragma once
// torvane-cli update on several ports at once (or with --repeat): the station
// engine with the console's printing, one line or one live row per port, and
// a table of every module's run at the end.

#include <optional>
#include <string>
#include <vector>

#include "shell/ProductIdentity.h"

namespace torvane {
class Interrupts;
class Platform;
}

namespace torvane::cli {

struct StationUpdateOptions {
    FrontEnd front = FrontEnd::MainWindow;
    std::string identity;
    std::vector<int> ports;  // port indexes, one run (or one station port) each
    bool repeat = false;
    bool json = false;
    std::optional<std::string> logFile;
};

// Runs every port until its verdict (with `repeat`, until an interrupt is
// requested) and returns the exit code. An interrupt (Ctrl-C) stops every
// port at its next wait; this returns only once every port is closed.
int RunStationUpdate(Platform& platform, const StationUpdateOptions& options, const Interrupts& interrupts);

}  // namespace torvane::cli
