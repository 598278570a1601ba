// How long a whole update takes against the simulated module with real wire
// time (115200 baud, 8N2), for each product image, with the reply wait that
// wakes on input and with a wait that sleeps a fixed 5 ms before every read.
//
//   torvane-bench-update [--baud N] [--repeat N]

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <unistd.h>

#include "ui/Context.h"
#include "images/ImageTable.h"
#include "platform/Platform.h"
#include "tools/bootsim/SimRunner.h"
#include "ui/FrontEnds.h"

using namespace torvane;

namespace {

// The old way: a full 5 ms sleep before every read, whatever has arrived.
class FixedSleepPump : public EventPump {
public:
    explicit FixedSleepPump(Clock& clock) : clock_(clock) {}
    void step(std::chrono::milliseconds limit, SerialDevice*) override { clock_.sleep(limit); }
    void sleep(std::chrono::milliseconds d) override { clock_.sleep(d); }
    Clock::TimePoint now() const override { return clock_.now(); }

private:
    Clock& clock_;
};

struct Figures {
    double seconds = 0;
    int frames = 0;
    bool programmed = false;
};

Figures RunOnce(std::uint8_t chip, std::uint8_t hardware, std::uint8_t preparation, int baud, EventPump& pump) {
    bootsim::SimConfig module;
    module.chip = chip;
    module.hardware = hardware;
    module.preparation = preparation;
    bootsim::SimRunner sim(module, {baud});
    sim.mapPort(6);
    sim.start();

    HeadlessMainWindow main;
    Context ctx;
    ctx.port.system = &HostPlatform().serialPorts();
    ctx.port.clock = &HostPlatform().clock();
    ctx.pump = &pump;
    ctx.presenter.main = main.view();
    SetUpFrontEnd(ctx, "6", "");  // COM7, no product tags

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
    std::printf("whole update at %d baud (8N2), best of %d\n\n", baud, repeat);
    std::printf("%-28s %8s %16s %16s %8s\n", "module", "frames", "input-waking s", "fixed-sleep s", "saving");
    for (const auto& m : modules) {
        Figures best[2];
        for (int pass = 0; pass < 2; ++pass) {
            WaitingPump waking(HostPlatform().clock());
            FixedSleepPump fixed(HostPlatform().clock());
            EventPump& pump = pass == 0 ? static_cast<EventPump&>(waking) : fixed;
            for (int r = 0; r < repeat; ++r) {
                const Figures f = RunOnce(m.chip, m.hardware, m.preparation, baud, pump);
                if (r == 0 || f.seconds < best[pass].seconds) best[pass] = f;
            }
        }
        std::printf("%-28s %8d %16.2f %16.2f %7.0f%%%s\n", m.name, best[0].frames, best[0].seconds, best[1].seconds,
                    100.0 * (1.0 - best[0].seconds / best[1].seconds),
                    best[0].programmed && best[1].programmed ? "" : "  (a run failed!)");
    }
    std::filesystem::remove_all(dir);
    return 0;
}
