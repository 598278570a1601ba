#pragma once
// A production station: one update run per port, all at once. Each port has
// its own context (port channel, receiver, image copy) and its own worker
// thread; they share nothing mutable. What each port shows is handed to an
// observer, from the port's worker thread.

#include <chrono>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "bootloader/RunContext.h"
#include "shell/ProductIdentity.h"
#include "ui/Controls.h"

namespace torvane {

class Platform;
struct FrontEndContext;

// Repeat mode: after a verdict the port keeps sending the wake-up code; the
// module counts as taken off once no wake-up has been answered for this long
// (or its device went away). Only then does the search for the next begin.
inline constexpr std::chrono::milliseconds RemovalPeriod{2000};

// One module's run on one port, when its verdict is in.
struct PortReport {
    int slot = 0;            // index into the station's port list
    int portIndex = 0;       // COM index (0 = COM1)
    std::string portName;    // "COM7"
    std::string device;      // device path, empty when unknown
    std::string chip;        // chip name as the device panel shows it, empty when none was learned
    std::string image;       // the image programmed or chosen, e.g. "slot 6, board 26"; empty when none
    std::string verdict;     // the verdict text exactly as the front end shows it
    Outcome outcome = Outcome::None;
    bool success = false;    // Programmed or RepeatDone
    double seconds = 0;
    int exitCode = 0;        // the exit code a single `torvane-cli update` would give
    std::string record;      // the run record, one JSON line, as `update --json` prints it
};

// Called on the port's worker thread; implementations must be thread-safe
// (the CLI serialises printing, the window queues to the GUI thread).
class StationObserver {
public:
    virtual ~StationObserver() = default;
    // A text of the port's front end changed: `what` is the console's name
    // for it ("status", "device", "detail", "message", "result", ...).
    virtual void text(int slot, std::string_view what, std::string_view value) = 0;
    // The port's progress bar.
    virtual void bar(int slot, int position, int maximum, BarState state) = 0;
    // A module's run ended with this verdict.
    virtual void runEnded(int slot, const PortReport& report) = 0;
    // Repeat mode: the port waits for the module to be taken off and the next one put on.
    virtual void waitingForNext(int slot) = 0;
    // The port's worker has stopped and its port is closed.
    virtual void portEnded(int slot) = 0;
};

struct StationSettings {
    FrontEnd front;            // the front end each port behaves as (wake-up code, texts)
    std::string identity;      // product identity (tags)
    bool repeat = false;       // keep each port going: after a verdict, wait for the next module
};

class Station {
public:
    // `portIndexes`: the ports, one slot each, in this order.
    Station(Platform& platform, StationSettings settings, std::vector<int> portIndexes, StationObserver& observer);
    ~Station();                // stop() and wait()
    Station(const Station&) = delete;
    Station& operator=(const Station&) = delete;

    int size() const;
    int portIndex(int slot) const;
    void start();              // every port that is not running
    void start(int slot);
    void stop();               // every port, each at its next wait, with " User Abort !! "
    void stop(int slot);
    void wait();               // until every worker has ended and its port is closed
    bool running(int slot) const;

private:
    struct Port;
    // A port's worker: its own context and controls, the modules it updates, its close.
    void runPort(Port& p);
    // One module after another on the port until its verdict (repeat mode: until stopped).
    void updateModules(Port& p, FrontEndContext& ctx);
    PortReport reportOf(const Port& p, const FrontEndContext& ctx, double seconds, const std::string& record) const;
    Platform& platform_;
    StationSettings settings_;
    StationObserver& observer_;
    std::vector<std::unique_ptr<Port>> ports_;
};

}  // namespace torvane
