// torvane: the updater with windows.

#include "platform/Platform.h"
#include "ui/qt/StartUp.h"

int main(int argc, char** argv) {
    // The command line as the user typed it: Qt takes its own options out of
    // argv, and "\P" counts only as the very first argument.
    const auto options = torvane::GuiOptions::ThisBuild(argc, argv);
    torvane::GuiApplication app(argc, argv);
    const auto guard = torvane::HostPlatform().instanceGuard();
    return torvane::StartUp(options, *guard);
}
