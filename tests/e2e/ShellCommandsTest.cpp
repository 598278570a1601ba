// torvane-cli ports and images, run as a user runs them.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "ChildProcess.h"
#include "TempConfigDir.h"
#include "platform/posix/PortMap.h"
#include "platform/posix/PseudoTerminal.h"
#include "shell/ProductIdentity.h"

namespace {

using torvane::test::Result;
using torvane::test::RunProgram;

Result Cli(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), TORVANE_CLI);
    return RunProgram(arguments);
}

TEST(ShellCommands, ImagesPrintsTheVersionList) {
    const Result r = Cli({"images"});
    EXPECT_EQ(r.exitCode, 0);
    const std::string header = "Device - Print          - Preparation\n-------------------------------------\n";
    EXPECT_EQ(r.out.substr(0, header.size()), header);
    auto id = torvane::ProductIdentity();
    if (id && *id == "KBV 7E 02.10.04.01") {
        EXPECT_EQ(r.out, header + "24HJ64 - 27[16PIN] - CAN  RES[Code:84]\n");
    }
    EXPECT_EQ(Cli({"images", "extra"}).exitCode, 2);
}

TEST(ShellCommands, PortsListsAMappedPseudoTerminal) {
    torvane::test::TempConfigDir config;  // inherited by the command
    const auto sys = config.path() / "sys";
    std::filesystem::create_directories(sys / "class" / "tty");
    const std::vector<std::string> roots{"--sysfs", sys.string(), "--dev", (config.path() / "dev").string()};
    const auto ports = [&](std::vector<std::string> options) {
        options.insert(options.begin(), "ports");
        options.insert(options.end(), roots.begin(), roots.end());
        return Cli(options);
    };
    EXPECT_EQ(ports({}).out, "No serial ports found.\n");

    torvane::posix::PseudoTerminal pty;
    ASSERT_EQ(torvane::posix::MapPort(6, pty.devicePath()), "");
    const std::string device = std::filesystem::weakly_canonical(pty.devicePath()).string();
    const Result r = ports({});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "COM7  Pseudo-terminal " + device + " (COM7)  " + device + "\n");
    EXPECT_EQ(Cli({"ports", "--sysfs"}).exitCode, 2);

    const auto listed = nlohmann::json::parse(ports({"--json"}).out);
    EXPECT_EQ(listed, nlohmann::json::array({{{"port", "COM7"},
                                               {"friendly_name", "Pseudo-terminal " + device + " (COM7)"},
                                               {"device", device}}}));
}

// The JSON listing names the same images with the same facts as the text.
TEST(ShellCommands, ImagesJsonHoldsWhatEachLineSays) {
    const Result text = Cli({"images"});
    const Result json = Cli({"images", "--json"});
    ASSERT_EQ(json.exitCode, 0);
    const auto images = nlohmann::json::parse(json.out);
    std::vector<std::string> lines;
    for (std::size_t at = 0, end; (end = text.out.find('\n', at)) != std::string::npos; at = end + 1)
        lines.push_back(text.out.substr(at, end - at));
    ASSERT_EQ(images.size() + 2, lines.size());  // header and rule
    for (std::size_t i = 0; i < images.size(); ++i) {
        const auto& v = images[i];
        char code[3];
        std::snprintf(code, sizeof code, "%02x", v["preparation_code"].get<int>());
        std::string device = v["device"];
        device.resize(6, ' ');
        EXPECT_EQ(lines[i + 2], device + " - " + v["hardware"].get<std::string>() + "[" +
                                    v["connector"].get<std::string>() + "] - " + v["preparation"].get<std::string>() +
                                    "  " + (v["reserved"].get<bool>() ? "RES" : " ") + "[Code:" + code + "]");
    }
}

