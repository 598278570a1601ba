#pragma once
// The far end of a serial line on this machine: a device the updater opens
// like any serial port, whose other side this process holds. The simulated
// boot loader answers through it. One implementation per OS (posix/: a
// pseudo-terminal).

#include <chrono>
#include <cstdint>
#include <span>
#include <string>

namespace torvane {

enum class FarEndWait {
    Input,        // bytes wait to be read
    Quiet,        // nothing came within the limit
    NoPeer,       // nobody holds the device side at the moment
    Interrupted,  // interrupt() was called
    Failed,
};

class FarEnd {
public:
    virtual ~FarEnd() = default;
    // The path the updater opens, e.g. /dev/pts/7.
    virtual const std::string& devicePath() const = 0;
    // Waits up to `limit` for bytes from the updater, returning early on interrupt().
    virtual FarEndWait waitInput(std::chrono::milliseconds limit) = 0;
    // Never blocks: the bytes waiting (possibly none), or -1 on failure.
    virtual long read(std::span<std::uint8_t> into) = 0;
    // Never blocks: how many bytes the line took (0 when it is full), or -1 on failure.
    virtual long write(std::span<const std::uint8_t> bytes) = 0;
    // Waits up to `limit` for room to write.
    virtual void waitWritable(std::chrono::milliseconds limit) = 0;
    // Wakes a waitInput of another thread; safe from any thread.
    virtual void interrupt() = 0;
    // Closes this side for good: the updater's device sees a hang-up.
    virtual void hangUp() = 0;
};

}  // namespace torvane
