#pragma once
// A fresh updater context for one test: headless windows for the chosen front
// end (the MainWindow always), a fake serial line behind the port channel, and
// a waiting pump on a scripted clock, so protocol time passes at once.

#include <optional>

#include "FakeSerial.h"
#include "ScriptedClock.h"
#include "ui/FrontEndContext.h"

namespace torvane::test {

class TestContext {
public:
    explicit TestContext(FrontEnd front = FrontEnd::MainWindow);
    TestContext(const TestContext&) = delete;
    TestContext& operator=(const TestContext&) = delete;

    // Waits with `pump` from now on, in place of the waiting pump.
    void wire(EventPump& pump);
    // Opens `index` with the update run's line setting and makes it CurrentPort.
    void openPort(int index = 0);
    FakeLine& line() { return ports.line(); }

    FakeSerialPorts ports;
    ScriptedClock clock;
    WaitingPump pump{clock};
    HeadlessMainWindow main;
    std::optional<HeadlessLoaderWindow> loader;
    std::optional<HeadlessUpgradeWindow> upgrade;
    FrontEndContext ctx;
};

}  // namespace torvane::test
