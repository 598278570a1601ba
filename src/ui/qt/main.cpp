// torvane: the updater with windows.

#include "platform/posix/LockFileGuard.h"
#include "ui/qt/StartUp.h"

int main(int argc, char** argv) {
    torvane::GuiApplication app(argc, argv);
    torvane::posix::LockFileGuard guard;
    return torvane::StartUp(torvane::GuiOptions::ThisBuild(argc, argv), guard);
}
