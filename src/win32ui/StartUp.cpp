#include "win32ui/StartUp.h"

#include <windows.h>
#include <commctrl.h>

#include <exception>

#include "shell/ExitCodes.h"
#include "shell/SingleInstance.h"
#include "ui/EndTexts.h"
#include "win32ui/Session.h"

namespace torvane::win32ui {

int StartUp(const GuiOptions& options, InstanceGuard& guard, const StartUpBoxes& boxes) {
    const bool first = ClaimSingleInstance(guard, [&](std::string_view text, std::string_view caption) {
        SetApplicationTitle("");
        if (boxes.topmost) boxes.topmost(text, caption);
    });
    if (!first) return 0;

    const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_PROGRESS_CLASS | ICC_BAR_CLASSES |
                                                                         ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);
    int exitCode = 0;
    try {
        Session session(options);
        FrontEndWindow& front = session.frontWindow();
        // Closing a dialog never ends the program; closing the front window does.
        front.onClosed = [] { ::PostQuitMessage(0); };
        front.show();
        RunMessageLoop();
    } catch (const std::exception& e) {
        if (boxes.error) boxes.error(e.what());
        exitCode = ExitStartFailed;
    } catch (...) {
        if (boxes.error) boxes.error(UnexpectedStopText);
        exitCode = ExitStartFailed;
    }
    guard.release();
    return exitCode;
}

}  // namespace torvane::win32ui