// Every command refuses what it does not know, names a missing value and
// answers --help.
TEST(ShellCommands, EveryCommandParsesItsArgumentsAlike) {
    for (const char* command : {"update", "info", "ports", "images"}) {
        EXPECT_EQ(Cli({command, "--help"}).exitCode, 0) << command;
        EXPECT_EQ(Cli({command, "--bogus"}).exitCode, 2) << command;
        EXPECT_EQ(Cli({command, "stray"}).exitCode, 2) << command;
    }
    const std::vector<std::vector<std::string>> missing = {
        {"update", "--port"}, {"update", "--port", "--trace"}, {"update", "--log"}, {"ports", "--dev"}};
    for (const auto& arguments : missing) {
        const std::string& option = arguments[1];  // the one without its value
        const Result r = Cli(arguments);
        EXPECT_EQ(r.exitCode, 2) << option;
        EXPECT_NE(r.err.find(" needs a value"), std::string::npos) << option << ": " << r.err;
        EXPECT_NE(r.err.find(option), std::string::npos) << option << ": " << r.err;
    }
}

// --version on both programs: the program, the release CMake sets and the product.
TEST(ShellCommands, VersionNamesTheProgramReleaseAndProduct) {
    for (const std::string program : {TORVANE_CLI, TORVANE_BOOTSIM}) {
        const Result r = RunProgram({program, "--version"});
        const std::string& out = r.out;
        EXPECT_EQ(r.exitCode, 0) << program;
        const std::string name = std::filesystem::path(program).filename().string();
        EXPECT_TRUE(out.starts_with(name + " " TORVANE_PROJECT_VERSION "\n")) << out;
        const auto id = torvane::ProductIdentity();
        EXPECT_NE(out.find(id ? "product identity \"" + std::string(*id) + "\"" : "no product identity"), std::string::npos) << out;
    }
}

}  // namespace

namespace {

// A file the simulator is given is checked before it prints its device, so a
// typing error stops it at once instead of after the whole run.
TEST(Simulator, StopsAtStartOnAFileItCannotUse) {
    torvane::test::TempConfigDir config;
    const auto blocker = config.path() / "file";
    std::ofstream(blocker) << "x";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"--expect-image", (config.path() / "missing.hex").string()},
        {"--expect-image", config.path().string()},
        {"--report", (blocker / "report").string()},
    };
    for (const auto& [option, value] : cases) {
        const Result r = RunProgram({TORVANE_BOOTSIM, option, value});
        EXPECT_EQ(r.exitCode, 2) << option << " " << value;
        EXPECT_TRUE(r.err.starts_with("torvane-bootsim: " + option)) << option << " " << value << ": " << r.err;
        EXPECT_EQ((r.out + r.err).find("/dev/"), std::string::npos) << r.out;  // no device was offered
    }
}

// A fault written wrongly stops the simulator at once with a usage error that
// names the option, before it offers a device a run could be wasted on.
TEST(Simulator, RefusesAFaultItCannotRead) {
    const std::vector<std::pair<const char*, const char*>> cases = {
        {"--stray", "0"},         {"--stray", "5+"},        {"--stray", "5=4"},        {"--stray", "5=ZZ"},
        {"--stray", "5,,6"},      {"--stray", "x+10"},      {"--stray", "5+10=4B+2"},  {"--jitter", "10"},
        {"--jitter", "50-10"},    {"--jitter", "1-2:x"},    {"--jitter", "-5-10"},     {"--late-204", "-1"},
        {"--late-204", "soon"},
    };
    for (const auto& [option, value] : cases) {
        const Result r = RunProgram({TORVANE_BOOTSIM, option, value});
        EXPECT_EQ(r.exitCode, 2) << option << " " << value << ": " << r.err;
        EXPECT_TRUE(r.err.starts_with(std::string("torvane-bootsim: ") + option)) << option << " " << value << ": " << r.err;
        EXPECT_EQ((r.out + r.err).find("/dev/"), std::string::npos) << r.out;
    }
}

}  // namespace
