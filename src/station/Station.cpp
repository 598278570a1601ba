#include "station/Station.h"

#include <array>
#include <atomic>
#include <mutex>
#include <thread>

#include "bootloader/DeviceSearch.h"
#include "bootloader/Receiver.h"
#include "images/Chips.h"
#include "images/ImageTable.h"
#include "platform/Platform.h"
#include "ui/Context.h"
#include "ui/FrontEnds.h"
#include "ui/RunRecord.h"

namespace torvane {

namespace {

// How long a port whose module (with its own USB serial line) went away
// waits before it tries to open the line of the next one.
constexpr int PortRetryMs = 1000;

// Where the controls of one port send what they show.
struct Sink {
    StationObserver& observer;
    int slot;
};

// The console's headless controls, telling the observer instead of printing:
// a text once it changes while it can be seen, the bar on every change.
class StationLabel : public Label {
public:
    StationLabel(Sink& s, std::string name) : sink_(s), name_(std::move(name)) {}
    void setCaption(const std::string& text) override {
        const bool changed = text != caption_;
        Label::setCaption(text);
        if (changed && visible_ && live_ && !text.empty()) sink_.observer.text(sink_.slot, name_, text);
    }
    void setVisible(bool v) override {
        const bool appears = v && !visible_;
        Label::setVisible(v);
        if (appears && live_ && !caption_.empty()) sink_.observer.text(sink_.slot, name_, caption_);
    }
    bool live_ = false;

private:
    Sink& sink_;
    std::string name_;
};

class StationStatusBar : public StatusBar {
public:
    StationStatusBar(Sink& s, int panels, const std::array<std::int32_t, 4>& index)
        : StatusBar(panels), sink_(s), index_(index) {}
    void setPanelText(int i, const std::string& text) override {
        const bool changed = text != panelText(i);
        StatusBar::setPanelText(i, text);
        if (changed && live_ && text != " ") sink_.observer.text(sink_.slot, nameOf(i), text);
    }
    bool live_ = false;

private:
    std::string nameOf(int i) const {
        static const char* const Names[] = {"port", "status", "device", "detail"};
        for (int role = 0; role < 4; ++role)
            if (index_[static_cast<std::size_t>(role)] == i) return Names[role];
        return "panel " + std::to_string(i);
    }
    Sink& sink_;
    const std::array<std::int32_t, 4>& index_;
};

class StationBar : public ProgressBar {
public:
    explicit StationBar(Sink& s) : sink_(s) {}
    void setPosition(int p) override {
        ProgressBar::setPosition(p);
        tell();
    }
    void setMaximum(int m) override {
        ProgressBar::setMaximum(m);
        tell();
    }
    void setState(BarState s) override {
        ProgressBar::setState(s);
        tell();
    }
    bool live_ = false;

private:
    void tell() {
        if (live_) sink_.observer.bar(sink_.slot, position_, maximum_, state_);
    }
    Sink& sink_;
};

// One port's front end: the same controls the console builds, installed in
// the port's own context.
struct PortControls {
    Sink sink;
    FrontEnd front;
    StationLabel m1{sink, "identity"}, m2{sink, "result"}, m3{sink, "board"}, m4{sink, "release"};
    Button mb1, mb2;
    StationBar mBar{sink};
    StationStatusBar mStatus;
    StationLabel l1{sink, "message"}, l6{sink, "hardware"}, l7{sink, "boot loader"};
    Button lb1, lb2;
    StationBar lBar{sink};
    StationStatusBar lStatus;
    Panel uPanel;
    Button ub1, ub2;
    StationBar uBar{sink}, uBar2{sink};
    StationStatusBar uStatus;

