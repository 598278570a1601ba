// torvane-cli update on several ports at once, against one torvane-bootsim
// process per port, the way a production station runs.

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "ChildProcess.h"
#include "TempConfigDir.h"

namespace {

namespace fs = std::filesystem;
using namespace torvane::test;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The rows of the closing table, by port (a port's last row).
std::map<std::string, std::string> TableRows(const std::string& text) {
    std::map<std::string, std::string> rows;
    bool inTable = false;
    for (const std::string& line : Lines(text)) {
        if (line.starts_with("port ") && line.find("verdict") != std::string::npos) inTable = true;
        else if (inTable && line.starts_with("COM") && line.find(':') == std::string::npos)
            rows[line.substr(0, line.find(' '))] = line;
    }
    return rows;
}

const std::string ExpectedImage = std::string(TORVANE_SOURCE_DIR) + "/product/images/kbv7e-33fj64.hex";

class CliStation : public ::testing::Test {
protected:
    torvane::test::TempConfigDir config;
    std::map<std::string, Process> modules;  // by COM name

    // A simulated module on `com`, checked at its end against the image its chip takes.
    void Module(const std::string& com, std::vector<std::string> options = {}) {
        std::vector<std::string> argv{TORVANE_BOOTSIM, "--com", com};
        argv.insert(argv.end(), options.begin(), options.end());
        Process p = Spawn(argv);
        ASSERT_GT(p.pid, 0);
        std::string device;
        ASSERT_TRUE(ReadLine(p.out, device));
        ASSERT_EQ(device.rfind("/dev/", 0), 0u) << device;
        modules[com] = p;
    }
    // Ends the module's simulator; its exit code (1: its flash does not hold the expected image).
    int EndModule(const std::string& com) {
        Process p = modules.at(com);
        modules.erase(com);
        ::kill(p.pid, SIGTERM);
        ReadAll(p.out);
        ReadAll(p.err);
        return Wait(p.pid);
    }
    void TearDown() override {
        while (!modules.empty()) EndModule(modules.begin()->first);
    }
    static Process Update(std::vector<std::string> options) {
        std::vector<std::string> argv{TORVANE_CLI, "update"};
        argv.insert(argv.end(), options.begin(), options.end());
        return Spawn(argv);
    }
};

// Two good modules, one that refuses every block and a port with nothing
// behind it: each failure stays on its own port, the two good modules are
// programmed in full, and every output says which port did what.
TEST_F(CliStation, ThreeModulesOneRefusingFailsOnlyItsOwnPort) {
    const auto log = config.path() / "runs.jsonl";
    Module("COM7", {"--expect-image", ExpectedImage});
    Module("COM8", {"--refuse", "1000000"});
    Module("COM9", {"--chip", "254", "--expect-image", ExpectedImage});

    // COM99 has nothing behind it: a port unplugged.
    const Result text =
        Finish(Update({"--port", "COM7", "--port", "COM8", "--port", "COM9", "--port", "COM99", "--as", "main"}));
    EXPECT_EQ(text.exitCode, 12) << text.out << text.err;
    // Each line before the table is one whole line of one port.
    const auto lines = Lines(text.out);
    std::size_t row = 0;
    for (; row < lines.size() && !lines[row].starts_with("port "); ++row)
        EXPECT_TRUE(lines[row].starts_with("COM7: ") || lines[row].starts_with("COM8: ") ||
                    lines[row].starts_with("COM9: ") || lines[row].starts_with("COM99: "))
            << lines[row];
    EXPECT_NE(text.out.find("COM7: verdict:  Program Ok \n"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("COM8: verdict:  CHK Error !! \n"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("COM9: verdict:  Program Ok \n"), std::string::npos) << text.out;
    const auto table = TableRows(text.out);
    ASSERT_EQ(table.size(), 4u) << text.out;
    EXPECT_NE(table.at("COM99").find("Invalid Port Com"), std::string::npos) << table.at("COM99");
    EXPECT_NE(table.at("COM7").find("33FJ64"), std::string::npos) << table.at("COM7");
    EXPECT_NE(table.at("COM7").find("slot 6, board 26"), std::string::npos) << table.at("COM7");
    EXPECT_NE(table.at("COM7").find(" Program Ok "), std::string::npos);
    EXPECT_NE(table.at("COM8").find(" CHK Error !! "), std::string::npos) << table.at("COM8");
    EXPECT_NE(table.at("COM9").find(" Program Ok "), std::string::npos);
    EXPECT_NE(text.err.find("COM8: Next: "), std::string::npos) << text.err;
    EXPECT_EQ(text.err.find("COM7: Next: "), std::string::npos) << text.err;

    // --json: stdout holds one record per port and nothing else; --log gets the same.
    const Result json =
        Finish(Update({"--port", "COM7", "--port", "COM8", "--port", "COM9", "--as", "main", "--json", "--log", log.string()}));
    EXPECT_EQ(json.exitCode, 12) << json.out << json.err;
    std::map<std::string, nlohmann::json> records;
    for (const std::string& line : Lines(json.out)) {
        const auto record = nlohmann::json::parse(line);
        records[record["port"]] = record;
    }
    ASSERT_EQ(records.size(), 3u) << json.out;
    EXPECT_EQ(records["COM7"]["verdict"], " Program Ok ");
    EXPECT_EQ(records["COM7"]["exit_code"], 0);
    EXPECT_EQ(records["COM9"]["chip_code"], 254);
    EXPECT_EQ(records["COM9"]["exit_code"], 0);
    EXPECT_EQ(records["COM8"]["verdict"], " CHK Error !! ");
    EXPECT_EQ(records["COM8"]["exit_code"], 7);
    EXPECT_EQ(TableRows(json.err).size(), 3u) << json.err;
    std::ifstream in(log);
    std::map<std::string, nlohmann::json> logged;
    for (std::string line; std::getline(in, line);) {
        const auto record = nlohmann::json::parse(line);
        logged[record["port"]] = record;
    }
    EXPECT_EQ(logged, records);

    // The two good modules hold the image; the refusing one was never written.
    EXPECT_EQ(EndModule("COM7"), 0);
    EXPECT_EQ(EndModule("COM9"), 0);
}

// A station's port sends what a single update sends, frame for frame, and
// gets the same answers.
TEST_F(CliStation, EachPortRunsExactlyAsASingleUpdate) {
    const auto frames = [](const fs::path& report) {
        std::ifstream in(report / "frames.log");
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    Module("COM7", {"--report", (config.path() / "single").string()});
    const Result single = Finish(Update({"--port", "COM7", "--as", "loader"}));
    ASSERT_EQ(single.exitCode, 0) << single.out << single.err;
    EndModule("COM7");

    Module("COM7", {"--report", (config.path() / "first").string()});
    Module("COM8", {"--report", (config.path() / "second").string()});
    const Result station = Finish(Update({"--port", "COM7", "--port", "COM8", "--as", "loader"}));
    ASSERT_EQ(station.exitCode, 0) << station.out << station.err;
    EndModule("COM7");
    EndModule("COM8");

    const std::string expected = frames(config.path() / "single");
    EXPECT_NE(expected.find("enter-programming"), std::string::npos) << expected.substr(0, 500);
    EXPECT_EQ(frames(config.path() / "first"), expected);
    EXPECT_EQ(frames(config.path() / "second"), expected);
}

// Ctrl-C in the middle of three programmings: each port stops with the
// user's abort, and each is closed (open again at once) before the program ends.
TEST_F(CliStation, CtrlCStopsEveryPortAndClosesIt) {
    // At this line speed a programming takes seconds.
    for (const char* com : {"COM7", "COM8", "COM9"}) Module(com, {"--baud", "115200"});
    Process station = Update({"--port", "COM7", "--port", "COM8", "--port", "COM9", "--as", "main"});
    // Programming has begun on every port.
    std::string out, line;
    int programming = 0;
    while (programming < 3 && ReadLine(station.out, line)) {
        out += line + "\n";
        if (line.find("device: Found") != std::string::npos) ++programming;
    }
    ASSERT_EQ(programming, 3) << out;
    ::kill(station.pid, SIGINT);
    const Result r = Finish(station);
    out += r.out;
    EXPECT_EQ(r.exitCode, 12) << out << r.err;
    const auto table = TableRows(out);
    ASSERT_EQ(table.size(), 3u) << out;
    for (const auto& [port, row] : table) {
        EXPECT_NE(row.find(" User Abort !! "), std::string::npos) << row;
        EXPECT_NE(out.find(port + ": verdict:  User Abort !! \n"), std::string::npos) << port << "\n" << out;
    }
    // Every port can be opened again at once, and its module programmed once
    // it has taken in the block that was on its way when the run stopped.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const Result again = Finish(Update({"--port", "COM7", "--port", "COM8", "--port", "COM9", "--as", "main"}));
    EXPECT_EQ(again.exitCode, 0) << again.out << again.err;
}

// --repeat: a module left on the port after its verdict keeps answering the
// wake-up, so it is never taken for the next one and is programmed once;
// Ctrl-C ends the station while it waits.
TEST_F(CliStation, RepeatProgramsAModuleLeftOnThePortOnlyOnce) {
    const auto report = config.path() / "report";
    Module("COM7", {"--report", report.string(), "--expect-image", ExpectedImage});
    Process station = Update({"--port", "COM7", "--repeat", "--as", "main"});
    std::string out, line;
    while (ReadLine(station.out, line)) {
        out += line + "\n";
        if (line.starts_with("COM7: station: ")) break;
    }
    ASSERT_NE(out.find("COM7: verdict:  Program Ok \n"), std::string::npos) << out;
    // Well past the removal period the module is still there: no second search.
    std::this_thread::sleep_for(std::chrono::seconds(4));
    ::kill(station.pid, SIGINT);
    const Result r = Finish(station);
    out += r.out;
    EXPECT_EQ(r.exitCode, 0) << out << r.err;
    const auto lines = Lines(out);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "COM7: verdict:  Program Ok "), 1) << out;
    EXPECT_EQ(out.find("COM7: status: Searching"), out.rfind("COM7: status: Searching")) << out;

    ASSERT_EQ(EndModule("COM7"), 0);  // the flash holds the image
    std::ifstream frames(report / "frames.log");
    int entries = 0;
    for (std::string entry; std::getline(frames, entry);)
        if (entry.find("enter-programming") != std::string::npos) ++entries;
    EXPECT_EQ(entries, 1);
}

// --repeat as an operator works it: the programmed module is taken off, the
// line stays silent while modules are changed, and the next one put on is
// searched for, programmed and recorded too.
TEST_F(CliStation, RepeatTakesTheNextModuleOnTheSamePort) {
    const auto report = config.path() / "report";
    Module("COM7", {"--next-module", "2", "--report", report.string(), "--expect-image", ExpectedImage});
    Process station = Update({"--port", "COM7", "--repeat", "--as", "main", "--json"});
    std::vector<nlohmann::json> records;
    std::string line;
    while (records.size() < 2 && ReadLine(station.out, line)) records.push_back(nlohmann::json::parse(line));
    ::kill(station.pid, SIGINT);
    const Result r = Finish(station);
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    ASSERT_EQ(records.size(), 2u) << r.err;
    for (const auto& record : records) {
        EXPECT_EQ(record["verdict"], " Program Ok ") << record;
        EXPECT_EQ(record["port"], "COM7") << record;
    }
    EXPECT_EQ(TableRows(r.err).size(), 1u) << r.err;  // a port's last row; both runs are listed
    EXPECT_EQ(EndModule("COM7"), 0);                  // each module's flash holds the image
    for (const char* module : {"module-1", "module-2"}) {
        std::ifstream frames(report / module / "frames.log");
        int entries = 0;
        for (std::string entry; std::getline(frames, entry);)
            if (entry.find("enter-programming") != std::string::npos) ++entries;
        EXPECT_EQ(entries, 1) << module;
    }
}

TEST_F(CliStation, UsageErrors) {
    struct Case {
        std::vector<std::string> options;
        std::string says;
    };
    const Case cases[] = {
        {{"--port", "COM7", "--port", "com7"}, "COM7 is given twice"},
        {{"--port", "COM7", "--all"}, "exclude each other"},
        {{"--port", "COM7", "--port", "COM8", "--trace"}, "--trace follows one port"},
        {{"--repeat", "--trace"}, "--trace follows one port"},
    };
    for (const auto& c : cases) {
        const Result r = Finish(Update(c.options));
        EXPECT_EQ(r.exitCode, 2) << c.says;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    }
}

}  // namespace
