#include "bootloader/RunContext.h"

namespace torvane {

void WireRun(RunContext& ctx, RunWiring wiring) {
    ctx.port.system = &wiring.ports;
    ctx.port.clock = wiring.clock;
    ctx.port.host = wiring.host;
    ctx.port.notice = std::move(wiring.notice);
    ctx.port.trace = std::move(wiring.trace);
    ctx.pump = &wiring.pump;
}

}  // namespace torvane
