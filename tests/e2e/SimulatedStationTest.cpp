// torvane-bootsim standing for a production station: several modules in one
// process, and modules put on one after another on the same port, each
// programmed by an ordinary single-port torvane-cli run and checked apart.

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "ChildProcess.h"
#include "TempConfigDir.h"

namespace {

namespace fs = std::filesystem;
using namespace torvane::test;

const std::string Image = std::string(TORVANE_SOURCE_DIR) + "/product/images/kbv7e-33fj64.hex";

// An ordinary single-port update; its exit code, with its output on failure.
int Update(const std::string& port, std::string& output) {
    Process p = Spawn({TORVANE_CLI, "update", "--port", port, "--as", "main"});
    const Result r = Finish(p);
    output = r.out + r.err;
    return r.exitCode;
}

// The simulator, told to end; its exit code and what it said on stderr.
int EndSimulator(Process& sim, std::string& err) {
    ::kill(sim.pid, SIGTERM);
    err += ReadAll(sim.err);
    ::close(sim.out);
    return Wait(sim.pid);
}

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Three modules on COM7..COM9; two are programmed, the third is left blank,
// so the exit status and each module's check and report are its own.
TEST(SimulatedStation, SeveralModulesAreCheckedAndReportedEachOnItsOwn) {
    torvane::test::TempConfigDir config;
    const fs::path report = config.path() / "report";
    Process sim = Spawn({TORVANE_BOOTSIM, "--modules", "3", "--com", "COM7", "--expect-image", Image, "--report",
                         report.string()});
    ASSERT_GT(sim.pid, 0);
    std::vector<std::string> devices;
    for (int k = 0; k < 3; ++k) devices.push_back(ReadLine(sim.out));
    for (const auto& d : devices) EXPECT_TRUE(d.starts_with("/dev/")) << d;
    EXPECT_NE(devices[0], devices[1]);
    EXPECT_NE(devices[1], devices[2]);

    std::string first, second;
    std::thread other([&] { EXPECT_EQ(Update("COM8", second), 0) << second; });
    EXPECT_EQ(Update("COM7", first), 0) << first;
    other.join();

    std::string err;
    EXPECT_EQ(EndSimulator(sim, err), 1) << err;  // COM9's module was never programmed
    EXPECT_TRUE(Has(err, "torvane-bootsim: COM7: check passed")) << err;
    EXPECT_TRUE(Has(err, "torvane-bootsim: COM8: check passed")) << err;
    EXPECT_TRUE(Has(err, "torvane-bootsim: COM9: check FAILED")) << err;
    EXPECT_TRUE(Has(err, "torvane-bootsim: COM9: 0 frames")) << err;
    for (const char* port : {"COM7", "COM8", "COM9"})
        for (const char* file : {"flash.bin", "eeprom.bin", "frames.log", "summary.txt"})
            EXPECT_TRUE(fs::is_regular_file(report / port / file)) << port << "/" << file;
    EXPECT_FALSE(fs::exists(report / "flash.bin"));
}

// One port, two modules in turn: the first is programmed and taken off, the
// line stays silent while the operator changes modules, then a blank one
// answers the search of a run started in the gap and is programmed too.
TEST(SimulatedStation, TheNextModuleComesOnAfterTheGapAndIsProgrammed) {
    torvane::test::TempConfigDir config;
    const fs::path report = config.path() / "report";
    Process sim = Spawn({TORVANE_BOOTSIM, "--com", "COM7", "--next-module", "2:1500", "--expect-image", Image,
                         "--report", report.string()});
    ASSERT_GT(sim.pid, 0);
    ASSERT_TRUE(ReadLine(sim.out).starts_with("/dev/"));
    std::string err = ReadLine(sim.err) + "\n";  // the description

    std::string output;
    EXPECT_EQ(Update("COM7", output), 0) << output;
    for (std::string line; !Has(line, "taken off");) {
        line = ReadLine(sim.err);
        ASSERT_FALSE(line.empty()) << err;
        err += line + "\n";
    }
    EXPECT_TRUE(Has(err, "torvane-bootsim: module 1: programmed, taken off")) << err;
    EXPECT_EQ(Update("COM7", output), 0) << output;

    EXPECT_EQ(EndSimulator(sim, err), 0) << err;
    EXPECT_TRUE(Has(err, "torvane-bootsim: module 2: put on, blank")) << err;
    EXPECT_TRUE(Has(err, "torvane-bootsim: module 1: check passed")) << err;
    EXPECT_TRUE(Has(err, "torvane-bootsim: module 2: check passed")) << err;
    // The second run's wake-ups went out while no module was on the line.
    EXPECT_TRUE(Has(err, "came down the line while no module was on it")) << err;
    for (const char* module : {"module-1", "module-2"})
        EXPECT_TRUE(fs::is_regular_file(report / module / "frames.log")) << module;
}

// A station set up wrongly stops at once, before any module is offered.
TEST(SimulatedStation, RefusesAStationItCannotSetUp) {
    torvane::test::TempConfigDir config;
    const std::vector<std::vector<std::string>> cases = {
        {"--modules", "0"},
        {"--modules", "65"},
        {"--com", "COM7,COM7"},
        {"--com", "COM7,COM8", "--modules", "3"},
        {"--modules", "2", "--com", "COM256"},
        {"--next-module", "0"},
        {"--next-module", "2:soon"},
    };
    for (const auto& options : cases) {
        std::vector<std::string> argv{TORVANE_BOOTSIM};
        argv.insert(argv.end(), options.begin(), options.end());
        Process sim = Spawn(argv);
        const std::string out = ReadAll(sim.out);
        const std::string err = ReadAll(sim.err);
        EXPECT_EQ(Wait(sim.pid), 2) << options[1] << ": " << err;
        EXPECT_TRUE(err.starts_with("torvane-bootsim: --")) << options[1] << ": " << err;
        EXPECT_EQ(out, "") << options[1];
    }
}

}  // namespace
