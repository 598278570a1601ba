#include "station/Station.h"

#include <atomic>
#include <mutex>
#include <thread>

#include "bootloader/DeviceSearch.h"
#include "bootloader/Receiver.h"
#include "images/Chips.h"
#include "images/ImageTable.h"
#include "platform/Platform.h"
#include "ui/FrontEndContext.h"
#include "ui/FrontEnds.h"
#include "ui/ReportingControls.h"
#include "ui/RunRecord.h"

namespace torvane {

namespace {

// How long a port whose module (with its own USB serial line) went away
// waits before it tries to open the line of the next one; also the least
// time between two searches of a port in repeat mode.
constexpr std::chrono::milliseconds PortRetry{1000};

// Where the controls of one port send what they show: to the observer, with
// the port's slot.
class SlotReports : public ControlReports {
public:
    SlotReports(StationObserver& observer, int slot) : observer_(observer), slot_(slot) {}
    void text(std::string_view what, std::string_view value) override { observer_.text(slot_, what, value); }
    void bar(int position, int maximum, BarState state) override { observer_.bar(slot_, position, maximum, state); }

private:
    StationObserver& observer_;
    int slot_;
};

// Nobody sits at a station port to answer a message box: its text goes to the
// observer and the box counts as answered with OK.
class StationMessageBox : public MessageBoxHost {
public:
    explicit StationMessageBox(ControlReports& r) : reports_(r) {}
    int ShowMessageBox(std::string_view text, std::string_view caption, unsigned) override {
        reports_.text("message box", std::string(caption) + ": " + std::string(text));
        return 1;  // OK
    }

private:
    ControlReports& reports_;
};

bool Succeeded(Outcome o) { return o == Outcome::Programmed || o == Outcome::RepeatDone; }

// No module answered the run's search: it ended not found, or stopped before
// a wake-up was answered.
bool NoModuleAnswered(const FrontEndContext& ctx) {
    return ctx.outcome == Outcome::NotFound || (ctx.outcome == Outcome::Aborted && ctx.identity.chipCode == 0);
}

std::string ChipOf(const FrontEndContext& ctx) {
    const auto code = ctx.identity.chipCode;
    if (code == 0 || ctx.outcome == Outcome::PortUnusable || ctx.outcome == Outcome::NotFound) return {};
    const Chip* chip = FindChip(static_cast<std::uint8_t>(code));
    if (!chip) return "chip code " + std::to_string(code);
    return std::string(chip->name);
}

std::string ImageOf(const FrontEndContext& ctx) {
    const Chip* chip = ctx.identity.chipCode ? FindChip(static_cast<std::uint8_t>(ctx.identity.chipCode)) : nullptr;
    if (!chip || ctx.images.active.size <= 1 || ctx.outcome == Outcome::NotFound) return {};
    std::string image = "slot " + std::to_string(static_cast<int>(SlotForChip(chip->code)));
    if (ctx.identity.identitySeen) image += ", board " + std::to_string(ctx.identity.hardwareCode);
    return image;
}

enum class Removal { TakenOff, DeviceGone, Stopped };

// Repeat mode, after a verdict: the wake-up code goes out as in a search; the
// module is off the port once none has been answered for RemovalPeriod. A
// module left on the port keeps answering and is never searched for again.
Removal WaitForRemoval(FrontEndContext& ctx) {
    auto& ch = ctx.port;
    const std::uint8_t code = ctx.wakeCode;
    EventPump& pump = PumpOf(ctx);
    auto lastAnswer = pump.now();
    for (;;) {
        if (CurrentPortGone(ch) || FlushPort(ch, ch.CurrentPort) != PortUsable) return Removal::DeviceGone;
        DrainInput(ch);
        ctx.receiver.ack = 0;
        ctx.receiver.refusal = 0;
        const auto sent = pump.now();
        // A wake-up the port would not write goes unanswered: the module
        // counts as taken off now, not once a silence has lasted RemovalPeriod.
        if (WritePort(ch, ch.CurrentPort, std::span(&code, 1)) != WriteAccepted)
            return CurrentPortGone(ch) ? Removal::DeviceGone : Removal::TakenOff;
        const auto r = WaitForReply(ctx, WakeReply);
        if (r == WaitAborted) return Removal::Stopped;
        if (r == WaitAcknowledged) {
            lastAnswer = pump.now();
            // One wake-up per reply time, answered or not.
            const auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(pump.now() - sent);
            if (spent < WakeReply) PumpWait(ctx, WakeReply - spent);
            if (ctx.receiver.abort) return Removal::Stopped;
        } else if (pump.now() - lastAnswer >= RemovalPeriod) {
            return Removal::TakenOff;
        }
    }
}

}  // namespace

struct Station::Port {
    int slot = 0;
    int portIndex = 0;
    std::thread worker;
    std::atomic<bool> stopRequested{false};
    std::atomic<bool> running{false};
    std::mutex control;  // start, join
};

Station::Station(Platform& platform, StationSettings settings, std::vector<int> portIndexes, StationObserver& observer)
    : platform_(platform), settings_(std::move(settings)), observer_(observer) {
    for (std::size_t i = 0; i < portIndexes.size(); ++i) {
        auto p = std::make_unique<Port>();
        p->slot = static_cast<int>(i);
        p->portIndex = portIndexes[i];
        ports_.push_back(std::move(p));
    }
}

Station::~Station() {
    stop();
    wait();
}

int Station::size() const { return static_cast<int>(ports_.size()); }

int Station::portIndex(int slot) const { return ports_.at(static_cast<std::size_t>(slot))->portIndex; }

void Station::start() {
    for (int slot = 0; slot < size(); ++slot) start(slot);
}

void Station::start(int slot) {
    Port& p = *ports_.at(static_cast<std::size_t>(slot));
    std::lock_guard lock(p.control);
    if (p.running) return;
    if (p.worker.joinable()) p.worker.join();
    p.stopRequested = false;
    p.running = true;
    p.worker = std::thread([this, &p] { runPort(p); });
}

void Station::runPort(Port& p) {
    FrontEndContext ctx(settings_.front);
    SlotReports reports(observer_, p.slot);
    // The same controls the console builds, in this port's own context.
    ReportingFrontEnd controls(ctx, reports);
    StationMessageBox box(reports);
    StopButtonPump pump(platform_.clock(), ctx, [&p] { return p.stopRequested.load(); });
    WireRun(ctx, {.ports = platform_.serialPorts(),
                  .pump = pump,
                  .clock = &platform_.clock(),
                  .host = &box,
                  .notice = [this, &p](std::string_view text) { observer_.text(p.slot, "notice", text); }});
    ctx.front().SetUp(std::to_string(p.portIndex), settings_.identity);
    controls.live(true);
    updateModules(p, ctx);
    controls.live(false);
    ClosePortsOnExit(ctx);
    p.running = false;
    observer_.portEnded(p.slot);
}

void Station::updateModules(Port& p, FrontEndContext& ctx) {
    RunRecorder recorder(platform_);
    Clock& clock = platform_.clock();
    bool moduleWentAway = false;
    for (;;) {
        const auto started = clock.now();
        recorder.begin(ctx);
        ctx.front().StartClick();
        const std::string record = recorder.end(ctx);
        // Waiting for a module is no module's run: in repeat mode only a
        // search that a module answered is reported and logged. A module
        // that took its serial line with it leaves the port unusable
        // until the next one brings its own.
        const bool lineAway = ctx.outcome == Outcome::PortUnusable && moduleWentAway;
        if (settings_.repeat && (NoModuleAnswered(ctx) || lineAway)) {
            if (p.stopRequested) break;
            // Nor is a search that a port taking no writes cut short
            // repeated at once: it would hammer the port in a tight loop.
            if (lineAway || clock.now() - started < PortRetry) PumpWait(ctx, PortRetry);
            continue;
        }
        moduleWentAway = false;
        const double seconds = std::chrono::duration<double>(clock.now() - started).count();
        observer_.runEnded(p.slot, reportOf(p, ctx, seconds, record));
        if (!settings_.repeat || p.stopRequested || ctx.outcome == Outcome::PortUnusable) break;
        observer_.waitingForNext(p.slot);
        const Removal removal = WaitForRemoval(ctx);
        if (removal == Removal::Stopped) break;
        moduleWentAway = removal == Removal::DeviceGone;
    }
}

PortReport Station::reportOf(const Port& p, const FrontEndContext& ctx, double seconds, const std::string& record) const {
    PortReport report;
    report.slot = p.slot;
    report.portIndex = p.portIndex;
    report.portName = ComName(p.portIndex);
    report.device = platform_.devicePathOf(p.portIndex);
    report.chip = ChipOf(ctx);
    report.image = ImageOf(ctx);
    report.verdict = ctx.front().VerdictText();
    report.outcome = ctx.outcome;
    report.success = Succeeded(ctx.outcome);
    report.seconds = seconds;
    report.exitCode = ExitCodeOf(ctx.outcome);
    report.record = record;
    return report;
}

void Station::stop() {
    for (int slot = 0; slot < size(); ++slot) stop(slot);
}

void Station::stop(int slot) { ports_.at(static_cast<std::size_t>(slot))->stopRequested = true; }

void Station::wait() {
    for (auto& p : ports_) {
        std::lock_guard lock(p->control);
        if (p->worker.joinable() && p->worker.get_id() != std::this_thread::get_id()) p->worker.join();
    }
}

bool Station::running(int slot) const { return ports_.at(static_cast<std::size_t>(slot))->running; }

}  // namespace torvane
