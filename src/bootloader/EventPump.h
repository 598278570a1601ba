#pragma once
// How an update run lets time pass. The run never sleeps by itself: it asks
// the pump to wait a little and then process pending window messages, so the
// Stop buttons and dialogs stay live. The Qt pump processes Qt events, the
// CLI pump only waits, tests script clicks into it.

#include <chrono>

#include "platform/Clock.h"

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
    // The time the run's waits are measured against.
    virtual Clock::TimePoint now() const = 0;
};

// A pump with no window system: it only waits, on the clock it is given.
class WaitingPump : public EventPump {
public:
    explicit WaitingPump(Clock& clock) : clock_(clock) {}
    void step(std::chrono::milliseconds limit, SerialDevice* input) override;
    void sleep(std::chrono::milliseconds duration) override;
    Clock::TimePoint now() const override { return clock_.now(); }

private:
    Clock& clock_;
};

}  // namespace torvane
