#pragma once
// The update run's pump inside the GUI: each step waits for input (or the
// step's time) like the plain waiting pump, then lets Qt handle whatever
// happened meanwhile, so Stop, the port dialog and closing stay live while a
// run executes inside a click handler.

#include "bootloader/EventPump.h"

namespace torvane {

class QtPump : public WaitingPump {
public:
    using WaitingPump::WaitingPump;
    // Waits up to `limit` (less when `input` becomes readable), then processes
    // the pending Qt events.
    void step(std::chrono::milliseconds limit, SerialDevice* input) override;
    // Inherited sleep(): sleeps without processing events.
};

}  // namespace torvane
