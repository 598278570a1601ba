#pragma once
// A clock whose time passes only when someone sleeps on it: seconds of
// protocol time pass at once, and a test can read exactly how much passed.
// For one thread.

#include "platform/Clock.h"

namespace torvane::test {

class ScriptedClock : public Clock {
public:
    TimePoint now() const override { return now_; }
    void sleep(std::chrono::nanoseconds duration) override {
        if (duration > duration.zero()) now_ += duration;
    }
    // The time that has passed since the clock was made.
    std::chrono::nanoseconds elapsed() const { return now_ - TimePoint{}; }

private:
    TimePoint now_{};
};

}  // namespace torvane::test
