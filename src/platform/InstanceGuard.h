#pragma once
// The system-wide guard that lets one updater run at a time. The operating
// system drops it when the holding process ends, however it ends, so a crash
// never leaves it behind.

#include <string_view>

namespace torvane {

enum class InstanceClaim {
    Acquired,        // this process holds the guard now
    AlreadyRunning,  // another process holds it
    Unguarded,       // the guard cannot be made here; run without it
};

class InstanceGuard {
public:
    virtual ~InstanceGuard() = default;
    // Claims the guard called `name` without waiting. Call at most once.
    virtual InstanceClaim acquire(std::string_view name) = 0;
    // Gives the guard up; harmless when it is not held.
    virtual void release() = 0;
};

}  // namespace torvane
