#include "BenchSupport.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "platform/Platform.h"
#include "ui/FrontEndContext.h"
#include "ui/FrontEnds.h"

namespace torvane::bench {

namespace {
constexpr int BenchPortIndex = 6;  // COM7
}

bootsim::SimConfig ProductModule::simulated() const {
    bootsim::SimConfig config;
    config.chip = chip;
    config.hardware = hardware;
    config.preparation = preparation;
    return config;
}

std::map<std::string, int> ParseOptions(int argc, char** argv, std::map<std::string, int> defaults, const char* usage) {
    for (int i = 1; i < argc; i += 2) {
        const auto option = defaults.find(argv[i]);
        char* end = nullptr;
        const long value = i + 1 < argc ? std::strtol(argv[i + 1], &end, 10) : 0;
        if (option == defaults.end() || i + 1 >= argc || *end != '\0' || value < 1 || value > 100'000'000) {
            std::fprintf(stderr, "usage: %s\n", usage);
            std::exit(2);
        }
        option->second = static_cast<int>(value);
    }
    return defaults;
}

UpdateFigures TimeOneUpdate(const bootsim::SimConfig& module, int baud, EventPump& pump) {
    bootsim::SimRunner sim(module, {baud});
    if (const std::string why = sim.mapPort(BenchPortIndex); !why.empty()) {
        std::fprintf(stderr, "cannot map COM7 to the simulated module: %s\n", why.c_str());
        std::exit(1);
    }
    sim.start();

    HeadlessMainWindow main;
    FrontEndContext ctx;
    WireRun(ctx, {.ports = HostPlatform().serialPorts(), .pump = pump, .clock = &HostPlatform().clock()});
    ctx.presenter.main = main.view();
    ctx.front().SetUp(std::to_string(BenchPortIndex), "");  // no product tags

    const auto start = std::chrono::steady_clock::now();
    ctx.front().StartClick();
    UpdateFigures f;
    f.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    f.frames = static_cast<int>(sim.frames().size());
    f.programmed = ctx.outcome == Outcome::Programmed;
    ClosePortsOnExit(ctx);
    return f;
}

}  // namespace torvane::bench
