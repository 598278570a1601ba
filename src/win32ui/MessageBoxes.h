#pragma once
// The message boxes of the program: the serial channel's modal box, the box
// that turns a second instance away, the standard error box for errors that
// reach the top or escape a message handler, and warnings.

#include <functional>
#include <string>
#include <string_view>

#include "serial/PortChannel.h"

namespace torvane::win32ui {

// The button a box returns when the user has answered it.
inline constexpr int MessageBoxAnsweredOk = 1;

// The port channel's modal box: one OK button, no icon, above the
// program's windows; returns once the user has answered.
class Win32MessageBoxHost : public MessageBoxHost {
public:
    int ShowMessageBox(std::string_view text, std::string_view caption, unsigned flags) override;
};

// A box with no owner window, one OK button and no icon, kept above all
// other windows. Returns once it is answered.
void ShowTopmostBox(std::string_view text, std::string_view caption);

// The standard error box: the message under the application title.
void ShowErrorBox(std::string_view message);

// A warning under the application title.
void ShowWarningBox(std::string_view message);

// The application title: the caption of the program's boxes.
void SetApplicationTitle(std::string_view title);
const std::string& ApplicationTitle();

// How start-up shows its boxes; tests put recorders in their place.
struct StartUpBoxes {
    std::function<void(std::string_view text, std::string_view caption)> topmost = ShowTopmostBox;
    std::function<void(std::string_view message)> error = ShowErrorBox;
};

}  // namespace torvane::win32ui
