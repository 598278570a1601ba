#pragma once
// Port discovery: the COM ports present, each with its port name ("COM3")
// and its friendly name, listed in three steps as the port dialog uses them:
// OpenPortDeviceSet, NextComPort until it gives 0, ClosePortDeviceSet.
// Discovery never opens a port.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/PortEnumerator.h"

namespace torvane {

inline constexpr std::size_t PortNameCapacity = 7;        // 6 characters and a terminator
inline constexpr std::size_t FriendlyNameCapacity = 300;  // 299 characters and a terminator

// The devices present when the set was opened, and where a listing stands.
struct PortDeviceSet {
    bool valid = false;  // false: the invalid handle value
    std::vector<PresentPort> devices;
    std::size_t position = 0;
    bool listing = false;  // a listing is under way
};

// Takes the present devices from `enumerator`; an invalid set when it cannot.
PortDeviceSet OpenPortDeviceSet(PortEnumerator& enumerator);

// 1 with the next COM port's name (at most 6 characters) and friendly name
// (at most 299 bytes) stored, and its device path when asked for; 0 when the
// listing has ended. Names that do not begin with "com" (any case) are
// skipped; the listing ends at a device whose name is missing or longer than
// 6 characters, or whose number is below 1. After a 0 the next call starts a
// new listing at the first device.
int NextComPort(PortDeviceSet& set, std::string& portName, std::string& friendlyName,
                std::string* devicePath = nullptr);

// 1 when the set was released, 0 for an invalid or already released set.
int ClosePortDeviceSet(PortDeviceSet& set);

// The number after "com" as the listing reads it: leading blanks, a sign,
// digits up to the first other character; 0 without digits.
long ComNumber(std::string_view portName);

struct ComPort {
    std::string portName;
    std::string friendlyName;
    std::string devicePath;
    std::optional<unsigned> latencyTimerMs;  // a USB adapter's, where it has one
    bool usb = false;                        // a USB serial adapter's port
    int portIndex() const { return static_cast<int>(ComNumber(portName) - 1); }
};

// One complete listing: open, every NextComPort, close.
std::vector<ComPort> ListComPorts(PortEnumerator& enumerator);

}  // namespace torvane
