#pragma once
// The message boxes of the program: the serial channel's modal box, the box
// that turns a second instance away, and the standard error box for errors
// that reach the top level or escape an event handler.

#include <QString>

#include <functional>
#include <string_view>

#include "serial/PortChannel.h"

namespace torvane {

// The button a box returns when the user has answered it.
inline constexpr int MessageBoxAnsweredOk = 1;

// The port channel's modal box: one OK button, no icon, owned by the
// application; returns once the user has answered.
class QtMessageBoxHost : public MessageBoxHost {
public:
    int ShowMessageBox(std::string_view text, std::string_view caption, unsigned flags) override;
};

// A box with no owner window, one OK button and no icon, kept above all
// other windows. Returns once it is answered.
void ShowTopmostBox(const QString& text, const QString& caption);

// The standard error box: the message under the application title.
void ShowErrorBox(const QString& message);

// How start-up shows its boxes; tests put recorders in their place.
struct StartUpBoxes {
    std::function<void(const QString& text, const QString& caption)> topmost = ShowTopmostBox;
    std::function<void(const QString& message)> error = ShowErrorBox;
};

}  // namespace torvane
