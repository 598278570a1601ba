// torvane-cli update against torvane-bootsim, both as separate programs, the
// way a technician runs them.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "ChildProcess.h"
#include "TempConfigDir.h"

namespace {

using namespace torvane::test;

class CliUpdate : public ::testing::Test {
protected:
    torvane::test::TempConfigDir config;
    Process sim;

    // A simulated module on COM7 with the given extra options.
    void Module(std::vector<std::string> options) {
        std::vector<std::string> argv{TORVANE_BOOTSIM, "--com", "COM7"};
        argv.insert(argv.end(), options.begin(), options.end());
        sim = Spawn(argv);
        ASSERT_GT(sim.pid, 0);
        ASSERT_EQ(ReadLine(sim.out).rfind("/dev/", 0), 0u);  // the device path comes first
    }
    void TearDown() override {
        if (sim.pid > 0) {
            ::kill(sim.pid, SIGTERM);
            Wait(sim.pid);
        }
    }
    static Result Update(std::vector<std::string> options, int interruptAfterMs = -1) {
        std::vector<std::string> argv{TORVANE_CLI, "update"};
        argv.insert(argv.end(), options.begin(), options.end());
        Process p = Spawn(argv);
        if (interruptAfterMs >= 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(interruptAfterMs));
            ::kill(p.pid, SIGINT);
        }
        return Finish(p);
    }
};

TEST_F(CliUpdate, ProgramsTheModuleAndSaysSo) {
    Module({"--chip", "252", "--loader-version", "10", "--hardware", "26", "--preparation", "0x84"});
    const Result r = Update({"--port", "COM7", "--as", "main", "--trace"});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("device: Found 33FJ64"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.substr(r.out.rfind("verdict:")), "verdict:  Program Ok \n");
    // The trace shows the wake-up going out and the identity coming back.
    EXPECT_NE(r.err.find("-> C2\n"), std::string::npos) << r.err.substr(0, 300);
    EXPECT_NE(r.err.find("<- 56 0A FC 1A 84 4B"), std::string::npos) << r.err.substr(0, 300);
}

TEST_F(CliUpdate, ExitCodesNameTheFailure) {
    Module({"--chip", "252", "--hardware", "5"});
    EXPECT_EQ(Update({"--port", "COM7"}).exitCode, 11);  // board not suitable
    EXPECT_EQ(Update({"--port", "COM99"}).exitCode, 4);  // nothing behind COM99
    const Result usage = Update({"--port", "LPT1"});
    EXPECT_EQ(usage.exitCode, 2);
}

TEST_F(CliUpdate, CtrlCStopsTheRunAsStopWould) {
    Module({"--silent"});
    const Result r = Update({"--port", "COM7", "--as", "main"}, 700);
    EXPECT_EQ(r.exitCode, 5) << r.out;
    EXPECT_NE(r.err.find("User Abort !!"), std::string::npos) << r.err;  // a run that did not program is a failure
}

TEST_F(CliUpdate, CtrlCDuringTheWaitAfter204StopsTheRun) {
    Module({"--mute", "2"});  // found at once, then silent to the 204 for 2 s
    const Result r = Update({"--port", "COM7", "--as", "main"}, 700);
    EXPECT_EQ(r.exitCode, 5) << r.out;
    EXPECT_NE(r.err.find("User Abort !!"), std::string::npos) << r.err;
    EXPECT_EQ(r.out.find("Program Ok"), std::string::npos) << r.out;
}

