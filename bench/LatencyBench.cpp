// How much a USB adapter's latency costs a whole update: the simulated module
// answers each block late by what an adapter's latency timer would hold the
// answer back (0, 1, 4 and 16 ms; FTDI chips default to 16 ms, the udev rule
// sets 1 ms), with real wire time (115200 baud, 8N2).
//
//   torvane-bench-latency [--baud N] [--repeat N]

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "images/ImageTable.h"
#include "platform/Platform.h"
#include "tools/bootsim/SimRunner.h"
#include "ui/Context.h"
#include "ui/FrontEnds.h"

using namespace torvane;

namespace {

constexpr int LateAnswersMs[] = {0, 1, 4, 16};
constexpr int BenchPort = 6;  // COM7

struct Figures {
    double seconds = 0;
    int frames = 0;
    bool programmed = false;
};

Figures RunOnce(std::uint8_t chip, std::uint8_t hardware, std::uint8_t preparation, int baud, int lateMs) {
    bootsim::SimConfig module;
    module.chip = chip;
    module.hardware = hardware;
    module.preparation = preparation;
    module.faults.lateMs = lateMs;
    bootsim::SimRunner sim(module, {baud});
    sim.mapPort(BenchPort);
    sim.start();

    HeadlessMainWindow main;
    WaitingPump pump(HostPlatform().clock());
    Context ctx;
    ctx.port.system = &HostPlatform().serialPorts();
    ctx.port.clock = &HostPlatform().clock();
    ctx.pump = &pump;
    ctx.presenter.main = main.view();
    SetUpFrontEnd(ctx, std::to_string(BenchPort), "");  // no product tags

    const auto start = std::chrono::steady_clock::now();
    MainUpdateClick(ctx);
    Figures f;
    f.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    f.frames = static_cast<int>(sim.frames().size());
    f.programmed = ctx.outcome == Outcome::Programmed;
    ClosePortsOnExit(ctx);
    return f;
}

}  // namespace

int main(int argc, char** argv) {
    int baud = 115200, repeat = 1;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string a = argv[i];
        if (a == "--baud") baud = std::atoi(argv[i + 1]);
        else if (a == "--repeat") repeat = std::atoi(argv[i + 1]);
    }
    const auto dir = std::filesystem::temp_directory_path() / ("torvane-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    ::setenv("TORVANE_CONFIG_DIR", dir.c_str(), 1);

    struct Module {
        const char* name;
        std::uint8_t chip, hardware, preparation;
    };
    const Module modules[] = {{"PIC18F26K80, 26,781 bytes", 72, 12, 0x04}, {"dsPIC33FJ64, 57,592 bytes", 252, 26, 0x84}};
    std::printf("whole update at %d baud (8N2) with every answer late, best of %d\n\n", baud, repeat);
    std::printf("%-28s %8s", "module", "frames");
    for (int late : LateAnswersMs) std::printf(" %10d ms", late);
    std::printf("\n");
    for (const auto& m : modules) {
        int frames = 0;
        bool failed = false;
        std::printf("%-28s", m.name);
        std::string times;
        for (int late : LateAnswersMs) {
            Figures best;
            for (int r = 0; r < repeat; ++r) {
                const Figures f = RunOnce(m.chip, m.hardware, m.preparation, baud, late);
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
    std::filesystem::remove_all(dir);
    return 0;
}
