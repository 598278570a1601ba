#include "cli/StationUpdate.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <mutex>
#include <string_view>
#include <vector>

#include "formats/ComName.h"
#include "platform/Platform.h"
#include "shell/ExitCodes.h"
#include "station/Station.h"
#include "ui/RunRecord.h"

namespace torvane::cli {

namespace {

// How often the main thread looks for Ctrl-C while the ports work.
constexpr auto InterruptPoll = std::chrono::milliseconds(20);
constexpr int BarWidth = 30;
constexpr std::size_t TextWidth = 48;  // of a live row's text; longer texts are cut
constexpr std::string_view WaitingForNextText = "take the module off and put the next one on";
constexpr std::string_view NoModuleText = "no module";

// Everything the ports show, printed so that a person and a script can follow
// it: on a terminal one row per port redrawn in place, else one whole line per
// change, prefixed with its port. Every write happens under one mutex.
class StationPrinter : public StationObserver {
public:
    StationPrinter(Platform& platform, const StationUpdateOptions& options)
        : platform_(platform), options_(options),
          terminal_(!options.json && platform.terminal().stdoutIsTerminal()), ports_(options.ports.size()) {
        for (std::size_t i = 0; i < ports_.size(); ++i) ports_[i].name = ComName(options.ports[i]);
        if (terminal_) {
            std::string rows;
            for (std::size_t i = 0; i < ports_.size(); ++i) rows += row(i) + "\n";
            write(rows);
        }
    }

    void text(int slot, std::string_view what, std::string_view value) override {
        std::lock_guard lock(mutex_);
        PortState& p = ports_.at(static_cast<std::size_t>(slot));
        auto& last = p.last[std::string(what)];
        if (last == value) return;
        last = value;
        if (what == "port") return;  // the prefix says it already
        show(slot, std::string(what) + ": " + std::string(value));
    }

    void bar(int slot, int position, int maximum, BarState) override {
        if (!terminal_) return;
        std::lock_guard lock(mutex_);
        PortState& p = ports_.at(static_cast<std::size_t>(slot));
        const int percent = maximum > 0 ? std::clamp(position, 0, maximum) * 100 / maximum : 0;
        if (percent == p.percent && maximum == p.maximum) return;
        p.percent = percent;
        p.maximum = maximum;
        redraw();
    }

    void runEnded(int slot, const PortReport& report) override {
        std::lock_guard lock(mutex_);
        runs_.push_back(report);
        // The next module's run tells its own facts, even where they match this one's.
        ports_.at(static_cast<std::size_t>(slot)).last.clear();
        if (options_.json) write(report.record + "\n");
        else show(slot, "verdict: " + report.verdict);
        if (options_.logFile) {
            if (const std::string failure = platform_.appendLine(*options_.logFile, report.record); !failure.empty()) {
                if (logFailure_.empty()) logFailure_ = failure;
            }
        }
    }

    void waitingForNext(int slot) override {
        std::lock_guard lock(mutex_);
        show(slot, "station: " + std::string(WaitingForNextText));
    }

    void portEnded(int) override {
        std::lock_guard lock(mutex_);
        ++ended_;
        changed_.notify_all();
    }

    // Until every port has ended; Ctrl-C stops them all.
    void waitForEnd(Station& station, const Interrupts& interrupts) {
        std::unique_lock lock(mutex_);
        bool stopping = false;
        while (ended_ < ports_.size()) {
            changed_.wait_for(lock, InterruptPoll);
            if (interrupts.requested() && !stopping) {
                stopping = true;
                lock.unlock();
                station.stop();
                lock.lock();
            }
        }
    }

