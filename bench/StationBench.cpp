// How long a production station takes to update 1, 2, 4 and 8 modules at
// once, against simulated modules with real wire time (115200 baud, 8N2):
// the station engine in this process, one simulated module per port. An
// update is bound by the line, not the processor, so N ports should cost
// about the time of one.
//
//   torvane-bench-station [--baud N] [--repeat N] [--max-modules N]

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <mutex>
#include <string>
#include <vector>
#include <unistd.h>

#include "BenchSupport.h"
#include "TempConfigDir.h"
#include "platform/Platform.h"
#include "station/Station.h"
#include "tools/bootsim/SimRunner.h"

using namespace torvane;

namespace {

// COM7 is the first port of the station.
constexpr int FirstPortIndex = 6;
constexpr int DefaultBaud = 115200;
constexpr int DefaultMaxModules = 8;

// Only the verdicts matter here; the texts and bars go by.
class Verdicts : public StationObserver {
public:
    void text(int, std::string_view, std::string_view) override {}
    void bar(int, int, int, BarState) override {}
    void runEnded(int, const PortReport& report) override {
        std::lock_guard lock(mutex_);
        if (!report.success) failures_.push_back(report.portName + ": " + report.verdict);
        ++ended_;
    }
    void waitingForNext(int) override {}
    void portEnded(int) override {}

    int ended() const {
        std::lock_guard lock(mutex_);
        return ended_;
    }
    std::vector<std::string> failures() const {
        std::lock_guard lock(mutex_);
        return failures_;
    }

private:
    mutable std::mutex mutex_;
    int ended_ = 0;
    std::vector<std::string> failures_;
};

struct Figures {
    double seconds = 0;
    double cpuSeconds = 0;  // this process: the station and the simulated modules together
    std::vector<std::string> failures;
};

Figures RunStation(const bench::ProductModule& m, int modules, int baud) {
    const bootsim::SimConfig config = m.simulated();
    std::vector<std::unique_ptr<bootsim::SimRunner>> sims;
    std::vector<int> ports;
    for (int k = 0; k < modules; ++k) {
        sims.push_back(std::make_unique<bootsim::SimRunner>(config, bootsim::RunnerOptions{baud}));
        const std::string why = sims.back()->mapPort(FirstPortIndex + k);
        if (!why.empty()) {
            std::fprintf(stderr, "torvane-bench-station: cannot map a port: %s\n", why.c_str());
            std::exit(1);
        }
        sims.back()->start();
        ports.push_back(FirstPortIndex + k);
    }

    Verdicts verdicts;
    Figures f;
    {
        Station station(HostPlatform(), StationSettings{FrontEnd::MainWindow, "", false}, ports, verdicts);
        const std::clock_t cpuStart = std::clock();
        const auto start = std::chrono::steady_clock::now();
        station.start();
        station.wait();
        f.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        f.cpuSeconds = static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    }
    f.failures = verdicts.failures();
    if (verdicts.ended() != modules) f.failures.push_back("only " + std::to_string(verdicts.ended()) + " verdicts");
    return f;
}

}  // namespace

int main(int argc, char** argv) {
    const auto options =
        bench::ParseOptions(argc, argv, {{"--baud", DefaultBaud}, {"--repeat", 1}, {"--max-modules", DefaultMaxModules}},
                            "torvane-bench-station [--baud N] [--repeat N] [--max-modules N]");
    const int baud = options.at("--baud"), repeat = options.at("--repeat"), maxModules = options.at("--max-modules");
    const test::TempConfigDir config;

    std::printf("a station updating N modules at once, %d baud (8N2) with wire time, best of %d; %ld cores\n\n",
                baud, repeat, ::sysconf(_SC_NPROCESSORS_ONLN));
    std::printf("%-14s %8s %10s %10s %14s\n", "image", "modules", "seconds", "ratio", "cpu seconds");
    bool allProgrammed = true;
    for (const bench::ProductModule& m : bench::ProductModules) {
        double one = 0;
        for (int modules = 1; modules <= maxModules; modules *= 2) {
            Figures best;
            for (int r = 0; r < repeat; ++r) {
                const Figures f = RunStation(m, modules, baud);
                if (r == 0 || f.seconds < best.seconds) best = f;
            }
            if (modules == 1) one = best.seconds;
            std::printf("%-14s %8d %10.2f %10.3f %14.2f%s\n", m.name, modules, best.seconds, best.seconds / one,
                        best.cpuSeconds, best.failures.empty() ? "" : "  (a run failed!)");
            for (const std::string& why : best.failures) std::printf("    %s\n", why.c_str());
            std::fflush(stdout);
            allProgrammed = allProgrammed && best.failures.empty();
        }
    }
    return allProgrammed ? 0 : 1;
}
