#pragma once
// What an operating system provides to the updater, handed out by one object
// per system: serial ports, the ports present, the settings store, the
// single-instance guard, the UDP listener, the console, the clock, and the
// far end of a line for the simulated boot loader. The build picks the
// implementation (src/platform/<os>/); nothing above this layer names it.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Clock.h"
#include "platform/FarEnd.h"
#include "platform/InstanceGuard.h"
#include "platform/Interrupts.h"
#include "platform/PortEnumerator.h"
#include "platform/SerialDevice.h"
#include "platform/SettingsBackend.h"
#include "platform/Terminal.h"
#include "platform/UdpListener.h"

namespace torvane {

// Where to look for ports instead of the system's own places (a copy of the
// system's device tree, say); a system without such places ignores them.
struct PortSearchRoots {
    std::optional<std::string> systemInfo;  // posix: instead of /sys
    std::optional<std::string> devices;     // posix: instead of /dev
};

// How the users of this system name and find serial ports, in the words of
// its own tools, for the command line's help and hints.
struct PortWords {
    // A device path as a user of this system writes it: "/dev/ttyUSB0".
    std::string_view deviceExample;
    // The same with its other common forms, for a help text.
    std::string_view deviceExamples;
    // Where the names and facts `ports` lists come from: lines of help text,
    // each ending with a line break.
    std::string_view listingNotes;
    // What to look at when a plugged-in adapter is not listed, as the start
    // of a sentence that the hint finishes with an example.
    std::string_view missingPortAdvice;
    // `ports` can be told to read another device tree (--sysfs, --dev).
    bool searchRoots = false;
};

// The COM port that opens a device given by its path.
struct DevicePortLookup {
    int portIndex = -1;      // -1 when the path cannot be a port (see reason)
    bool named = false;      // the device has a COM name of its own
    std::string reason;      // why not, when portIndex is -1
};

class Platform {
public:
    virtual ~Platform() = default;
    // Shared by every port channel of the process; opening is safe from any thread.
    virtual SerialPorts& serialPorts() = 0;
    virtual std::unique_ptr<PortEnumerator> portEnumerator(const PortSearchRoots& roots = {}) = 0;
    // The settings in their usual place, as that place is now.
    virtual std::unique_ptr<SettingsBackend> settings() = 0;
    virtual std::unique_ptr<InstanceGuard> instanceGuard() = 0;
    virtual UdpListenerFactory udpListeners() = 0;
    virtual Terminal& terminal() = 0;
    // Ctrl-C and its kin, for a console program that stops its run on them.
    virtual Interrupts& interrupts() = 0;
    virtual Clock& clock() = 0;
    // A new line with its far end held here. Throws std::runtime_error when
    // the system has none left.
    virtual std::unique_ptr<FarEnd> openFarEnd() = 0;
    // Makes COM<portIndex+1> open `devicePath` from now on. Empty on success,
    // else why it failed.
    virtual std::string assignPort(int portIndex, const std::string& devicePath) = 0;

    // The port for `devicePath`: its own COM name when it has one; else a
    // COM name that has no device of its own, which opens this device for the
    // rest of this process and is never stored.
    virtual DevicePortLookup portForDevice(const std::string& devicePath) = 0;
    // The device a COM name opens now, empty when it has none.
    virtual std::string devicePathOf(int portIndex) = 0;
    // The command that ties a COM name ("COM7") to a device on this system.
    virtual std::string portMappingRecipe(std::string_view comName) = 0;
    virtual const PortWords& portWords() = 0;

    // The program's command line as UTF-8 text, whatever the system's code
    // page: `argv` as given where it is UTF-8 already, the wide command line
    // on Windows (whose narrow argv is in the ANSI code page). Every path in
    // this interface is UTF-8 text as well.
    virtual std::vector<std::string> arguments(int argc, char** argv) = 0;
    // Appends `line` and a line break to the file at `path` (creating it and
    // its folders) in one piece: a concurrent writer's line never lands inside
    // it and a failure never leaves half of it. Empty on success, else why not.
    virtual std::string appendLine(const std::string& path, std::string_view line) = 0;
    // Where the windows keep the record of every run.
    virtual std::string runLogPath() = 0;
    // Wall-clock time, for records people read: seconds since 1970, UTC.
    virtual std::int64_t secondsSinceEpoch() = 0;
};

// The platform of this build; it lives as long as the process.
Platform& HostPlatform();

}  // namespace torvane
