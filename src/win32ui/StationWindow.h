#pragma once
// The station window (`torvane.exe --station`): several ports updated at
// once, one module on each. A grid of group boxes shows each checked port
// with its device, progress bar, status, chip, detail, verdict and the
// modules done and failed on it; START and STOP act on one port or on all.
// Above the grid, the ports present (select a port to check it) and Repeat.
//
// Each port runs on a worker thread of the station engine. A worker never
// touches a control: its reports are posted to this window as
// StationReportMessage, each a heap-allocated StationReport that the window
// procedure takes over, tagged with the station it came from.

#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "station/Station.h"
#include "station/StationReports.h"
#include "win32ui/Win32Controls.h"
#include "win32ui/Win32Window.h"

namespace torvane {
class Platform;
}

namespace torvane::win32ui {

// A worker's report to the window; lParam is the StationReport it owns.
inline constexpr UINT StationReportMessage = WM_APP + 1;

// One port of the grid. Destroying it destroys its controls.
struct StationCell {
    StationCell() = default;
    ~StationCell();
    StationCell(const StationCell&) = delete;
    StationCell& operator=(const StationCell&) = delete;

    int portIndex = 0;
    HWND box = nullptr;      // the group box, titled with the COM name
    HWND device = nullptr;   // the device path
    std::unique_ptr<Win32ProgressBar> bar;
    HWND status = nullptr;   // the status text of the port's front end
    HWND chip = nullptr;     // the device as the run learned it
    HWND detail = nullptr;   // why a port or a module failed
    std::unique_ptr<Win32Label> verdict;
    HWND counter = nullptr;  // modules done and failed on this port
    std::unique_ptr<Win32Button> start;
    std::unique_ptr<Win32Button> stop;
    bool running = false;    // started and its worker not yet ended
};

class StationWindow : public Window {
    // First: the window is made from them before the controls on it.
    Platform& platform_;
    StationSettings settings_;
    HFONT font_;

public:
    enum Id { PortListId = 10, RepeatId, StartAllId, StopAllId, TotalsId, FirstCellId = 100 };
    // The ids of a cell's buttons.
    static int StartId(int slot) { return FirstCellId + 2 * slot; }
    static int StopId(int slot) { return FirstCellId + 2 * slot + 1; }

    // `chosen`: the ports checked at first (those given on the command line);
    // the others present are listed unchecked. Every run's record goes into
    // the run log of `platform`.
    StationWindow(Platform& platform, StationSettings settings, std::vector<int> chosen = {});
    // Stops every port and waits for their workers.
    ~StationWindow() override;

    void show();
    int cellCount() const { return static_cast<int>(cells_.size()); }
    StationCell& cell(int slot) { return *cells_.at(static_cast<std::size_t>(slot)); }
    bool anyRunning() const;

    HWND PortList;  // the ports present, selected when checked
    HWND Repeat;    // keep each port going, module after module
    Win32Button StartAll;
    Win32Button StopAll;
    HWND Totals;    // modules done and failed on all ports

    // Called once the window has closed for good: every port had ended.
    std::function<void()> onClosed;

protected:
    // A close during runs stops them all and is put off until every port
    // has ended; the window stays live meanwhile.
    LRESULT handle(UINT message, WPARAM w, LPARAM l) override;

private:
    void fillPortList(const std::vector<int>& chosen);
    std::vector<int> checkedPorts() const;
    // New cells and a new station for the checked ports; only while nothing runs.
    void rebuild();
    void makeCell(int slot, int portIndex);
    void layOut();
    void command(int id, int code);
    void close();
    void startPort(int slot);
    void stopPort(int slot);
    void showButtons();
    void showCounts(int slot);

    // A report of a station, on the GUI thread; dropped unless it is the current one's.
    void take(const StationReport& report);
    void showText(int slot, const std::string& what, const std::string& value);
    void showBar(int slot, int position, int maximum, BarState state);
    void showVerdict(int slot, const PortReport& report);
    void showWaiting(int slot);
    void showEnded(int slot);

    // Makes the window; returns its port list.
    HWND createWithPortList();

    std::map<int, std::string> devicePaths_;  // by port index, from the listing
    std::map<int, StationCounts> counts_;     // by port index; kept when the grid changes
    std::vector<std::unique_ptr<StationCell>> cells_;
    int generation_ = 0;                      // which station's reports are taken
    bool closePending_ = false;
    bool closedForGood_ = false;
    std::unique_ptr<StationReportRelay> relay_;  // outlives the station that reports to it
    std::unique_ptr<Station> station_;
};

}  // namespace torvane::win32ui
