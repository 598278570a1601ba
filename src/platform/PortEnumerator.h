#pragma once
// The serial ports present on this machine, as the operating system knows
// them, for port discovery. One implementation per OS (posix/: sysfs).

#include <optional>
#include <string>
#include <vector>

namespace torvane {

struct PresentPort {
    std::optional<std::string> portName;  // "COM3"; none when it cannot be read
    std::string friendlyName;             // may be empty
    std::string devicePath;               // the device the port name opens
    // A USB adapter's latency timer: how long it may hold received bytes
    // before passing them on. Nothing for a port without one.
    std::optional<unsigned> latencyTimerMs = {};
    // The port is a USB serial adapter's (a station's --all takes these).
    bool usb = false;
};

class PortEnumerator {
public:
    virtual ~PortEnumerator() = default;
    // The ports present now, in an order that stays the same from one call
    // to the next; nothing when the system cannot say.
    virtual std::optional<std::vector<PresentPort>> presentPorts() = 0;
};

}  // namespace torvane
