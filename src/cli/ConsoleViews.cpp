#include "cli/ConsoleViews.h"

#include <cstdio>
#include <iostream>
#include <map>
#include <set>

#include "platform/Platform.h"
#include "ui/RunRecord.h"

namespace torvane::cli {

namespace {

// One printer per run: lines of text, and on a terminal a progress line that
// the next text or bar update redraws. Each fact is printed once: a text that
// comes back unchanged (a panel cleared and filled again) is not repeated.
// Once the run has failed, what follows goes to stderr, and the failure text
// itself waits for the verdict line.
class Console {
public:
    Console(const Context& ctx, bool progress)
        : ctx_(ctx), progress_(progress), terminal_(progress && HostPlatform().terminal().stdoutIsTerminal()) {}

    void text(const std::string& what, const std::string& value) {
        auto& last = last_[what];
        if (value == last) return;
        last = value;
        const bool failing = Failed(ctx_.outcome);
        if (failing && (value == VerdictText(ctx_) || printed_.count(value))) return;
        printed_.insert(value);
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
    void bar(int position, int maximum) {
        position_ = position;
        maximum_ = maximum;
        drawBar();
    }
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
    const Context& ctx_;
    bool progress_;  // progress and results on stdout
    bool terminal_;
    bool barShown_ = false;
    int position_ = 0, maximum_ = 0;
    std::map<std::string, std::string> last_;
    std::set<std::string> printed_;
};

class ConsoleLabel : public Label {
public:
    ConsoleLabel(Console& c, std::string name) : console_(c), name_(std::move(name)) {}
    void setCaption(const std::string& text) override {
        const bool changed = text != caption_;
        Label::setCaption(text);
        if (changed && visible_ && live_ && !text.empty()) console_.text(name_, text);
    }
    void setVisible(bool v) override {
        const bool appears = v && !visible_;
        Label::setVisible(v);
        if (appears && live_ && !caption_.empty()) console_.text(name_, caption_);
    }
    bool live_ = false;

private:
    Console& console_;
    std::string name_;
};

class ConsoleStatusBar : public StatusBar {
public:
    ConsoleStatusBar(Console& c, int panels, const std::array<std::int32_t, 4>& index)
        : StatusBar(panels), console_(c), index_(index) {}
    void setPanelText(int i, const std::string& text) override {
        const bool changed = text != panelText(i);
        StatusBar::setPanelText(i, text);
        if (changed && live_ && text != " ") console_.text(nameOf(i), text);
    }
    bool live_ = false;

private:
    std::string nameOf(int i) const {
        static const char* const Names[] = {"port", "status", "device", "detail"};
        for (int role = 0; role < 4; ++role)
            if (index_[static_cast<std::size_t>(role)] == i) return Names[role];
        return "panel " + std::to_string(i);
    }
    Console& console_;
    const std::array<std::int32_t, 4>& index_;
};

class ConsoleBar : public ProgressBar {
public:
    explicit ConsoleBar(Console& c) : console_(c) {}
    void setPosition(int p) override {
        ProgressBar::setPosition(p);
        if (live_) console_.bar(position_, maximum_);
    }
    void setMaximum(int m) override {
        ProgressBar::setMaximum(m);
        if (live_) console_.bar(position_, maximum_);
    }
    bool live_ = false;

private:
    Console& console_;
};

}  // namespace

struct ConsoleFrontEnd::Controls {
    Console console;
    FrontEnd front;
    Context& ctx;
    // MainWindow: always there; it only prints when it is the front end.
    ConsoleLabel m1{console, "identity"}, m2{console, "result"}, m3{console, "board"}, m4{console, "release"};
    Button mb1, mb2;
    ConsoleBar mBar{console};
    ConsoleStatusBar mStatus;
    // LoaderWindow
    ConsoleLabel l1{console, "message"}, l6{console, "hardware"}, l7{console, "boot loader"};
    Button lb1, lb2;
    ConsoleBar lBar{console};
    ConsoleStatusBar lStatus;
    // UpgradeWindow
    Panel uPanel;
    Button ub1, ub2;
    ConsoleBar uBar{console}, uBar2{console};
    ConsoleStatusBar uStatus;

    Controls(Context& c, FrontEnd f, bool progress)
        : console(c, progress), front(f), ctx(c), mStatus(console, 4, c.presenter.PanelIndex), lStatus(console, 5, c.presenter.PanelIndex),
          uStatus(console, 5, c.presenter.PanelIndex) {
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
            for (ConsoleLabel* l : {&m2, &m3, &m4}) l->live_ = on;
            mBar.live_ = mStatus.live_ = on;
            break;
        case FrontEnd::LoaderWindow:
            for (ConsoleLabel* l : {&l1, &l6, &l7}) l->live_ = on;
            lBar.live_ = on;
            break;
        case FrontEnd::UpgradeWindow:
            uBar.live_ = uStatus.live_ = on;
            break;
        }
    }
};

ConsoleFrontEnd::ConsoleFrontEnd(Context& ctx, FrontEnd front, bool progress)
    : controls_(std::make_unique<Controls>(ctx, front, progress)) {}
ConsoleFrontEnd::~ConsoleFrontEnd() = default;

void ConsoleFrontEnd::start(const std::string& portName, const std::string& portLine) {
    controls_->console.shown("port", portName, "port: " + portLine);
    controls_->live(true);
}

void ConsoleFrontEnd::finish(const std::string& mappingRecipe) {
    controls_->live(false);
    Console& console = controls_->console;
    console.end();
    const Context& ctx = controls_->ctx;
    const std::string verdict = VerdictText(ctx);
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
