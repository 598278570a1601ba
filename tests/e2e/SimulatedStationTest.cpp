// torvane-bootsim standing for a production station: several modules in one
// process, and modules put on one after another on the same port, each
// programmed by an ordinary single-port torvane-cli run and checked apart.

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "TempConfigDir.h"

namespace {

namespace fs = std::filesystem;

const std::string Image = std::string(TORVANE_SOURCE_DIR) + "/product/images/kbv7e-33fj64.hex";

struct Process {
    pid_t pid = -1;
    int out = -1;
    int err = -1;
};

Process Spawn(const std::vector<std::string>& argv) {
    int out[2], err[2];
    if (::pipe(out) != 0 || ::pipe(err) != 0) return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        ::dup2(err[1], STDERR_FILENO);
        ::close(out[0]);
        ::close(err[0]);
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);
    return {pid, out[0], err[0]};
}

// One line without its newline; empty at the end of the stream.
std::string ReadLine(int fd) {
    std::string s;
    char c;
    while (::read(fd, &c, 1) == 1 && c != '\n') s.push_back(c);
    return s;
}

std::string ReadAll(int fd) {
    std::string s;
    char buf[4096];
    for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;) s.append(buf, static_cast<std::size_t>(n));
    ::close(fd);
    return s;
}

int Wait(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// An ordinary single-port update; its exit code, with its output on failure.
int Update(const std::string& port, std::string& output) {
    Process p = Spawn({TORVANE_CLI, "update", "--port", port, "--as", "main"});
    std::string err;
    std::thread errReader([&] { err = ReadAll(p.err); });
    output = ReadAll(p.out);
    errReader.join();
    output += err;
    return Wait(p.pid);
}

// The simulator, told to end; its exit code and what it said on stderr.
int Finish(Process& sim, std::string& err) {
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
    EXPECT_EQ(Finish(sim, err), 1) << err;  // COM9's module was never programmed
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

    EXPECT_EQ(Finish(sim, err), 0) << err;
    EXPECT_TRUE(Has(err, "torvane-bootsim: module 2: put on, blank")) << err;
    EXPECT_TRUE(Has(err, "torvane-bootsim: module 1: check passed")) << err;
    EXPECT_TRUE(Has(err, "torvane-bootsim: module 2: check passed")) << err;
    // The second run's wake-ups went out while no module was on the line.
    EXPECT_TRUE(Has(err, "came down the line while no module was on it")) << err;
    for (const char* module : {"module-1", "module-2"})
        EXPECT_TRUE(fs::is_regular_file(report / module / "frames.log")) << module;
}

}  // namespace
