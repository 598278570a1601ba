// The station window on Windows, driven through its own messages: its cells
// for the ports it is given, and with two simulated modules behind two COM
// ports (TORVANE_TEST_STATION_PORTS=COM7,COM8; tests/windows/windows-under-wine.sh
// links them) START for all, STOP for one and a close during the runs.
// Without the modules those are skipped. Results are read from the controls
// as Windows shows them.

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "formats/ComName.h"
#include "platform/Platform.h"
#include "shell/ExitCodes.h"
#include "station/StationCommandLine.h"
#include "win32ui/StartUp.h"
#include "win32ui/StationWindow.h"
#include "win32ui/Win32Pump.h"
#include "win32ui/Win32Text.h"

namespace torvane::win32ui {
namespace {

constexpr const char* Identity = "WEX15.4 00.04";  // the MainWindow's front end
constexpr const char* Programmed = " Program Ok ";
constexpr const char* Stopped = " User Abort !! ";
// Two whole runs under Wine, on a loaded machine.
constexpr auto WholeRuns = std::chrono::seconds(180);

// The ports of the simulated modules, as port indexes; empty without them.
std::vector<int> ModulePorts() {
    const char* list = std::getenv("TORVANE_TEST_STATION_PORTS");
    std::vector<int> ports;
    std::stringstream names(list != nullptr ? list : "");
    for (std::string name; std::getline(names, name, ',');)
        if (const auto index = PortIndexOfComName(name)) ports.push_back(*index);
    return ports;
}

// Handles the window's messages until `done` holds or `limit` has passed.
bool PumpUntil(const std::function<bool()>& done, std::chrono::steady_clock::duration limit = WholeRuns) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        DispatchPending();
        ::Sleep(2);
    }
    DispatchPending();
    return true;
}

void Click(HWND button) { ::SendMessageW(button, BM_CLICK, 0, 0); }

int BarPosition(StationCell& c) { return static_cast<int>(::SendMessageW(c.bar->hwnd(), PBM_GETPOS, 0, 0)); }

bool Enabled(HWND control) { return ::IsWindowEnabled(control) != FALSE; }

std::vector<std::string> Lines(const std::string& path) {
    std::ifstream file(std::filesystem::path(WideOf(path)));
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);)
        if (!line.empty()) lines.push_back(line);
    return lines;
}

class StationWindowTest : public ::testing::Test {
protected:
    // The station on the two module ports.
    void open() {
        ports = ModulePorts();
        if (ports.size() != 2) GTEST_SKIP() << "no modules: set TORVANE_TEST_STATION_PORTS=COM7,COM8";
        window = std::make_unique<StationWindow>(HostPlatform(), StationSettingsFor(Identity), ports);
        window->show();
        DispatchPending();
        ASSERT_EQ(window->cellCount(), 2);
    }
    bool allEnded() {
        return PumpUntil([&] { return !window->anyRunning(); });
    }

    std::vector<int> ports;
    std::unique_ptr<StationWindow> window;
};

// Without modules: the ports given are listed and selected, each with its
// cell; taking one off the list takes its cell away.
TEST(StationCells, FollowTheCheckedPorts) {
    StationWindow w(HostPlatform(), StationSettingsFor(Identity), {6, 7});
    w.show();
    DispatchPending();
    EXPECT_EQ(w.caption(), "Torvane station");
    ASSERT_EQ(w.cellCount(), 2);
    for (int slot = 0; slot < 2; ++slot) {
        StationCell& c = w.cell(slot);
        EXPECT_EQ(TextOf(c.box), ComName(6 + slot));
        EXPECT_EQ(TextOf(c.device), HostPlatform().devicePathOf(6 + slot));
        EXPECT_EQ(TextOf(c.counter), "0 done, 0 failed");
        EXPECT_TRUE(Enabled(c.start->hwnd()));
        EXPECT_FALSE(Enabled(c.stop->hwnd()));
    }
    EXPECT_EQ(TextOf(w.Totals), "0 done, 0 failed");
    EXPECT_FALSE(Enabled(w.StopAll.hwnd()));

    // The list's row of COM7, as a user's click would unselect it.
    const auto rows = static_cast<int>(::SendMessageW(w.PortList, LB_GETCOUNT, 0, 0));
    int com7 = -1;
    for (int row = 0; row < rows; ++row)
        if (::SendMessageW(w.PortList, LB_GETITEMDATA, static_cast<WPARAM>(row), 0) == 6) com7 = row;
    ASSERT_GE(com7, 0) << "COM7 is not listed";
    EXPECT_GT(::SendMessageW(w.PortList, LB_GETSEL, static_cast<WPARAM>(com7), 0), 0);
    ::SendMessageW(w.PortList, LB_SETSEL, FALSE, com7);
    ::SendMessageW(w.hwnd(), WM_COMMAND, MAKEWPARAM(StationWindow::PortListId, LBN_SELCHANGE),
                   reinterpret_cast<LPARAM>(w.PortList));
    ASSERT_EQ(w.cellCount(), 1);
    EXPECT_EQ(TextOf(w.cell(0).box), "COM8");
}

