// torvane-cli update against torvane-bootsim, both as separate programs, the
// way a technician runs them.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "TempConfigDir.h"

namespace {

struct Process {
    pid_t pid = -1;
    int out = -1;  // read end of its stdout
    int err = -1;  // read end of its stderr
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

std::string ReadAll(int fd) {
    std::string s;
    char buf[4096];
    for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;) s.append(buf, static_cast<std::size_t>(n));
    ::close(fd);
    return s;
}

std::string ReadLine(int fd) {
    std::string s;
    char c;
    while (::read(fd, &c, 1) == 1 && c != '\n') s.push_back(c);
    return s;
}

int Wait(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct Result {
    int exitCode;
    std::string out, err;
};

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
        std::string err;
        std::thread errReader([&] { err = ReadAll(p.err); });
        std::string out = ReadAll(p.out);
        errReader.join();
        return {Wait(p.pid), out, err};
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
    EXPECT_NE(r.out.find("User Abort !!"), std::string::npos) << r.out;
}

TEST_F(CliUpdate, CtrlCDuringTheWaitAfter204StopsTheRun) {
    Module({"--mute", "2"});  // found at once, then silent to the 204 for 2 s
    const Result r = Update({"--port", "COM7", "--as", "main"}, 700);
    EXPECT_EQ(r.exitCode, 5) << r.out;
    EXPECT_NE(r.out.find("User Abort !!"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("Program Ok"), std::string::npos) << r.out;
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
