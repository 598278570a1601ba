#pragma once
// How an update run lets time pass. The run never sleeps by itself: it asks
// the pump to wait a little and then process pending window messages, so the
// Stop buttons and dialogs stay live. The Qt pump processes Qt events, the
// CLI pump only waits, tests script clicks into it.

#include <chrono>

namespace torvane {

class SerialDevice;

class EventPump {
public:
    virtual ~EventPump() = default;
    // Waits up to `limit`, returning early once `input` (may be null) has
    // bytes to read, then processes pending window messages.
    virtual void step(std::chrono::milliseconds limit, SerialDevice* input) = 0;
    // Sleeps without processing messages.
    virtual void sleep(std::chrono::milliseconds duration) = 0;
};

// A pump with no window system: it only waits.
class WaitingPump : public EventPump {
public:
    void step(std::chrono::milliseconds limit, SerialDevice* input) override;
    void sleep(std::chrono::milliseconds duration) override;
};

}  // namespace torvane