    // The table of every module's run, a port without one included, and what
    // to do after each failure. Returns the exit code.
    int finish() {
        std::lock_guard lock(mutex_);
        std::vector<std::array<std::string, 5>> table{{"port", "chip", "image", "verdict", "time"}};
        bool failed = false;
        for (std::size_t slot = 0; slot < ports_.size(); ++slot) {
            bool any = false;
            for (const PortReport& r : runs_) {
                if (r.slot != static_cast<int>(slot)) continue;
                any = true;
                failed = failed || !r.success;
                char seconds[32];
                std::snprintf(seconds, sizeof seconds, "%.1f s", r.seconds);
                table.push_back({r.portName, r.chip.empty() ? "-" : r.chip, r.image.empty() ? "-" : r.image, r.verdict, seconds});
            }
            if (!any) table.push_back({ports_[slot].name, "-", "-", std::string(NoModuleText), "-"});
        }
        std::array<std::size_t, 5> width{};
        for (const auto& row : table)
            for (std::size_t c = 0; c < row.size(); ++c) width[c] = std::max(width[c], row[c].size());
        std::string text = terminal_ ? "\n" : "";
        for (const auto& row : table) {
            std::string line;
            for (std::size_t c = 0; c < row.size(); ++c)
                line += c + 1 < row.size() ? row[c] + std::string(width[c] - row[c].size() + 2, ' ') : row[c];
            text += line + "\n";
        }
        // With --json, stdout holds the records alone.
        std::FILE* tableOut = options_.json ? stderr : stdout;
        std::fwrite(text.data(), 1, text.size(), tableOut);
        std::fflush(tableOut);

        std::string advice;
        for (const PortReport& r : runs_)
            if (const std::string next = NextStep(r.outcome, platform_.portMappingRecipe(r.portName)); !next.empty())
                advice += r.portName + ": " + next + "\n";
        if (!logFailure_.empty())
            advice += "torvane-cli update: some runs were not recorded: " + logFailure_ +
                      "\nNext: give --log a file in a folder you may write to.\n";
        std::fwrite(advice.data(), 1, advice.size(), stderr);
        std::fflush(stderr);

        if (failed) return ExitSomePortsFailed;
        return logFailure_.empty() ? ExitProgrammed : ExitLogFailed;
    }

private:
    struct PortState {
        std::string name;
        std::map<std::string, std::string, std::less<>> last;
        std::string shown;  // the live row's text
        int percent = 0, maximum = 0;
    };

    // A line for the port: its own line in a log, its row on a terminal.
    void show(int slot, const std::string& line) {
        if (options_.json) return;
        PortState& p = ports_.at(static_cast<std::size_t>(slot));
        if (!terminal_) {
            write(p.name + ": " + line + "\n");
            return;
        }
        p.shown = line;
        redraw();
    }

    std::string row(std::size_t i) const {
        const PortState& p = ports_[i];
        std::string text = p.shown.size() > TextWidth ? p.shown.substr(0, TextWidth - 3) + "..." : p.shown;
        text.resize(TextWidth, ' ');
        std::string line = p.name + std::string(p.name.size() < 7 ? 7 - p.name.size() : 1, ' ') + text;
        if (p.maximum > 0) {
            const int filled = p.percent * BarWidth / 100;
            line += " [" + std::string(static_cast<std::size_t>(filled), '#') +
                    std::string(static_cast<std::size_t>(BarWidth - filled), '.') + "] " + std::to_string(p.percent) + "%";
        }
        return line;
    }

    // Back up over every row and draw them again: one write.
    void redraw() {
        std::string out = "\033[" + std::to_string(ports_.size()) + "A";
        for (std::size_t i = 0; i < ports_.size(); ++i) out += "\r\033[K" + row(i) + "\n";
        write(out);
    }

    static void write(const std::string& s) {
        std::fwrite(s.data(), 1, s.size(), stdout);
        std::fflush(stdout);
    }

    Platform& platform_;
    const StationUpdateOptions& options_;
    const bool terminal_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<PortState> ports_;
    std::vector<PortReport> runs_;
    std::size_t ended_ = 0;
    std::string logFailure_;
};

}  // namespace

int RunStationUpdate(Platform& platform, const StationUpdateOptions& options, const Interrupts& interrupts) {
    StationPrinter printer(platform, options);
    {
        Station station(platform, StationSettings{options.front, options.identity, options.repeat}, options.ports, printer);
        station.start();
        printer.waitForEnd(station, interrupts);
        station.wait();
    }
    return printer.finish();
}

}  // namespace torvane::cli
