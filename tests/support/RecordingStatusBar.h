#pragma once
// A status bar that keeps every panel write in order, so a test can see texts
// that later writes replaced ("Resend 0" .. "Resend 4").

#include <string>
#include <utility>
#include <vector>

#include "ui/Controls.h"

namespace torvane::test {

class RecordingStatusBar : public StatusBar {
public:
    using StatusBar::StatusBar;
    void setPanelText(int index, const std::string& text) override {
        writes.emplace_back(index, text);
        StatusBar::setPanelText(index, text);
    }
    std::vector<std::pair<int, std::string>> writes;
};

}  // namespace torvane::test
