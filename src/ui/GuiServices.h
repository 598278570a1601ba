#pragma once
// What the windows use of the platform besides the serial ports in the
// context: the settings store and the UDP listener. The session that builds
// the windows owns them; tests put their own in. It also keeps the run log.

#include <functional>
#include <string>

#include "platform/Platform.h"
#include "platform/UdpListener.h"
#include "shell/SettingsStore.h"

namespace torvane {

// Appends the record of each run to the run log; null keeps no log.
using RunLogAppender = std::function<void(const std::string& record)>;

struct GuiServices {
    SettingsStore& settings;
    UdpListenerFactory makeUdpListener;
    // Each run in a front end is recorded through `platform` and appended
    // with `appendRunRecord`; without a platform, nothing is recorded.
    Platform* platform = nullptr;
    RunLogAppender appendRunRecord;
};

}  // namespace torvane
