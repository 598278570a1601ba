#pragma once
// What the GUI tests share: a fresh configuration folder per test, the
// remembered port, a simulated boot loader mapped to a COM name, the windows
// built as start-up builds them, and a way to act in the middle of a run.

#include <gtest/gtest.h>

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "TempConfigDir.h"
#include "tools/bootsim/SimRunner.h"
#include "qt/GuiSession.h"

// Failure messages show Qt texts as texts.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace torvane::test {

// Identities that choose each front end.
inline const std::string MainIdentity = "WEX15.4 00.04";
inline const std::string LoaderIdentity = "TOLVA 1.2";
inline const std::string UpgradeIdentity = "KBV 7E 02.10.04.01";
inline const std::string TestDate = "Mar 22 2018";
inline const std::string TestTime = "11:43:20";

inline constexpr int DevicePort = 6;  // COM7

// Runs `action` once `condition` holds. Checked at every pass of event
// processing, so also inside the waits of an update run.
class When {
public:
    When(std::function<bool()> condition, std::function<void()> action);
    bool fired() const { return fired_; }

private:
    QTimer timer_;
    bool fired_ = false;
};

class GuiTest : public ::testing::Test {
protected:
    GuiOptions options(const std::optional<std::string>& identity, std::vector<std::string> arguments = {}) const;
    std::unique_ptr<GuiSession> openSession(const std::optional<std::string>& identity,
                                            std::vector<std::string> arguments = {});
    // The front end's window shown, as the message loop would show it.
    std::unique_ptr<GuiSession> openShown(const std::string& identity);

    void storePort(BrandIndex brand, const std::string& text);
    std::string storedPort(BrandIndex brand);

    // A simulated boot loader mapped to COM<portIndex + 1>, answering.
    std::unique_ptr<bootsim::SimRunner> startDevice(int portIndex = DevicePort, bootsim::SimConfig config = {});

    TempConfigDir config_;
};

// Clicks a button as the user does.
void Click(QWidget* button);
// The front end's start and stop buttons and its status bar.
QtButton& StartButton(GuiSession& s);
QtButton& StopButton(GuiSession& s);
QtStatusBar& FrontStatusBar(GuiSession& s);
// Whether any slot of the port table holds an open port.
bool AnyPortOpen(const FrontEndContext& ctx);

}  // namespace torvane::test
