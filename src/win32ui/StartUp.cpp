#include "win32ui/StartUp.h"

#include <windows.h>
#include <commctrl.h>

#include <exception>

#include "shell/ExitCodes.h"
#include "shell/SingleInstance.h"
#include "station/StationCommandLine.h"
#include "ui/EndTexts.h"
#include "win32ui/Session.h"
#include "win32ui/StationWindow.h"

namespace torvane::win32ui {

namespace {

void InitCommonControls() {
    const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_PROGRESS_CLASS | ICC_BAR_CLASSES |
                                                                         ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);
}

// Runs the windows; an error that escapes them is shown with boxes.error and
// makes the exit code ExitStartFailed.
template <class Windows>
int RunShowingErrors(const StartUpBoxes& boxes, Windows windows) {
    try {
        windows();
        return 0;
    } catch (const std::exception& e) {
        if (boxes.error) boxes.error(e.what());
    } catch (...) {
        if (boxes.error) boxes.error(UnexpectedStopText);
    }
    return ExitStartFailed;
}

}  // namespace

int StartUp(const GuiOptions& options, InstanceGuard& guard, const StartUpBoxes& boxes) {
    const bool first = ClaimSingleInstance(guard, [&](std::string_view text, std::string_view caption) {
        SetApplicationTitle("");
        if (boxes.topmost) boxes.topmost(text, caption);
    });
    if (!first) return 0;

    InitCommonControls();
    const int exitCode = RunShowingErrors(boxes, [&] {
        Session session(options);
        FrontEndWindow& front = session.frontWindow();
        // Closing a dialog never ends the program; closing the front window does.
        front.onClosed = [] { ::PostQuitMessage(0); };
        front.show();
        RunMessageLoop();
    });
    guard.release();
    return exitCode;
}

int StartStation(const GuiOptions& options, const std::vector<std::string>& ports, const StartUpBoxes& boxes) {
    SetApplicationTitle(StationTitle);
    Platform& platform = HostPlatform();
    const StationPorts chosen = StationPortsOf(platform, ports);
    if (!chosen.error.empty()) {
        if (boxes.error) boxes.error("torvane --station: " + chosen.error);
        return ExitUsage;
    }
    InitCommonControls();
    return RunShowingErrors(boxes, [&] {
        StationWindow window(platform, StationSettingsFor(options.identity), chosen.portIndexes);
        window.onClosed = [] { ::PostQuitMessage(0); };
        window.show();
        RunMessageLoop();
    });
}

}  // namespace torvane::win32ui
