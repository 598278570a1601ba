// The exit codes a script may meet are the ones the documents list: the
// help of torvane-cli update, its man page and the technicians' guide each
// name every code of the table, and no other.

#include <gtest/gtest.h>

#include <fstream>
#include <istream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "shell/ExitCodes.h"

namespace torvane::test {
namespace {

// The codes of the lines that match `row`, from the line that holds `start`
// to the first line after them that matches neither `row` nor `skip`.
std::vector<int> CodesListed(std::istream& in, std::string_view start, const std::regex& row, const std::regex& skip) {
    std::vector<int> codes;
    std::string line;
    while (std::getline(in, line) && line.find(start) == std::string::npos) {
    }
    while (std::getline(in, line)) {
        std::smatch m;
        if (std::regex_match(line, m, row)) codes.push_back(std::stoi(m[1]));
        else if (!std::regex_match(line, skip)) break;
    }
    return codes;
}

std::vector<int> CodesOf(const std::string& text, std::string_view start, const char* row, const char* skip) {
    std::istringstream in(text);
    return CodesListed(in, start, std::regex(row), std::regex(skip));
}

std::string FileText(const std::string& path) {
    std::ifstream in(path);
    EXPECT_TRUE(in) << "cannot read " << path;
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(ExitCodes, EveryDocumentListsTheCodesOfTheTable) {
    std::vector<int> table;
    for (const ExitCodeMeaning& e : UpdateExitCodes) table.push_back(e.code);

    const Result help = RunProgram({TORVANE_CLI, "update", "--help"});
    ASSERT_EQ(help.exitCode, 0) << help.err;

    struct Document {
        const char* name;
        std::vector<int> codes;
    };
    const Document documents[] = {
        // "  12  a station: ..."
        {"torvane-cli update --help", CodesOf(help.out, "exit codes:", R"( *(\d+)  \S.*)", "")},
        // "*12*", its meaning on the tab-indented lines below, a blank line between codes
        {"packaging/man/torvane-cli.1.scd", CodesOf(FileText(TORVANE_SOURCE_DIR "/packaging/man/torvane-cli.1.scd"),
                                                    "# EXIT STATUS", R"(\*(\d+)\*)", R"(|\t.*|\*update\* ends with:)")},
        // "| 12 | several ports: ... |", after the header row and its rule
        {"docs/guide.md", CodesOf(FileText(TORVANE_SOURCE_DIR "/docs/guide.md"), "The exit code tells a script",
                                  R"(\| (\d+) \|.*)", R"(|\| Code \|.*|\|---.*)")},
    };
    for (const Document& d : documents) EXPECT_EQ(d.codes, table) << d.name;
}

}  // namespace
}  // namespace torvane::test
