#pragma once
// Time as the operating system keeps it. The core never reads a clock or
// sleeps by itself: it asks the one it was given, so that a test can hand it
// a scripted clock and let seconds of protocol time pass at once.

#include <chrono>

namespace torvane {

class Clock {
public:
    using TimePoint = std::chrono::steady_clock::time_point;
    virtual ~Clock() = default;
    // A monotonic reading; only differences between readings mean anything.
    virtual TimePoint now() const = 0;
    // Lets `duration` pass; 0 or less returns at once.
    virtual void sleep(std::chrono::nanoseconds duration) = 0;
};

}  // namespace torvane
