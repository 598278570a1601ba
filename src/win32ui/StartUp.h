#pragma once
// The program's start-up: one instance at a time, the windows in their
// order, the message loop until the front window closes, and a box for any
// error that reaches the top.

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

}  // namespace torvane::win32ui
