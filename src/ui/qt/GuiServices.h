#pragma once
// What the windows use of the platform besides the serial ports in the
// context: the settings store and the UDP listener. The session that builds
// the windows owns them; tests put their own in.

#include "platform/UdpListener.h"
#include "shell/SettingsStore.h"

namespace torvane {

struct GuiServices {
    SettingsStore& settings;
    UdpListenerFactory makeUdpListener;
};

}  // namespace torvane
