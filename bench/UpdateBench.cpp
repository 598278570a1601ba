// How long a whole update takes against the simulated module with real wire
// time (115200 baud, 8N2), for each product image, with the reply wait that
// wakes on input and with a wait that sleeps a fixed 5 ms before every read.
//
//   torvane-bench-update [--baud N] [--repeat N]

#include <chrono>
#include <cstdio>
#include <string>

#include "BenchSupport.h"
#include "TempConfigDir.h"
#include "platform/Platform.h"

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

}  // namespace

int main(int argc, char** argv) {
    const auto options = bench::ParseOptions(argc, argv, {{"--baud", 115200}, {"--repeat", 1}},
                                             "torvane-bench-update [--baud N] [--repeat N]");
    const int baud = options.at("--baud"), repeat = options.at("--repeat");
    const test::TempConfigDir config;

    std::printf("whole update at %d baud (8N2), best of %d\n\n", baud, repeat);
    std::printf("%-28s %8s %16s %16s %8s\n", "module", "frames", "input-waking s", "fixed-sleep s", "saving");
    for (const auto& m : bench::ProductModules) {
        bench::UpdateFigures best[2];
        for (int pass = 0; pass < 2; ++pass) {
            WaitingPump waking(HostPlatform().clock());
            FixedSleepPump fixed(HostPlatform().clock());
            EventPump& pump = pass == 0 ? static_cast<EventPump&>(waking) : fixed;
            for (int r = 0; r < repeat; ++r) {
                const bench::UpdateFigures f = bench::TimeOneUpdate(m.simulated(), baud, pump);
                if (r == 0 || f.seconds < best[pass].seconds) best[pass] = f;
            }
        }
        const std::string name = std::string(m.name) + ", " + m.imageSize;
        std::printf("%-28s %8d %16.2f %16.2f %7.0f%%%s\n", name.c_str(), best[0].frames, best[0].seconds, best[1].seconds,
                    100.0 * (1.0 - best[0].seconds / best[1].seconds),
                    best[0].programmed && best[1].programmed ? "" : "  (a run failed!)");
    }
    return 0;
}
