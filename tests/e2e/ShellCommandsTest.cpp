// torvane-cli ports and images, run as a user runs them.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "TempConfigDir.h"
#include "platform/posix/PortMap.h"
#include "platform/posix/PseudoTerminal.h"
#include "shell/ProductIdentity.h"

namespace {

struct CliRun {
    int exitCode = -1;
    std::string out;
};

CliRun Cli(const std::string& arguments) {
    CliRun r;
    FILE* p = ::popen((std::string(TORVANE_CLI) + " " + arguments + " 2>/dev/null").c_str(), "r");
    if (!p) return r;
    char buf[512];
    while (std::size_t n = std::fread(buf, 1, sizeof buf, p)) r.out.append(buf, n);
    const int status = ::pclose(p);
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

TEST(ShellCommands, ImagesPrintsTheVersionList) {
    const CliRun r = Cli("images");
    EXPECT_EQ(r.exitCode, 0);
    const std::string header = "Device - Print          - Preparation\n-------------------------------------\n";
    EXPECT_EQ(r.out.substr(0, header.size()), header);
    auto id = torvane::ProductIdentity();
    if (id && *id == "KBV 7E 02.10.04.01") {
        EXPECT_EQ(r.out, header + "24HJ64 - 27[16PIN] - CAN  RES[Code:84]\n");
    }
    EXPECT_EQ(Cli("images extra").exitCode, 2);
}

TEST(ShellCommands, PortsListsAMappedPseudoTerminal) {
    torvane::test::TempConfigDir config;  // inherited by the command
    const auto sys = config.path() / "sys";
    std::filesystem::create_directories(sys / "class" / "tty");
    EXPECT_EQ(Cli("ports --sysfs " + sys.string() + " --dev " + (config.path() / "dev").string()).out,
              "No serial ports found.\n");

    torvane::posix::PseudoTerminal pty;
    ASSERT_EQ(torvane::posix::MapPort(6, pty.devicePath()), "");
    const std::string device = std::filesystem::weakly_canonical(pty.devicePath()).string();
    const CliRun r = Cli("ports --sysfs " + sys.string() + " --dev " + (config.path() / "dev").string());
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "COM7  Pseudo-terminal " + device + " (COM7)  " + device + "\n");
    EXPECT_EQ(Cli("ports --sysfs").exitCode, 2);
}

}  // namespace
