#pragma once
// What a station window shows of its ports, apart from drawing it: the
// engine's reports as data a window queues to its GUI thread, which line of
// a port's cell each text goes to, the verdict's colours and the counts of
// modules done and failed.
//
// The engine reports from each port's worker thread. A window hands every
// report to its GUI thread tagged with the station it came from (its
// generation), so that a report of a station since rebuilt (other ports,
// repeat switched) is dropped instead of landing in the wrong cell.

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "station/Station.h"
#include "ui/Controls.h"

namespace torvane {

class Platform;

inline constexpr std::string_view StationTitle = "Torvane station";
inline constexpr std::string_view RepeatCaption = "Repeat: after each verdict, wait for the next module";
inline constexpr std::string_view StartAllCaption = "START all";
inline constexpr std::string_view StopAllCaption = "STOP all";
inline constexpr std::string_view StartCaption = "START";
inline constexpr std::string_view StopCaption = "STOP";
// A port's status line while it waits, in repeat mode, for the next module.
inline constexpr std::string_view WaitingForNextText = "Waiting for the next module";

// One report of one port, as the observer received it.
struct StationReport {
    enum class Kind { Text, Bar, RunEnded, WaitingForNext, PortEnded };
    Kind kind = Kind::Text;
    int generation = 0;  // the station it came from
    int slot = 0;
    std::string what, value;                                          // Text
    int position = 0, maximum = 0;                                    // Bar
    BarState state = BarState::Normal;                                // Bar
    PortReport run;                                                   // RunEnded
};

// The station's observer in a window: every report becomes a StationReport
// of `generation`, handed to `post` on the worker's thread (post must queue
// it to the GUI thread and nothing more). Each run's record is appended to
// the run log here, on the worker: a record must not be lost because the
// window went away before its queue was processed.
class StationReportRelay : public StationObserver {
public:
    using Post = std::function<void(std::unique_ptr<StationReport>)>;
    StationReportRelay(Platform& platform, int generation, Post post);

    void text(int slot, std::string_view what, std::string_view value) override;
    void bar(int slot, int position, int maximum, BarState state) override;
    void runEnded(int slot, const PortReport& report) override;
    void waitingForNext(int slot) override;
    void portEnded(int slot) override;

private:
    std::unique_ptr<StationReport> report(StationReport::Kind kind, int slot) const;
    Platform& platform_;
    const int generation_;
    Post post_;
};

// The lines of a port's cell a text of its front end may go to.
enum class CellLine { None, Status, Chip, Detail };
// Where a text of the port's front end (`what`, the console's name for it) shows.
CellLine CellLineOf(std::string_view what);

// The verdict as the front ends show it: white on green for success, on red
// for failure.
struct VerdictColours {
    Colour background;
    Colour font;
};
VerdictColours VerdictColoursOf(const PortReport& report);

// A cell's bar as a run's progress report leaves it.
void ShowBar(ProgressBar& bar, int position, int maximum, BarState state);
// A cell's verdict label as a port's end report leaves it.
void ShowVerdict(Label& verdict, const PortReport& report);

// Modules done and failed, on one port or on all.
struct StationCounts {
    int done = 0;
    int failed = 0;
    // A run the operator stopped says nothing about the module: it counts neither way.
    void count(const PortReport& report);
    StationCounts& operator+=(const StationCounts& other);
    std::string text() const;  // "2 done, 1 failed"
};

// One port of the list a station window offers to check.
struct StationPortEntry {
    int portIndex = 0;
    std::string text;        // "COM7   USB serial adapter"
    std::string devicePath;  // empty when unknown
    bool chosen = false;     // checked at first
};

// The ports present, as the port dialog lists them, then each port in
// `chosen` not among them (a port given by name whose device is absent now
// is still a port the user asked for: its run says what is wrong with it).
std::vector<StationPortEntry> StationPortList(Platform& platform, const std::vector<int>& chosen);

}  // namespace torvane