// A device path instead of a COM name: the simulator's own pseudo-terminal,
// once under the COM name the port map gives it and once with no name at all.
TEST_F(CliUpdate, APortMayBeGivenAsADevicePath) {
    Process plain = Spawn({TORVANE_BOOTSIM});
    ASSERT_GT(plain.pid, 0);
    const std::string unnamed = ReadLine(plain.out);
    const Result direct = Update({"--port", unnamed, "--as", "main"});
    ::kill(plain.pid, SIGTERM);
    Wait(plain.pid);
    EXPECT_EQ(direct.exitCode, 0) << direct.out << direct.err;
    EXPECT_NE(direct.out.find(" (" + unnamed + ")\n"), std::string::npos) << direct.out;
    EXPECT_EQ(direct.out.substr(direct.out.rfind("verdict:")), "verdict:  Program Ok \n");

    Process mapped = Spawn({TORVANE_BOOTSIM, "--com", "COM7"});
    ASSERT_GT(mapped.pid, 0);
    const std::string device = ReadLine(mapped.out);
    const Result named = Update({"--port", device, "--as", "main"});
    ::kill(mapped.pid, SIGTERM);
    Wait(mapped.pid);
    EXPECT_EQ(named.exitCode, 0) << named.out << named.err;
    EXPECT_TRUE(named.out.starts_with("port: COM7 (")) << named.out;

    const Result missing = Update({"--port", "/dev/no-such-adapter"});
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_NE(missing.err.find("no such device /dev/no-such-adapter"), std::string::npos) << missing.err;
    EXPECT_NE(missing.err.find("torvane-cli ports"), std::string::npos) << missing.err;
    const Result unknown = Update({"--port", "ttyUSB0"});
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_NE(unknown.err.find("ln -s"), std::string::npos) << unknown.err;  // how to map it
    EXPECT_NE(unknown.err.find("torvane-cli ports"), std::string::npos) << unknown.err;
}

