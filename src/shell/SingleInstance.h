#pragma once
// The first steps of start-up: one updater at a time.

#include <functional>
#include <string_view>

#include "platform/InstanceGuard.h"

namespace torvane {

inline constexpr std::string_view InstanceMutexName = "TORVANE.MUTEX";
inline constexpr std::string_view AlreadyInProgressText = "Already in progress";

// Shows a text in a box above all windows, with a caption and an OK button.
using TopmostMessage = std::function<void(std::string_view text, std::string_view caption)>;

// Claims the single-instance guard. When another instance runs, shows
// "Already in progress" captioned with the MainWindow title and returns
// false: the caller then ends with exit code 0, building nothing. A guard that
// cannot be made lets start-up go on without it (true).
bool ClaimSingleInstance(InstanceGuard& guard, const TopmostMessage& show);

}  // namespace torvane