    PortControls(Context& c, FrontEnd f, StationObserver& observer, int slot)
        : sink{observer, slot}, front(f), mStatus(sink, 4, c.presenter.PanelIndex), lStatus(sink, 5, c.presenter.PanelIndex),
          uStatus(sink, 5, c.presenter.PanelIndex) {
        for (Label* l : {&m2, &m3, &m4}) l->setVisible(false);
        mb1.setCaption("&Update");
        mb2.setCaption("&Stop");
        mb2.setVisible(false);
        lb1.setCaption("Update FW");
        lb2.setCaption("Abort");
        lb2.setEnabled(false);
        ub1.setCaption("START");
        ub2.setCaption("STOP");
        ub2.setVisible(false);
        uBar2.setVisible(false);
        auto& p = c.presenter;
        p.main = {&m1, &m2, &m3, &m4, &mb1, &mb2, &mBar, &mStatus};
        if (f == FrontEnd::LoaderWindow) p.loader = LoaderWindowView{&l1, &l6, &l7, &lb1, &lb2, &lBar, &lStatus};
        if (f == FrontEnd::UpgradeWindow) p.upgrade = UpgradeWindowView{&uPanel, &ub1, &ub2, &uBar, &uBar2, &uStatus};
    }

    void live(bool on) {
        switch (front) {
        case FrontEnd::MainWindow:
            for (StationLabel* l : {&m2, &m3, &m4}) l->live_ = on;
            mBar.live_ = mStatus.live_ = on;
            break;
        case FrontEnd::LoaderWindow:
            for (StationLabel* l : {&l1, &l6, &l7}) l->live_ = on;
            lBar.live_ = on;
            break;
        case FrontEnd::UpgradeWindow:
            uBar.live_ = uStatus.live_ = on;
            break;
        }
    }
};

// Nobody sits at a station port to answer a message box: its text goes to the
// observer and the box counts as answered with OK.
class StationMessageBox : public MessageBoxHost {
public:
    explicit StationMessageBox(Sink& s) : sink_(s) {}
    int ShowMessageBox(std::string_view text, std::string_view caption, unsigned) override {
        sink_.observer.text(sink_.slot, "message box", std::string(caption) + ": " + std::string(text));
        return 1;  // OK
    }

private:
    Sink& sink_;
};

// Waits on the platform clock; a stop request becomes the front end's Stop
// button, as Ctrl-C does on the console. The abort stays raised until the
// port's worker has ended, so no later wait can swallow it.
class StationPump : public WaitingPump {
public:
    StationPump(Clock& clock, Context& ctx, FrontEnd front, const std::atomic<bool>& stop)
        : WaitingPump(clock), ctx_(ctx), front_(front), stop_(stop) {}
    void step(std::chrono::milliseconds limit, SerialDevice* input) override {
        WaitingPump::step(limit, input);
        if (!stop_) return;
        if (!stopped_) {
            stopped_ = true;
            switch (front_) {
            case FrontEnd::MainWindow: MainStopClick(ctx_); break;
            case FrontEnd::LoaderWindow: LoaderAbortClick(ctx_); break;
            case FrontEnd::UpgradeWindow: UpgradeStopClick(ctx_); break;
            }
        }
        ctx_.receiver.abort = 1;
    }

private:
    Context& ctx_;
    FrontEnd front_;
    const std::atomic<bool>& stop_;
    bool stopped_ = false;
};

void StartClick(Context& ctx, FrontEnd front) {
    switch (front) {
    case FrontEnd::MainWindow: MainUpdateClick(ctx); break;
    case FrontEnd::LoaderWindow: LoaderUpdateClick(ctx); break;
    case FrontEnd::UpgradeWindow: UpgradeStartClick(ctx); break;
    }
}

bool Succeeded(Outcome o) { return o == Outcome::Programmed || o == Outcome::RepeatDone; }

// No module answered the run's search: it ended not found, or stopped before
// a wake-up was answered.
bool NoModuleAnswered(const Context& ctx) {
    return ctx.outcome == Outcome::NotFound || (ctx.outcome == Outcome::Aborted && ctx.identity.chipCode == 0);
}

std::string ChipOf(const Context& ctx) {
    const auto code = ctx.identity.chipCode;
    if (code == 0 || ctx.outcome == Outcome::PortUnusable || ctx.outcome == Outcome::NotFound) return {};
    const Chip* chip = FindChip(static_cast<std::uint8_t>(code));
    if (!chip) return "chip code " + std::to_string(code);
    constexpr std::string_view Found = "Found ";
    std::string_view name = chip->panelText;
    if (name.starts_with(Found)) name.remove_prefix(Found.size());
    return std::string(name);
}

std::string ImageOf(const Context& ctx) {
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
Removal WaitForRemoval(Context& ctx) {
    auto& ch = ctx.port;
    const std::uint8_t code = ctx.runView().wakeCode(ctx.WakeVariant);
    EventPump& pump = PumpOf(ctx);
    auto lastAnswer = pump.now();
    for (;;) {
        if (CurrentPortGone(ch) || FlushPort(ch, ch.CurrentPort) < 0) return Removal::DeviceGone;
        DrainInput(ch);
        ctx.receiver.ack = 0;
        ctx.receiver.refusal = 0;
        const auto sent = pump.now();
        WritePort(ch, ch.CurrentPort, &code, 1);
        const auto r = WaitForReply(ctx, WakeReplyMs);
        if (r == WaitAborted) return Removal::Stopped;
        if (r == WaitAcknowledged) {
            lastAnswer = pump.now();
            // One wake-up per reply time, answered or not.
            const auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(pump.now() - sent).count();
            if (spent < WakeReplyMs) PumpWait(ctx, WakeReplyMs - static_cast<int>(spent));
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
    p.worker = std::thread([this, &p] {
        Context ctx;
        PortControls controls(ctx, settings_.front, observer_, p.slot);
        StationMessageBox box(controls.sink);
        StationPump pump(platform_.clock(), ctx, settings_.front, p.stopRequested);
        ctx.port.system = &platform_.serialPorts();
        ctx.port.clock = &platform_.clock();
        ctx.port.host = &box;
        ctx.port.notice = [this, &p](std::string_view text) { observer_.text(p.slot, "notice", text); };
        ctx.pump = &pump;
        SetUpFrontEnd(ctx, std::to_string(p.portIndex), settings_.identity);
        controls.live(true);

        RunRecorder recorder(platform_);
        Clock& clock = platform_.clock();
        bool moduleWentAway = false;
        for (;;) {
            const auto started = clock.now();
            recorder.begin(ctx);
            StartClick(ctx, settings_.front);
            const std::string record = recorder.end(ctx);
            // Waiting for a module is no module's run: in repeat mode only a
            // search that a module answered is reported and logged. A module
            // that took its serial line with it leaves the port unusable
            // until the next one brings its own.
            const bool lineAway = ctx.outcome == Outcome::PortUnusable && moduleWentAway;
            if (settings_.repeat && (NoModuleAnswered(ctx) || lineAway)) {
                if (p.stopRequested) break;
                if (lineAway) PumpWait(ctx, PortRetryMs);
                continue;
            }
            moduleWentAway = false;
            PortReport report;
            report.slot = p.slot;
            report.portIndex = p.portIndex;
            report.portName = ComName(p.portIndex);
            report.device = platform_.devicePathOf(p.portIndex);
            report.chip = ChipOf(ctx);
            report.image = ImageOf(ctx);
            report.verdict = VerdictText(ctx);
            report.outcome = ctx.outcome;
            report.success = Succeeded(ctx.outcome);
            report.seconds = std::chrono::duration<double>(clock.now() - started).count();
            report.exitCode = ExitCodeOf(ctx.outcome);
            report.record = record;
            observer_.runEnded(p.slot, report);
            if (!settings_.repeat || p.stopRequested || ctx.outcome == Outcome::PortUnusable) break;
            observer_.waitingForNext(p.slot);
            const Removal removal = WaitForRemoval(ctx);
            if (removal == Removal::Stopped) break;
            moduleWentAway = removal == Removal::DeviceGone;
        }
        controls.live(false);
        ClosePortsOnExit(ctx);
        p.running = false;
        observer_.portEnded(p.slot);
    });
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
