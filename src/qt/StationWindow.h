#pragma once
// The station window (`torvane --station`): several ports updated at once,
// one module on each, beside the three front ends. A grid shows each chosen
// port with its progress bar, status text, verdict and the modules done and
// failed on it; START and STOP act on every port or on one.
//
// The engine reports from each port's worker thread. Every report is queued
// to the GUI thread and tagged with the station it came from, so a report of
// a station that has since been rebuilt (other ports, repeat switched) is
// dropped instead of landing in the wrong cell.

#include <QMainWindow>
#include <QString>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "station/Station.h"
#include "station/StationCommandLine.h"
#include "station/StationReports.h"
#include "qt/QtControls.h"

class QCheckBox;
class QGridLayout;
class QGroupBox;
class QLabel;
class QListWidget;
class QPushButton;

namespace torvane {

class Platform;

// One port of the grid.
struct StationCell {
    int portIndex = 0;
    QGroupBox* box = nullptr;
    QLabel* device = nullptr;   // the device path
    std::unique_ptr<QtProgressBar> bar;
    QLabel* status = nullptr;   // the status text of the port's front end
    QLabel* chip = nullptr;     // the device as the run learned it
    QLabel* detail = nullptr;   // why a port or a module failed
    std::unique_ptr<QtLabel> verdict;
    QLabel* counter = nullptr;  // modules done and failed on this port
    QPushButton* start = nullptr;
    QPushButton* stop = nullptr;
    bool running = false;       // started and its worker not yet ended
};

class StationWindow : public QMainWindow {
    Q_OBJECT
public:
    // `chosen`: the ports checked at first (those given on the command line);
    // the others present are listed unchecked. Every run's record goes into
    // the run log of `platform`.
    StationWindow(Platform& platform, StationSettings settings, std::vector<int> chosen = {},
                  QWidget* parent = nullptr);
    // Stops every port and waits for their workers.
    ~StationWindow() override;
    StationWindow(const StationWindow&) = delete;
    StationWindow& operator=(const StationWindow&) = delete;

    int cellCount() const { return static_cast<int>(cells_.size()); }
    StationCell& cell(int slot) { return *cells_.at(static_cast<std::size_t>(slot)); }
    bool anyRunning() const;

    QListWidget* portList;   // the ports present, checked when chosen
    QCheckBox* repeat;       // keep each port going, module after module
    QPushButton* startAll;
    QPushButton* stopAll;
    QLabel* totals;          // modules done and failed on all ports

signals:
    // The window has closed for good: every port had ended.
    void closed();

protected:
    // A close during runs stops them all and is put off until every port
    // has ended, so the GUI stays live while the runs reach their next wait.
    void closeEvent(QCloseEvent* event) override;

private:
    void fillPortList(const std::vector<int>& chosen);
    std::vector<int> checkedPorts() const;
    // New cells and a new station for the checked ports; only while nothing runs.
    void rebuild();
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

    Platform& platform_;
    StationSettings settings_;
    std::map<int, QString> devicePaths_;  // by port index, from the listing
    std::map<int, StationCounts> counts_; // by port index; kept when the grid changes
    QWidget* grid_ = nullptr;
    QGridLayout* gridLayout_ = nullptr;
    std::vector<std::unique_ptr<StationCell>> cells_;
    int generation_ = 0;                  // which station's reports are taken
    bool closePending_ = false;
    std::unique_ptr<StationReportRelay> relay_;  // outlives the station that reports to it
    std::unique_ptr<Station> station_;
};

}  // namespace torvane
