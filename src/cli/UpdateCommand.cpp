// torvane-cli update: one update run, as the build's front end would make it,
// with every text it shows printed as it changes.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <string>
#include <variant>
#include <vector>

#include "cli/Arguments.h"
#include "cli/Commands.h"
#include "cli/ConsoleViews.h"
#include "cli/StationUpdate.h"
#include "images/ImageTable.h"
#include "platform/Platform.h"
#include "serial/PortDiscovery.h"
#include "shell/ExitCodes.h"
#include "shell/ProductIdentity.h"
#include "shell/SettingsStore.h"
#include "ui/FrontEndContext.h"
#include "ui/ReportingControls.h"
#include "ui/RunRecord.h"

namespace torvane::cli {

namespace {

constexpr const char* UpdateHelpHead =
    "usage: torvane-cli update [--port PORT]... [--all] [--repeat]\n"
    "                          [--as main|loader|upgrade] [--trace] [--json] [--log FILE]\n"
    "\n"
    "Wakes the boot loader on the serial port, picks the image for its chip and\n"
    "board, checks that it suits the board, programs it and prints the verdict.\n"
    "Progress and results go to stdout; failures, with what to do next, to stderr.\n"
    "\n"
    "  --port PORT     a COM name (COM1..COM257) or a device path such as\n";
// Then this system's device paths, and the rest.
constexpr const char* UpdateHelpOptions =
    "                  default: the port this front end remembers (the \"com\"\n"
    "                  setting), else COM1. 'torvane-cli ports' lists the ports\n"
    "                  present. Given more than once, every port is updated at the\n"
    "                  same time (a station)\n"
    "  --all           a station on every USB serial port that 'ports' lists\n"
    "  --repeat        keep each port going: after a verdict, wait until the module\n"
    "                  is taken off (no wake-up answered for 2 s), then search for\n"
    "                  the next one and program it; Ctrl-C ends the station\n"
    "  --as FRONT      behave as the main, loader or upgrade front end (wake-up code,\n"
    "                  texts, sequence mode); default: this build's own front end\n"
    "  --trace         every byte sent and received, in hex with timestamps, on stderr\n"
    "  --json          at the end, the record of the run as one JSON object on stdout\n"
    "                  in place of the progress lines: time, port and device, chip,\n"
    "                  boot loader, board, image, blocks, duration, verdict, exit code\n"
    "  --log FILE      append the same record to FILE as one line (JSON Lines)\n"
    "\n"
    "A station (several ports, --all or --repeat) prints one live row per port on\n"
    "a terminal, else each change as a line that begins with its port (\"COM7: \");\n"
    "at the end a table of port, chip, image, verdict and time. --json prints one\n"
    "record per module's run as it ends (the table then goes to stderr), --log\n"
    "appends each of them. --trace follows one port only.\n"
    "\n"
    "Ctrl-C stops the run as the Stop button does (a station: every port, each\n"
    "with \" User Abort !! \"); the program ends once every port is closed.\n"
    "\n"
    "exit codes:\n";

// The help names device paths as this system writes them, and ends with the
// exit codes, one a line, the code right-aligned.
std::string UpdateHelp(const PortWords& words) {
    std::string help = UpdateHelpHead;
    help.append(18, ' ').append(words.deviceExamples).append(";\n").append(UpdateHelpOptions);
    for (const ExitCodeMeaning& e : UpdateExitCodes) {
        char code[16];
        std::snprintf(code, sizeof code, "%4d  ", e.code);
        help.append(code).append(e.meaning).append("\n");
    }
    return help;
}

class ConsoleMessageBox : public MessageBoxHost {
public:
    int ShowMessageBox(std::string_view text, std::string_view caption, unsigned) override {
        std::cerr << caption << ": " << text << "\n";
        return 1;  // OK
    }
};

// Users type com7 as readily as COM7.
std::optional<int> ParseComName(std::string s) {
    if (s.starts_with("com")) s.replace(0, 3, "COM");
    return PortIndexOfComName(s);
}

constexpr const char* SeePorts = "Next: 'torvane-cli ports' lists the ports present with their devices";

// The port index for --port: a COM name, or a device path through the
// platform. A failure is printed with where to look next.
std::optional<int> PortOfArgument(Platform& platform, const std::string& value) {
    if (auto index = ParseComName(value)) return index;
    // A device path: /dev/ttyUSB0 here, \\.\COM7 on Windows.
    if (value.find_first_of("/\\") == std::string::npos) {
        std::cerr << "torvane-cli update: '" << value
                  << "' is neither a port name (COM1..COM257) nor a device path such as "
                  << platform.portWords().deviceExample << "\n"
                  << SeePorts << "; to give a device a COM name: " << platform.portMappingRecipe("COM<n>") << "\n";
        return std::nullopt;
    }
    const DevicePortLookup port = platform.portForDevice(value);
    if (port.portIndex < 0) {
        std::cerr << "torvane-cli update: " << port.reason << "\n" << SeePorts << ".\n";
        return std::nullopt;
    }
    return port.portIndex;
}

// The "com" setting of the front end, empty when none is remembered.
std::string RememberedSetting(Platform& platform, FrontEnd front) {
    const auto settings = platform.settings();
    SettingsStore store{*settings, [](const std::string& m) { std::cerr << "torvane-cli: " << m << "\n"; }};
    try {
        return ReadSetting(store, PortSettingName, BrandOf(front));
    } catch (const SettingsError& e) {
        std::cerr << "torvane-cli: " << e.what() << "; using COM1\n";
    }
    return {};
}

// The port a single run would open when none is given.
int RememberedPort(Platform& platform, FrontEnd front) {
    const std::string setting = RememberedSetting(platform, front);
    return setting.empty() ? 0 : PortIndexFromSetting(setting);
}

// What `update` was asked to do, once its options are read and its ports found.
struct UpdateRequest {
    FrontEnd front = FrontEnd::MainWindow;
    std::vector<int> ports;  // port indexes given with --port, in order
    bool all = false;
    bool repeat = false;
    bool trace = false;
    bool json = false;
    std::optional<std::string> logFile;
    bool station() const { return ports.size() > 1 || all || repeat; }
};

// Reads the options; a usage error is printed and its exit code returned.
std::variant<UpdateRequest, int> ReadUpdateRequest(Platform& platform, const Args& args) {
    ParsedArgs parsed;
    try {
        parsed = ParseArgs(args, {{"--port", true, true},
                                  {"--all", false},
                                  {"--repeat", false},
                                  {"--as", true},
                                  {"--trace", false},
                                  {"--json", false},
                                  {"--log", true}});
    } catch (const UsageError& e) {
        return UsageFailure("update", e.what());
    }
    if (parsed.help) {
        std::cout << UpdateHelp(platform.portWords());
        return 0;
    }
    UpdateRequest r;
    r.front = ChooseFrontEnd(ProductIdentity());
    if (const auto f = parsed.value("--as")) {
        if (*f == "main") r.front = FrontEnd::MainWindow;
        else if (*f == "loader") r.front = FrontEnd::LoaderWindow;
        else if (*f == "upgrade") r.front = FrontEnd::UpgradeWindow;
        else return UsageFailure("update", "--as takes main, loader or upgrade, not '" + *f + "'");
    }
    const std::vector<std::string> portArguments = parsed.all("--port");
    r.all = parsed.has("--all");
    r.repeat = parsed.has("--repeat");
    r.trace = parsed.has("--trace");
    r.json = parsed.has("--json");
    r.logFile = parsed.value("--log");
    if (r.all && !portArguments.empty()) return UsageFailure("update", "--all and --port exclude each other");
    if (r.trace && (portArguments.size() > 1 || r.all || r.repeat))
        return UsageFailure("update", "--trace follows one port: give one --port, without --all or --repeat");
    for (const std::string& argument : portArguments) {
        const auto index = PortOfArgument(platform, argument);
        if (!index) return ExitUsage;
        if (std::find(r.ports.begin(), r.ports.end(), *index) != r.ports.end())
            return UsageFailure("update", ComName(*index) + " is given twice (as '" + argument + "')");
        r.ports.push_back(*index);
    }
    return r;
}

// Every byte sent and received, in hex with the time since `started`, on stderr.
std::function<void(TraceDirection, std::span<const std::uint8_t>)> TraceTo(Clock& clock) {
    const auto started = clock.now();
    return [&clock, started](TraceDirection d, std::span<const std::uint8_t> bytes) {
        const double t = std::chrono::duration<double>(clock.now() - started).count();
        std::string hex;
        for (auto b : bytes) {
            char h[4];
            std::snprintf(h, sizeof h, " %02X", b);
            hex += h;
        }
        std::fprintf(stderr, "%9.3f %s%s\n", t, d == TraceDirection::Sent ? "->" : "<-", hex.c_str());
    };
}

int UpdateStation(Platform& platform, UpdateRequest r) {
    if (r.all) {
        const auto system = platform.portEnumerator();
        for (const ComPort& p : ListComPorts(*system))
            if (p.usb && p.portIndex() >= 0) r.ports.push_back(p.portIndex());
        if (r.ports.empty()) {
            std::cerr << "torvane-cli update: --all found no USB serial port\n"
                      << SeePorts << "; plug the adapters in, or name the ports with --port.\n";
            return ExitPortUnusable;
        }
    }
    if (r.ports.empty()) r.ports.push_back(RememberedPort(platform, r.front));
    platform.interrupts().catchRequests();
    return RunStationUpdate(
        platform, {r.front, std::string(ProductIdentityOrDefault()), r.ports, r.repeat, r.json, r.logFile},
        platform.interrupts());
}

// One run on one port, as the front end's start button makes it.
int UpdateOnePort(Platform& platform, const UpdateRequest& r) {
    FrontEndContext ctx(r.front);
    ConsoleMessageBox box;
    Interrupts& interrupts = platform.interrupts();
    StopButtonPump pump(platform.clock(), ctx, [&interrupts] { return interrupts.requested(); });
    WireRun(ctx, {.ports = platform.serialPorts(),
                  .pump = pump,
                  .clock = &platform.clock(),
                  .host = &box,
                  .notice = [](std::string_view text) { std::cerr << "torvane-cli: " << text << "\n"; },
                  .trace = r.trace ? TraceTo(platform.clock()) : nullptr});
    ConsoleFrontEnd console(ctx, !r.json);

    // The front end's construction: remembered port, tags, image table.
    const std::string remembered =
        r.ports.empty() ? RememberedSetting(platform, r.front) : std::to_string(r.ports.front());
    ctx.front().SetUp(remembered, ProductIdentityOrDefault());

    const std::string portName = ComName(ctx.port.CurrentPort);
    const std::string device = platform.devicePathOf(ctx.port.CurrentPort);
    RunRecorder recorder(platform);
    interrupts.catchRequests();
    console.start(portName, device.empty() ? portName : portName + " (" + device + ")");
    recorder.begin(ctx);
    ctx.front().StartClick();
    ClosePortsOnExit(ctx);
    const std::string line = recorder.end(ctx);
    console.finish(platform.portMappingRecipe(portName));

    if (r.json) std::cout << line << "\n" << std::flush;
    if (r.logFile) {
        if (const std::string failure = platform.appendLine(*r.logFile, line); !failure.empty()) {
            std::cerr << "torvane-cli update: the run was not recorded: " << failure << "\n"
                      << "Next: give --log a file in a folder you may write to.\n";
            return ExitLogFailed;
        }
    }
    return ExitCodeOf(ctx.outcome);
}

}  // namespace

int RunUpdate(const Args& args) {
    Platform& platform = HostPlatform();
    auto request = ReadUpdateRequest(platform, args);
    if (const int* exitCode = std::get_if<int>(&request)) return *exitCode;
    const UpdateRequest& r = std::get<UpdateRequest>(request);
    const int exitCode = r.station() ? UpdateStation(platform, r) : UpdateOnePort(platform, r);
    // Every record is out: a closed console window may end the process now.
    std::cout.flush();
    platform.interrupts().finished();
    return exitCode;
}

}  // namespace torvane::cli