// A port on the command line that is none: said in a box, before any window.
TEST(StationStart, RefusesAPortThatIsNone) {
    std::vector<std::string> errors;
    StartUpBoxes boxes;
    boxes.error = [&](std::string_view message) { errors.emplace_back(message); };
    GuiOptions options;
    options.identity = Identity;
    EXPECT_EQ(StartStation(options, {"COM7", "LPT1"}, boxes), ExitUsage);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("'LPT1' is neither a port name"), std::string::npos) << errors[0];
}

class StationPrograms : public StationWindowTest {};

TEST_F(StationPrograms, StartAllProgramsBothModulesAndShowsEachVerdict) {
    open();
    if (IsSkipped()) return;
    StationWindow& w = *window;
    Click(w.StartAll.hwnd());
    EXPECT_FALSE(Enabled(w.Repeat)) << "the mode could change under running ports";
    EXPECT_FALSE(Enabled(w.PortList));
    ASSERT_TRUE(allEnded());

    for (int slot = 0; slot < 2; ++slot) {
        SCOPED_TRACE(ComName(ports[slot]));
        StationCell& c = w.cell(slot);
        EXPECT_EQ(TextOf(c.verdict->hwnd()), Programmed);
        EXPECT_EQ(c.verdict->background(), ClGreen);
        EXPECT_EQ(TextOf(c.counter), "1 done, 0 failed");
        EXPECT_EQ(::SendMessageW(c.bar->hwnd(), PBM_GETSTATE, 0, 0), PBST_NORMAL);
        EXPECT_TRUE(Enabled(c.start->hwnd()));
        EXPECT_FALSE(Enabled(c.stop->hwnd()));
    }
    EXPECT_EQ(TextOf(w.Totals), "2 done, 0 failed");
    EXPECT_TRUE(Enabled(w.Repeat));

    // Each module's run is in the run log, from its own port.
    const std::vector<std::string> log = Lines(HostPlatform().runLogPath());
    ASSERT_GE(log.size(), 2u);
    std::vector<std::string> logged;
    for (auto line = log.end() - 2; line != log.end(); ++line) {
        EXPECT_NE(line->find("\"exit_code\":0"), std::string::npos) << *line;
        for (int port : ports)
            if (line->find("\"port\":\"" + ComName(port) + "\"") != std::string::npos) logged.push_back(ComName(port));
    }
    std::sort(logged.begin(), logged.end());
    EXPECT_EQ(logged, (std::vector<std::string>{ComName(ports[0]), ComName(ports[1])}));
}

// These need modules slow enough to be stopped in the middle of a run.
class StationStops : public StationWindowTest {};

TEST_F(StationStops, StopOfOnePortAbortsThatPortOnly) {
    open();
    if (IsSkipped()) return;
    StationWindow& w = *window;
    Click(w.StartAll.hwnd());
    ASSERT_TRUE(PumpUntil([&] { return BarPosition(w.cell(0)) > 0; })) << "the first module was never written";
    Click(w.cell(0).stop->hwnd());
    ASSERT_TRUE(allEnded());

    EXPECT_EQ(TextOf(w.cell(0).verdict->hwnd()), Stopped);
    EXPECT_EQ(w.cell(0).verdict->background(), ClRed);
    EXPECT_EQ(TextOf(w.cell(0).counter), "0 done, 0 failed") << "a stopped run is no failed module";
    EXPECT_EQ(TextOf(w.cell(1).verdict->hwnd()), Programmed);
    EXPECT_EQ(TextOf(w.Totals), "1 done, 0 failed");
}

// The close waits for the ports without blocking the window: it stays until
// every port has ended, then closes with every run aborted.
TEST_F(StationStops, ClosingDuringRunsStopsEveryPortThenCloses) {
    open();
    if (IsSkipped()) return;
    StationWindow& w = *window;
    bool closed = false;
    w.onClosed = [&] { closed = true; };
    Click(w.StartAll.hwnd());
    ASSERT_TRUE(PumpUntil([&] { return BarPosition(w.cell(0)) > 0 && BarPosition(w.cell(1)) > 0; }));
    ::SendMessageW(w.hwnd(), WM_CLOSE, 0, 0);
    EXPECT_FALSE(closed) << "closed with ports running";
    EXPECT_TRUE(::IsWindowVisible(w.hwnd()));
    EXPECT_FALSE(Enabled(w.StartAll.hwnd()));
    ASSERT_TRUE(PumpUntil([&] { return closed; }));

    EXPECT_FALSE(w.anyRunning());
    EXPECT_FALSE(::IsWindowVisible(w.hwnd()));
    for (int slot = 0; slot < 2; ++slot) EXPECT_EQ(TextOf(w.cell(slot).verdict->hwnd()), Stopped) << slot;
}

}  // namespace
}  // namespace torvane::win32ui
