#pragma once
// The program's start-up: one instance at a time, the windows in their
// order, the message loop until the main window closes, and a box for any
// error that reaches the top.

#include <QApplication>

#include <vector>

#include "platform/InstanceGuard.h"
#include "ui/GuiOptions.h"
#include "qt/MessageBoxes.h"

namespace torvane {

// The application object. An error escaping an event handler is shown in
// the standard error box and the loop goes on, as for any error the
// framework handles itself.
class GuiApplication : public QApplication {
public:
    GuiApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

// Runs the updater. A second instance shows "Already in progress" (captioned
// with the MainWindow title) and returns at once, building nothing. An error
// while the windows are built or the loop runs is shown with boxes.error,
// in words even when it brings none. Returns the exit code: ExitStartFailed
// after such an error, else 0. Precondition: a QApplication exists.
int StartUp(const GuiOptions& options, InstanceGuard& guard, const StartUpBoxes& boxes = {});

// Runs the station window on `ports` (none: the user checks them in its
// list) until it closes. It takes no single-instance guard: it stands beside
// an updater's window, and a port in use by another program is refused with
// that program's name. An error is shown with boxes.error and returns
// ExitStartFailed; else 0.
// Precondition: a QApplication exists.
int StartStation(const GuiOptions& options, const std::vector<int>& ports, const StartUpBoxes& boxes = {});

}  // namespace torvane
