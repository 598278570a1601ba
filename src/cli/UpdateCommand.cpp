// torvane-cli update: one update run, as the build's front end would make it,
// with every text it shows printed as it changes.

#include <chrono>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <string>

#include "ui/Context.h"
#include "cli/Commands.h"
#include "cli/ConsoleViews.h"
#include "images/ImageTable.h"
#include "platform/Platform.h"
#include "shell/ProductIdentity.h"
#include "shell/SettingsStore.h"
#include "ui/FrontEnds.h"

namespace torvane::cli {

namespace {

volatile std::sig_atomic_t interrupted = 0;
void OnInterrupt(int) { interrupted = 1; }

constexpr const char* UpdateHelp =
    "usage: torvane-cli update [--port COM<n>] [--as main|loader|upgrade] [--trace]\n"
    "\n"
    "Wakes the boot loader on the serial port, picks the image for its chip and\n"
    "board, checks that it suits the board, programs it and prints the verdict.\n"
    "\n"
    "  --port COM<n>   the port (COM1..COM257); default: the port this front end\n"
    "                  remembers (the \"com\" setting), else COM1\n"
    "  --as FRONT      behave as the main, loader or upgrade front end (wake-up code,\n"
    "                  texts, sequence mode); default: this build's own front end\n"
    "  --trace         every byte sent and received, in hex with timestamps, on stderr\n"
    "\n"
    "Ctrl-C stops the run as the Stop button does.\n"
    "\n"
    "exit codes:\n"
    "   0  programmed (or, in sequence mode, nothing left to do)\n"
    "   2  usage error\n"
    "   3  device not found\n"
    "   4  port unusable\n"
    "   5  stopped by the user\n"
    "   6  not acknowledged (no reply)\n"
    "   7  refused (checksum error, five refusals)\n"
    "   8  incompatible boot loader\n"
    "   9  unknown device\n"
    "  10  no image for this device, or image too big\n"
    "  11  board not suitable for the image\n";

int ExitCodeOf(Outcome o) {
    switch (o) {
    case Outcome::Programmed:
    case Outcome::RepeatDone:
    case Outcome::None: return 0;
    case Outcome::NotFound: return 3;
    case Outcome::PortUnusable: return 4;
    case Outcome::Aborted: return 5;
    case Outcome::NotAcknowledged: return 6;
    case Outcome::Refused: return 7;
    case Outcome::Incompatible: return 8;
    case Outcome::UnknownDevice: return 9;
    case Outcome::NoImage: return 10;
    case Outcome::NotSuitable: return 11;
    }
    return 1;
}

class ConsoleMessageBox : public MessageBoxHost {
public:
    int ShowMessageBox(std::string_view text, std::string_view caption, unsigned) override {
        std::cerr << caption << ": " << text << "\n";
        return 1;  // OK
    }
};

// Waits like any headless pump; turns Ctrl-C into the Stop button. The stop
// request stays raised until the run has ended: a wait that consumed it
// without ending the run cannot make the user press Ctrl-C twice.
class ConsolePump : public WaitingPump {
public:
    ConsolePump(Clock& clock, Context& ctx, FrontEnd front) : WaitingPump(clock), ctx_(ctx), front_(front) {}
    void step(std::chrono::milliseconds limit, SerialDevice* input) override {
        WaitingPump::step(limit, input);
        if (!interrupted) return;
        if (!stopped_) {
            stopped_ = true;
            switch (front_) {
            case FrontEnd::MainWindow: MainStopClick(ctx_); break;
            case FrontEnd::LoaderWindow: LoaderAbortClick(ctx_); break;
            case FrontEnd::UpgradeWindow: UpgradeStopClick(ctx_); break;
            }
        }
        ctx_.receiver.abort = 1;
    }

private:
    Context& ctx_;
    FrontEnd front_;
    bool stopped_ = false;
};

// Users type com7 as readily as COM7.
std::optional<int> ParseComName(std::string s) {
    if (s.starts_with("com")) s.replace(0, 3, "COM");
    return PortIndexOfComName(s);
}

}  // namespace

int RunUpdate(const Args& args) {
    std::optional<int> port;
    std::optional<FrontEnd> as;
    bool trace = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
            std::cout << UpdateHelp;
            return 0;
        } else if (a == "--port" && i + 1 < args.size()) {
            port = ParseComName(args[++i]);
            if (!port) {
                std::cerr << "torvane-cli update: '" << args[i] << "' is not a port name (COM1..COM257)\n";
                return 2;
            }
        } else if (a == "--as" && i + 1 < args.size()) {
            const std::string f = args[++i];
            if (f == "main") as = FrontEnd::MainWindow;
            else if (f == "loader") as = FrontEnd::LoaderWindow;
            else if (f == "upgrade") as = FrontEnd::UpgradeWindow;
            else {
                std::cerr << "torvane-cli update: --as takes main, loader or upgrade\n";
                return 2;
            }
        } else if (a == "--trace") {
            trace = true;
        } else {
            std::cerr << "torvane-cli update: unknown option '" << a << "'\n\n" << UpdateHelp;
            return 2;
        }
    }

    const FrontEnd front = as ? *as : ChooseFrontEnd(ProductIdentity());
    const std::string_view identity = ProductIdentityOrDefault();

    Context ctx;
    Platform& platform = HostPlatform();
    ConsoleMessageBox box;
    ConsolePump pump(platform.clock(), ctx, front);
    ctx.port.system = &platform.serialPorts();
    ctx.port.clock = &platform.clock();
    ctx.port.host = &box;
    ctx.port.notice = [](std::string_view text) { std::cerr << "torvane-cli: " << text << "\n"; };
    ctx.pump = &pump;
    ConsoleFrontEnd console(ctx, front);

    Clock& clock = platform.clock();
    const auto started = clock.now();
    if (trace) {
        ctx.port.trace = [&clock, started](TraceDirection d, std::span<const std::uint8_t> bytes) {
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

    // The front end's construction: remembered port, tags, image table.
    std::string remembered;
    if (port) {
        remembered = std::to_string(*port);
    } else {
        const auto settings = platform.settings();
        SettingsStore store{*settings, [](const std::string& m) { std::cerr << "torvane-cli: " << m << "\n"; }};
        try {
            remembered = ReadSetting(store, PortSettingName, BrandOf(front));
        } catch (const SettingsError& e) {
            std::cerr << "torvane-cli: " << e.what() << "; using COM1\n";
        }
    }
    SetUpFrontEnd(ctx, remembered, identity);

    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
    console.start();
    switch (front) {
    case FrontEnd::MainWindow: MainUpdateClick(ctx); break;
    case FrontEnd::LoaderWindow: LoaderUpdateClick(ctx); break;
    case FrontEnd::UpgradeWindow: UpgradeStartClick(ctx); break;
    }
    ClosePortsOnExit(ctx);
    console.finish();
    return ExitCodeOf(ctx.outcome);
}

}  // namespace torvane::cli
