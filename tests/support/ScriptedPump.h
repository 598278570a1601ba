#pragma once
// An event pump for tests: it waits like the real one, counts its steps, and
// runs a script at each step, which is where a user's click would land.

#include <functional>

#include "bootloader/EventPump.h"

namespace torvane::test {

class ScriptedPump : public WaitingPump {
public:
    explicit ScriptedPump(Clock& clock) : WaitingPump(clock) {}

    // Called at the start of each step with its number, counted from 1.
    std::function<void(int step)> onStep;
    bool waits = true;       // false: steps take no time (counting only)
    int steps = 0;
    int stepsWatchingInput = 0;  // steps given a device to watch for input

    // Called before a sleep that processes no messages (a pause of the run).
    std::function<void(std::chrono::milliseconds)> onSleep;

    void sleep(std::chrono::milliseconds duration) override {
        if (onSleep) onSleep(duration);
        WaitingPump::sleep(duration);
    }

    void step(std::chrono::milliseconds limit, SerialDevice* input) override {
        ++steps;
        if (input != nullptr) ++stepsWatchingInput;
        if (onStep) onStep(steps);
        if (waits) WaitingPump::step(limit, input);
    }
};

}  // namespace torvane::test
