// The Windows platform: what the updater uses of a Windows host.

#include <windows.h>
#include <timeapi.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "formats/ComName.h"
#include "platform/Platform.h"
#include "platform/win32/ConsoleInterrupts.h"
#include "platform/win32/ConsoleTerminal.h"
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

// Windows gives the ports their names; Device Manager shows and changes them.
constexpr PortWords Win32PortWords{
    .deviceExample = "\\\\.\\COM7",
    .deviceExamples = "\\\\.\\COM7",
    .listingNotes =
        "Windows names the ports itself: Device Manager lists them under\n"
        "\"Ports (COM & LPT)\" and sets an adapter's COM number there (Properties,\n"
        "Port Settings, Advanced). A port outside that list, such as one of a\n"
        "virtual null-modem pair, is listed with its COM name as its friendly name.\n",
    .missingPortAdvice =
        "Device Manager shows it under \"Ports (COM & LPT)\" (with a yellow mark while it lacks "
        "its driver); a port that is present but not listed can be given by its name",
    .searchRoots = false,
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
    Interrupts& interrupts() override { return interrupts_; }
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

    // On Windows a port is named by the system: "\\.\COM7", or plain "COM7".
    DevicePortLookup portForDevice(const std::string& devicePath) override {
        std::string name = devicePath;
        if (name.rfind(DevicePrefix, 0) == 0) name.erase(0, DevicePrefix.size());
        if (const auto index = PortIndexOfComName(name)) return {*index, true, {}};
        return {-1, false, devicePath + " is not a port: Windows names its ports COM1 to COM257"};
    }
    std::string devicePathOf(int portIndex) override { return std::string(DevicePrefix) + ComName(portIndex); }
    std::string portMappingRecipe(std::string_view comName) override {
        return "set the adapter's port number to " + std::string(comName) +
               " in Device Manager (Ports, Properties, Port Settings, Advanced)";
    }
    const PortWords& portWords() override { return Win32PortWords; }

    std::vector<std::string> arguments(int argc, char** argv) override {
        int count = 0;
        LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
        if (wide == nullptr || count != argc) {
            if (wide != nullptr) ::LocalFree(wide);
            return {argv, argv + argc};  // the narrow ones are all there is
        }
        std::vector<std::string> utf8;
        for (int i = 0; i < count; ++i) utf8.push_back(win32::Narrow(wide[i]));
        ::LocalFree(wide);
        return utf8;
    }

    // FILE_APPEND_DATA alone makes every write land at the end of the file in
    // one piece, whoever else appends at the same time.
    std::string appendLine(const std::string& path, std::string_view line) override {
        std::error_code ec;
        const std::filesystem::path file(win32::Widen(path));
        if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path(), ec);
        const HANDLE h = ::CreateFileW(file.wstring().c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                       nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) return "cannot open " + path + " (error " + std::to_string(::GetLastError()) + ")";
        std::string text(line);
        text += '\n';
        DWORD written = 0;
        const BOOL ok = ::WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        const DWORD error = ::GetLastError();
        ::CloseHandle(h);
        if (!ok || written != text.size()) return "cannot append to " + path + " (error " + std::to_string(error) + ")";
        return {};
    }
    std::string runLogPath() override {
        const wchar_t* local = ::_wgetenv(L"LOCALAPPDATA");
        const std::filesystem::path base = local != nullptr && *local != L'\0' ? std::filesystem::path(local) : ".";
        return win32::Narrow((base / "Torvane" / "runs.jsonl").wstring());
    }
    std::int64_t secondsSinceEpoch() override {
        return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
            .count();
    }

private:
    static constexpr std::string_view DevicePrefix = "\\\\.\\";
    win32::Win32SerialPorts ports_;
    win32::ConsoleTerminal terminal_;
    SteadyClock clock_;
    win32::ConsoleInterrupts interrupts_;
};

}  // namespace

Platform& HostPlatform() {
    static Win32Platform platform;
    return platform;
}

}  // namespace torvane
