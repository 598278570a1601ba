// torvane: the updater with windows.

#include <cstdio>
#include <string_view>

#include "platform/Platform.h"
#include "shell/ExitCodes.h"
#include "shell/ProgramVersion.h"
#include "qt/StartUp.h"
#include "qt/StationWindow.h"

namespace {

constexpr const char* HelpText =
    "usage: torvane [\\P] [Qt options]\n"
    "       torvane --station [PORT ...] [Qt options]\n"
    "\n"
    "The firmware updater with windows. The product identity this build carries\n"
    "chooses the front end. \\P as the first argument also starts the UDP service.\n"
    "Every run is appended to the run log, one JSON object a line:\n"
    "  $XDG_STATE_HOME/torvane/runs.jsonl (default ~/.local/state/torvane/runs.jsonl)\n"
    "\n"
    "  --station [PORT ...]  the station window: the modules on several ports\n"
    "              updated at once, each with its progress and verdict. PORT is\n"
    "              a COM name (COM7) or a device path (/dev/ttyUSB0); without\n"
    "              any, check the ports in the window's list\n"
    "  --help      this text\n"
    "  --version   this release and the product it is built for\n"
    "\n"
    "torvane-cli updates without a window. What each verdict means and what to do:\n"
    "/usr/share/doc/torvane/guide.md\n";

}  // namespace

int main(int argc, char** argv) {
    // Answered before Qt starts, so that they work without a display.
    for (int i = 1; i < argc; ++i) {
        const std::string_view a = argv[i];
        if (a == "--help" || a == "-h") {
            std::fputs(HelpText, stdout);
            return 0;
        }
        if (a == "--version") {
            std::fputs(torvane::VersionText("torvane").c_str(), stdout);
            return 0;
        }
    }
    // The command line as the user typed it: Qt takes its own options out of
    // argv, and "\P" counts only as the very first argument.
    const auto options = torvane::GuiOptions::ThisBuild(argc, argv);
    torvane::Platform& platform = torvane::HostPlatform();
    if (const auto station = torvane::StationArguments(platform.arguments(argc, argv))) {
        // A bad port is said before any window: the command line is wrong.
        const torvane::StationPorts ports = torvane::StationPortsOf(platform, *station);
        if (!ports.error.empty()) {
            std::fprintf(stderr, "torvane --station: %s\n", ports.error.c_str());
            return torvane::ExitUsage;
        }
        torvane::GuiApplication app(argc, argv);
        return torvane::StartStation(options, ports.portIndexes);
    }
    torvane::GuiApplication app(argc, argv);
    const auto guard = platform.instanceGuard();
    return torvane::StartUp(options, *guard);
}
