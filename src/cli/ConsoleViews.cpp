#include "cli/ConsoleViews.h"

#include <cstdio>
#include <iostream>
#include <map>
#include <set>

#include "platform/Platform.h"
#include "ui/ReportingControls.h"
#include "ui/RunRecord.h"

namespace torvane::cli {

namespace {

// One printer per run: lines of text, and on a terminal a progress line that
// the next text or bar update redraws. Each fact is printed once: a text that
// comes back unchanged (a panel cleared and filled again) is not repeated.
// Once the run has failed, what follows goes to stderr, and the failure text
// itself waits for the verdict line.
class Console : public ControlReports {
public:
    Console(const FrontEndContext& ctx, bool progress)
        : ctx_(ctx), progress_(progress), terminal_(progress && HostPlatform().terminal().stdoutIsTerminal()) {}

    void text(std::string_view what, std::string_view value) override {
        auto& last = last_[std::string(what)];
        if (value == last) return;
        last = value;
        const bool failing = Failed(ctx_.outcome);
        if (failing && (value == ctx_.front().VerdictText() || printed_.count(value))) return;
        printed_.emplace(value);
        if (!failing && !progress_) return;
        clearBar();
        (failing ? std::cerr : std::cout) << what << ": " << value << "\n" << std::flush;
        drawBar();
    }
    // A line the console prints itself, as if `what` had shown `value`.
    void shown(const std::string& what, const std::string& value, const std::string& line) {
        last_[what] = value;
        printed_.insert(value);
        if (progress_) std::cout << line << "\n" << std::flush;
    }
    bool printed(const std::string& value) const {
        for (const auto& p : printed_)
            if (p.find(value) != std::string::npos) return true;
        return false;
    }
    void bar(int position, int maximum, BarState) override {
        position_ = position;
        maximum_ = maximum;
        drawBar();
    }
    // The console's bar has no colours to show a pause or an error with.
    void barState(int, int, BarState) override {}
    void end() { clearBar(); }
    bool progress() const { return progress_; }

    static bool Failed(Outcome o) {
        return o != Outcome::None && o != Outcome::Programmed && o != Outcome::RepeatDone;
    }

private:
    void clearBar() {
        if (terminal_ && barShown_) std::cout << "\r\033[K" << std::flush;
        barShown_ = false;
    }
    void drawBar() {
        if (!terminal_ || maximum_ <= 0) return;
        constexpr int Width = 40;
        const int p = position_ < 0 ? 0 : (position_ > maximum_ ? maximum_ : position_);
        const int filled = static_cast<int>(static_cast<long long>(p) * Width / maximum_);
        std::cout << "\r[" << std::string(static_cast<std::size_t>(filled), '#')
                  << std::string(static_cast<std::size_t>(Width - filled), '.') << "] " << (p * 100 / maximum_) << "%"
                  << std::flush;
        barShown_ = true;
    }
    const FrontEndContext& ctx_;
    bool progress_;  // progress and results on stdout
    bool terminal_;
    bool barShown_ = false;
    int position_ = 0, maximum_ = 0;
    std::map<std::string, std::string> last_;
    std::set<std::string, std::less<>> printed_;
};

}  // namespace

struct ConsoleFrontEnd::Controls {
    Console console;
    FrontEndContext& ctx;
    // The MainWindow's controls are always there; they only print when it is the front end.
    ReportingFrontEnd controls;

    Controls(FrontEndContext& c, bool progress) : console(c, progress), ctx(c), controls(c, console) {}
    void live(bool on) { controls.live(on); }
};

ConsoleFrontEnd::ConsoleFrontEnd(FrontEndContext& ctx, bool progress)
    : controls_(std::make_unique<Controls>(ctx, progress)) {}
ConsoleFrontEnd::~ConsoleFrontEnd() = default;

void ConsoleFrontEnd::start(const std::string& portName, const std::string& portLine) {
    controls_->console.shown("port", portName, "port: " + portLine);
    controls_->live(true);
}

void ConsoleFrontEnd::finish(const std::string& mappingRecipe) {
    controls_->live(false);
    Console& console = controls_->console;
    console.end();
    const FrontEndContext& ctx = controls_->ctx;
    const std::string verdict = ctx.front().VerdictText();
    if (!Console::Failed(ctx.outcome)) {
        if (console.progress()) std::cout << "verdict: " << verdict << "\n" << std::flush;
        return;
    }
    std::cerr << "verdict: " << verdict << "\n";
    const auto& why = ctx.port.lastOpenFailure;
    if (ctx.outcome == Outcome::PortUnusable && !why.empty() && !console.printed(why)) std::cerr << "reason: " << why << "\n";
    if (const std::string next = NextStep(ctx.outcome, mappingRecipe); !next.empty()) std::cerr << next << "\n";
    std::cerr << std::flush;
}

}  // namespace torvane::cli
