// The Windows platform: what the updater uses of a Windows host.

#include <windows.h>
#include <timeapi.h>

#include <cstdio>
#include <stdexcept>
#include <thread>

#include "formats/ComName.h"
#include "platform/Platform.h"
#include "platform/win32/NamedMutexGuard.h"
#include "platform/win32/RegistrySettings.h"
#include "platform/win32/SetupApiPorts.h"
#include "platform/win32/Win32Serial.h"
#include "platform/win32/WinsockListener.h"

namespace torvane {

namespace {

// The timer period asked of Windows while the updater runs: the default
// 15.6 ms tick would stretch every 5 ms step of a run threefold.
constexpr UINT TimerPeriodMs = 1;

class SteadyClock final : public Clock {
public:
    SteadyClock() : fineTimer_(::timeBeginPeriod(TimerPeriodMs) == TIMERR_NOERROR) {}
    ~SteadyClock() override {
        if (fineTimer_) ::timeEndPeriod(TimerPeriodMs);
    }
    TimePoint now() const override { return std::chrono::steady_clock::now(); }
    void sleep(std::chrono::nanoseconds duration) override {
        if (duration > duration.zero()) std::this_thread::sleep_for(duration);
    }

private:
    bool fineTimer_;
};

// A console that can draw the progress bar: it must take the escape that
// clears a line, which a Windows console does once asked to.
class ConsoleTerminal final : public Terminal {
public:
    ConsoleTerminal() {
        HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
        DWORD mode = 0;
        if (out == nullptr || out == INVALID_HANDLE_VALUE || !::GetConsoleMode(out, &mode)) return;
        // Texts are UTF-8 throughout; the console shows them as such.
        ::SetConsoleOutputCP(CP_UTF8);
        interactive_ = (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0 ||
                       ::SetConsoleMode(out, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
    }
    bool stdoutIsTerminal() const override { return interactive_; }

private:
    bool interactive_ = false;
};

class Win32Platform final : public Platform {
public:
    SerialPorts& serialPorts() override { return ports_; }
    // Windows keeps its own device tree; the search roots of other systems mean nothing here.
    std::unique_ptr<PortEnumerator> portEnumerator(const PortSearchRoots&) override {
        return std::make_unique<win32::SetupApiPorts>();
    }
    std::unique_ptr<SettingsBackend> settings() override { return std::make_unique<win32::RegistrySettings>(); }
    std::unique_ptr<InstanceGuard> instanceGuard() override { return std::make_unique<win32::NamedMutexGuard>(); }
    UdpListenerFactory udpListeners() override { return win32::WinsockListener::Make; }
    Terminal& terminal() override { return terminal_; }
    Clock& clock() override { return clock_; }
    std::unique_ptr<FarEnd> openFarEnd() override {
        throw std::runtime_error(
            "a simulated line needs a pseudo-terminal, which Windows has not: run the simulated boot loader on "
            "Linux, or join two COM ports with a null-modem pair");
    }
    // Windows names its ports itself (Device Manager sets the COM number of
    // an adapter); a program cannot point a COM name at a device of its choosing.
    std::string assignPort(int portIndex, const std::string&) override {
        return "cannot assign a device to " + ComName(portIndex) +
               " on Windows: the system names its ports (see Device Manager)";
    }

private:
    win32::Win32SerialPorts ports_;
    ConsoleTerminal terminal_;
    SteadyClock clock_;
};

}  // namespace

Platform& HostPlatform() {
    static Win32Platform platform;
    return platform;
}

}  // namespace torvane
