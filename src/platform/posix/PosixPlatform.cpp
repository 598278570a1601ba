// The POSIX platform: what the updater uses of a Linux (or other POSIX) host.

#include <unistd.h>

#include <thread>

#include "platform/Platform.h"
#include "platform/posix/LockFileGuard.h"
#include "platform/posix/PortMap.h"
#include "platform/posix/PosixSerial.h"
#include "platform/posix/PseudoTerminal.h"
#include "platform/posix/SettingsFile.h"
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
    Clock& clock() override { return clock_; }
    std::unique_ptr<FarEnd> openFarEnd() override { return std::make_unique<posix::PseudoTerminal>(); }
    std::string assignPort(int portIndex, const std::string& devicePath) override {
        return posix::MapPort(portIndex, devicePath);
    }

private:
    posix::PosixSerialPorts ports_;
    StdoutTerminal terminal_;
    SteadyClock clock_;
};

}  // namespace

Platform& HostPlatform() {
    static PosixPlatform platform;
    return platform;
}

}  // namespace torvane
