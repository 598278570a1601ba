#pragma once
// The controls of the three front ends that the update logic reaches, and the
// Presenter's own state. A window that exists hands its controls over; the
// MainWindow always exists, the other two only when they drive the update.
// Which one drives it is the front-end object's to know (ui/FrontEnds.h).

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>

#include "bootloader/RunView.h"
#include "net/Notification.h"
#include "shell/ProductIdentity.h"
#include "ui/Controls.h"

namespace torvane {

struct MainWindowView {
    Label* Label1 = nullptr;  // product identity; background is the highlight
    Label* Label2 = nullptr;  // result and progress line
    Label* Label3 = nullptr;  // identity line
    Label* Label4 = nullptr;  // release line
    Button* Button1 = nullptr;  // "&Update"
    Button* Button2 = nullptr;  // "&Stop"
    ProgressBar* ProgressBar1 = nullptr;
    StatusBar* StatusBar1 = nullptr;
};

struct LoaderWindowView {
    Label* Label1 = nullptr;  // message line
    Label* Label6 = nullptr;  // hardware value
    Label* Label7 = nullptr;  // boot-loader value
    Button* Button1 = nullptr;  // "Update FW"
    Button* Button2 = nullptr;  // "Abort"
    ProgressBar* ProgressBar1 = nullptr;
    StatusBar* StatusBar1 = nullptr;
    // Its status bar is never shown: why the port cannot be used goes here
    // too, where the window has room for it. May be empty.
    std::function<void(std::string_view reason)> showPortReason;
};

struct UpgradeWindowView {
    Panel* Panel1 = nullptr;    // background is the highlight
    Button* Button1 = nullptr;  // "START"
    Button* Button2 = nullptr;  // "STOP"
    ProgressBar* ProgressBar1 = nullptr;
    ProgressBar* ProgressBar2 = nullptr;
    StatusBar* StatusBar1 = nullptr;
};

struct Presenter {
    MainWindowView main;        // always present
    LoaderWindowView loader;    // present when it is the front end
    UpgradeWindowView upgrade;  // present when it is the front end
    std::array<std::int32_t, 4> PanelIndex{0, 1, 2, 3};
    NotificationHook notify;    // none at start
};

// Headless front ends: real control models, no window system. The CLI and the
// tests drive the update through these.
struct HeadlessMainWindow {
    Label Label1, Label2, Label3, Label4;
    Button Button1, Button2;
    ProgressBar ProgressBar1;
    StatusBar StatusBar1{4};
    HeadlessMainWindow();
    MainWindowView view();
};

struct HeadlessLoaderWindow {
    Label Label1, Label6, Label7;
    Button Button1, Button2;
    ProgressBar ProgressBar1;
    StatusBar StatusBar1{5};
    HeadlessLoaderWindow();
    LoaderWindowView view();
};

struct HeadlessUpgradeWindow {
    Panel Panel1;
    Button Button1, Button2;
    ProgressBar ProgressBar1, ProgressBar2;
    StatusBar StatusBar1{5};
    HeadlessUpgradeWindow();
    UpgradeWindowView view();
};

}  // namespace torvane
