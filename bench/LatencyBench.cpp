// How much a USB adapter's latency costs a whole update: the simulated module
// answers each block late by what an adapter's latency timer would hold the
// answer back (0, 1, 4 and 16 ms; FTDI chips default to 16 ms, the udev rule
// sets 1 ms), with real wire time (115200 baud, 8N2).
//
//   torvane-bench-latency [--baud N] [--repeat N]

#include <cstdio>
#include <string>

#include "BenchSupport.h"
#include "TempConfigDir.h"
#include "platform/Platform.h"

using namespace torvane;

namespace {
constexpr int LateAnswersMs[] = {0, 1, 4, 16};
}  // namespace

int main(int argc, char** argv) {
    const auto options = bench::ParseOptions(argc, argv, {{"--baud", 115200}, {"--repeat", 1}},
                                             "torvane-bench-latency [--baud N] [--repeat N]");
    const int baud = options.at("--baud"), repeat = options.at("--repeat");
    const test::TempConfigDir config;

    std::printf("whole update at %d baud (8N2) with every answer late, best of %d\n\n", baud, repeat);
    std::printf("%-28s %8s", "module", "frames");
    for (int late : LateAnswersMs) std::printf(" %10d ms", late);
    std::printf("\n");
    for (const auto& m : bench::ProductModules) {
        int frames = 0;
        bool failed = false;
        std::printf("%-28s", (std::string(m.name) + ", " + m.imageSize).c_str());
        std::string times;
        for (int late : LateAnswersMs) {
            bench::UpdateFigures best;
            for (int r = 0; r < repeat; ++r) {
                bootsim::SimConfig module = m.simulated();
                module.faults.lateMs = late;
                WaitingPump pump(HostPlatform().clock());
                const bench::UpdateFigures f = bench::TimeOneUpdate(module, baud, pump);
                if (r == 0 || f.seconds < best.seconds) best = f;
            }
            frames = best.frames;
            failed = failed || !best.programmed;
            char cell[32];
            std::snprintf(cell, sizeof cell, " %10.2f s", best.seconds);
            times += cell;
        }
        std::printf(" %8d%s%s\n", frames, times.c_str(), failed ? "  (a run failed!)" : "");
    }
    return 0;
}
