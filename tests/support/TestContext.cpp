#include "TestContext.h"

#include <stdexcept>

namespace torvane::test {

TestContext::TestContext(FrontEnd front) : ctx(front) {
    wire(pump);
    ctx.presenter.main = main.view();
    if (front == FrontEnd::LoaderWindow) ctx.presenter.loader = loader.emplace().view();
    if (front == FrontEnd::UpgradeWindow) ctx.presenter.upgrade = upgrade.emplace().view();
}

void TestContext::wire(EventPump& p) { WireRun(ctx, {.ports = ports, .pump = p}); }

void TestContext::openPort(int index) {
    if (OpenPort(ctx.port, index, PortBaudRate, NoParity, TwoStopBits, EightDataBits, 0) == nullptr)
        throw std::runtime_error("fake port did not open: " + ctx.port.lastOpenFailure);
    ctx.port.CurrentPort = static_cast<std::int16_t>(index);
    ctx.port.OpenedPort = ctx.port.CurrentPort;
}

}  // namespace torvane::test
