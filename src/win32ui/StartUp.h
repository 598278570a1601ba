#pragma once
// The program's start-up: one instance at a time, the windows in their
// order, the message loop until the front window closes, and a box for any
// error that reaches the top. The station window starts the same way.

#include <string>
#include <vector>

#include "platform/InstanceGuard.h"
#include "ui/GuiOptions.h"
#include "win32ui/MessageBoxes.h"

namespace torvane::win32ui {

// Runs the updater. A second instance shows "Already in progress" (captioned
// with the MainWindow title) and returns at once, building nothing. An error
// while the windows are built or the loop runs is shown with boxes.error,
// in words even when it brings none. Returns the exit code: ExitStartFailed
// after such an error, else 0.
int StartUp(const GuiOptions& options, InstanceGuard& guard, const StartUpBoxes& boxes = {});

// Runs the station window on the ports `ports` names (the arguments after
// --station), checked at first; no single-instance guard, as a station may
// run beside the updater. A port that is none is shown with boxes.error and
// returns ExitUsage before any window: a program without a console has no
// other place to say the command line is wrong. Otherwise as StartUp.
int StartStation(const GuiOptions& options, const std::vector<std::string>& ports, const StartUpBoxes& boxes = {});

}  // namespace torvane::win32ui