// Every failure: its verdict unchanged on stderr, each fact once, and one line
// on what to do next; stdout keeps only the progress.
TEST_F(CliUpdate, EachFailureVerdictSaysWhatToDoNext) {
    struct Case {
        const char* name;
        std::vector<std::string> device;  // simulator options; none: no device
        std::string port;
        int exitCode;
        std::string verdict;
        std::string next;  // a word of the next step
    };
    const Case cases[] = {
        {"unusable port", {}, "COM99", 4, "Invalid Port Com", "torvane-cli ports"},
        {"refused", {"--refuse", "5"}, "COM7", 7, " CHK Error !! ", "noise"},
        {"not acknowledged", {"--silent-after", "2"}, "COM7", 6, " not Response ", "noise"},
        {"not suitable", {"--hardware", "5"}, "COM7", 11, "", "preparation codes"},
        {"not found", {"--silent"}, "COM7", 3, "Device not Found", "wake-up window"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (!c.device.empty()) Module(c.device);
        const Result r = Update({"--port", c.port, "--as", "main"});
        TearDown();
        sim = {};
        EXPECT_EQ(r.exitCode, c.exitCode) << r.out << r.err;
        const auto verdictAt = r.err.find("verdict: " + c.verdict);
        ASSERT_NE(verdictAt, std::string::npos) << r.err;
        const auto nextAt = r.err.find("\nNext: ", verdictAt);
        ASSERT_NE(nextAt, std::string::npos) << r.err;
        EXPECT_NE(r.err.find(c.next, nextAt), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find('\n', nextAt + 1), r.err.size() - 1) << r.err;  // one line, the last
        EXPECT_EQ(r.out.find("verdict:"), std::string::npos) << r.out;
        // No line twice, on either stream.
        std::vector<std::string> lines;
        const std::string both = r.out + r.err;
        for (std::size_t at = 0, end; (end = both.find('\n', at)) != std::string::npos; at = end + 1)
            lines.push_back(both.substr(at, end - at));
        std::sort(lines.begin(), lines.end());
        EXPECT_EQ(std::adjacent_find(lines.begin(), lines.end()), lines.end()) << both;
    }
}

nlohmann::json LastRecord(const std::filesystem::path& log, std::size_t expectedLines) {
    std::ifstream in(log);
    std::string line, last;
    std::size_t n = 0;
    while (std::getline(in, line)) ++n, last = line;
    EXPECT_EQ(n, expectedLines);
    return nlohmann::json::parse(last);
}

// The record of a run: printed with --json (stdout holds it alone) and
// appended with --log, the same object both ways, on a success and a failure.
TEST_F(CliUpdate, JsonAndLogRecordWhichModuleGotWhichImage) {
    const auto log = config.path() / "line" / "runs.jsonl";
    Module({"--chip", "252", "--loader-version", "10", "--hardware", "26", "--preparation", "0x84", "--refuse", "2"});
    const Result ok = Update({"--port", "COM7", "--as", "main", "--json", "--log", log.string()});
    EXPECT_EQ(ok.exitCode, 0) << ok.err;
    const auto printed = nlohmann::json::parse(ok.out);  // nothing else on stdout
    const auto logged = LastRecord(log, 1);
    EXPECT_EQ(printed, logged);
    EXPECT_EQ(logged["port"], "COM7");
    EXPECT_TRUE(logged["device_path"].get<std::string>().ends_with("COM7")) << logged;  // the port map's link
    EXPECT_EQ(logged["chip_code"], 252);
    EXPECT_EQ(logged["chip_name"], "33FJ64");
    EXPECT_EQ(logged["boot_loader_version"], 10);
    EXPECT_EQ(logged["hardware_code"], 26);
    EXPECT_EQ(logged["preparation_code"], 0x84);
    EXPECT_EQ(logged["image_slot"], 6);
    EXPECT_GT(logged["image_size"].get<int>(), 0);
    EXPECT_GT(logged["blocks_sent"].get<int>(), 2);
    EXPECT_EQ(logged["blocks_resent"], 2);
    EXPECT_EQ(logged["blocks_refused"], 2);
    EXPECT_GT(logged["duration_s"].get<double>(), 0.0);
    EXPECT_EQ(logged["verdict"], " Program Ok ");
    EXPECT_EQ(logged["exit_code"], 0);
    EXPECT_TRUE(logged["hardware_name"].is_string());
    const std::string time = logged["time"];
    EXPECT_EQ(time.size(), 20u);
    EXPECT_EQ(time.back(), 'Z');

    const Result failed = Update({"--port", "COM99", "--json", "--log", log.string()});
    EXPECT_EQ(failed.exitCode, 4);
    const auto record = LastRecord(log, 2);
    EXPECT_EQ(nlohmann::json::parse(failed.out), record);
    EXPECT_EQ(record["verdict"], "Invalid Port Com");
    EXPECT_EQ(record["exit_code"], 4);
    EXPECT_TRUE(record["chip_code"].is_null());
    EXPECT_NE(failed.err.find("Next: "), std::string::npos);  // the advice still reaches the technician

    const Result unwritable = Update({"--port", "COM99", "--log", config.path().string()});
    EXPECT_EQ(unwritable.exitCode, 1);
    EXPECT_NE(unwritable.err.find("not recorded"), std::string::npos) << unwritable.err;
}

// Two updaters at the same time on one log: each run's line lands whole.
TEST_F(CliUpdate, TwoRunsAppendToOneLogAtTheSameTime) {
    const auto log = config.path() / "runs.jsonl";
    Module({});
    Process other = Spawn({TORVANE_BOOTSIM, "--com", "COM8"});
    ASSERT_GT(other.pid, 0);
    ReadLine(other.out);
    Process a = Spawn({TORVANE_CLI, "update", "--port", "COM7", "--as", "main", "--log", log.string()});
    Process b = Spawn({TORVANE_CLI, "update", "--port", "COM8", "--as", "main", "--log", log.string()});
    std::thread drain([&] { ReadAll(b.out), ReadAll(b.err); });
    ReadAll(a.out), ReadAll(a.err);
    drain.join();
    EXPECT_EQ(Wait(a.pid), 0);
    EXPECT_EQ(Wait(b.pid), 0);
    ::kill(other.pid, SIGTERM);
    Wait(other.pid);
    std::ifstream in(log);
    std::vector<std::string> ports;
    for (std::string line; std::getline(in, line);) ports.push_back(nlohmann::json::parse(line)["port"]);
    std::sort(ports.begin(), ports.end());
    EXPECT_EQ(ports, (std::vector<std::string>{"COM7", "COM8"}));
}

TEST(CliHelp, DocumentsTheCommandsAndExitCodes) {
    const Result r = [] {
        Process p = Spawn({TORVANE_CLI, "update", "--help"});
        std::string out = ReadAll(p.out);
        ReadAll(p.err);
        return Result{Wait(p.pid), out, {}};
    }();
    EXPECT_EQ(r.exitCode, 0);
    for (const char* code : {" 3  device not found", " 4  port unusable", " 5  stopped by the user", "11  board not suitable"})
        EXPECT_NE(r.out.find(code), std::string::npos) << code;
}

}  // namespace
