// The POSIX platform: what the updater uses of a Linux (or other POSIX) host.

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "platform/Platform.h"
#include "formats/ComName.h"
#include "platform/posix/AppendFile.h"
#include "platform/posix/LockFileGuard.h"
#include "platform/posix/PortMap.h"
#include "platform/posix/PosixSerial.h"
#include "platform/posix/PseudoTerminal.h"
#include "platform/posix/SettingsFile.h"
#include "platform/posix/SignalInterrupts.h"
#include "platform/posix/SysfsPorts.h"
#include "platform/posix/UdpListener.h"

namespace torvane {

namespace {

constexpr const char* SystemInfoRoot = "/sys";
constexpr const char* DeviceRoot = "/dev";

class SteadyClock final : public Clock {
public:
    TimePoint now() const override { return std::chrono::steady_clock::now(); }
    void sleep(std::chrono::nanoseconds duration) override {
        if (duration > duration.zero()) std::this_thread::sleep_for(duration);
    }
};

class StdoutTerminal final : public Terminal {
public:
    bool stdoutIsTerminal() const override { return ::isatty(STDOUT_FILENO) == 1; }
};

// Ports named after the kernel's devices, found in sysfs, given their COM
// names by the port map.
constexpr PortWords PosixPortWords{
    .deviceExample = "/dev/ttyUSB0",
    .deviceExamples = "/dev/ttyUSB0 or /dev/serial/by-id/...",
    .listingNotes =
        "A USB adapter's latency timer is shown where it has one (above 1 ms each\n"
        "answer may wait that long: the udev rule 70-torvane-serial.rules sets 1 ms).\n"
        "A USB adapter seen for the first time gets the lowest free name from COM33 up\n"
        "and keeps it in any socket; other names come from the port map\n"
        "($TORVANE_CONFIG_DIR/ports) or the defaults (COM1 = /dev/ttyS0,\n"
        "COM33 = /dev/ttyUSB0, COM65 = /dev/ttyACM0).\n",
    .missingPortAdvice = "a device that is present but not listed can be given by its path",
    .searchRoots = true,
};

class PosixPlatform final : public Platform {
public:
    SerialPorts& serialPorts() override { return ports_; }
    std::unique_ptr<PortEnumerator> portEnumerator(const PortSearchRoots& roots) override {
        return std::make_unique<posix::SysfsPorts>(roots.systemInfo.value_or(SystemInfoRoot),
                                                   roots.devices.value_or(DeviceRoot));
    }
    std::unique_ptr<SettingsBackend> settings() override { return std::make_unique<posix::SettingsFile>(); }
    std::unique_ptr<InstanceGuard> instanceGuard() override { return std::make_unique<posix::LockFileGuard>(); }
    UdpListenerFactory udpListeners() override { return posix::UdpSocketListener::Make; }
    Terminal& terminal() override { return terminal_; }
    Interrupts& interrupts() override { return interrupts_; }
    Clock& clock() override { return clock_; }
    std::unique_ptr<FarEnd> openFarEnd() override { return std::make_unique<posix::PseudoTerminal>(); }
    std::string assignPort(int portIndex, const std::string& devicePath) override {
        return posix::MapPort(portIndex, devicePath);
    }
    DevicePortLookup portForDevice(const std::string& devicePath) override {
        namespace fs = std::filesystem;
        std::error_code ec;
        const fs::path given(devicePath);
        if (!fs::exists(given, ec)) return {-1, false, "no such device " + devicePath};
        // By its own name first (a port-map link may name the by-id path),
        // then by the device it resolves to (/dev/serial/by-id/... -> /dev/ttyUSB0).
        if (auto index = posix::PortIndexOfDevice(given)) return {*index, true, {}};
        const fs::path resolved = fs::canonical(given, ec);
        if (!ec) {
            if (auto index = posix::PortIndexOfDevice(resolved)) return {*index, true, {}};
        }
        if (auto index = ports_.lend(ec ? given : resolved)) return {*index, false, {}};
        return {-1, false, "every COM name is in use; free one in " + posix::PortMapDir().string()};
    }
    std::string devicePathOf(int portIndex) override {
        if (auto lent = ports_.lent(portIndex)) return lent->string();
        const auto path = posix::DevicePathOfPort(portIndex);
        return path ? path->string() : std::string();
    }
    std::string portMappingRecipe(std::string_view comName) override {
        return "ln -sfn /dev/ttyUSB0 " + (posix::PortMapDir() / comName).string();
    }
    const PortWords& portWords() override { return PosixPortWords; }
    std::vector<std::string> arguments(int argc, char** argv) override { return {argv, argv + argc}; }
    std::string appendLine(const std::string& path, std::string_view line) override {
        return posix::AppendLine(path, line);
    }
    std::string runLogPath() override { return (posix::StateDir() / "runs.jsonl").string(); }
    std::int64_t secondsSinceEpoch() override {
        return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
            .count();
    }

private:
    posix::PosixSerialPorts ports_;
    StdoutTerminal terminal_;
    posix::SignalInterrupts interrupts_;
    SteadyClock clock_;
};

}  // namespace

Platform& HostPlatform() {
    static PosixPlatform platform;
    return platform;
}

}  // namespace torvane
