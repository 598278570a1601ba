// The run log: many processes append to one file at once, and every line
// comes out whole.

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <string>

#include "TempConfigDir.h"
#include "platform/posix/AppendFile.h"

namespace torvane::posix {
namespace {

TEST(AppendLine, WritersAtTheSameTimeNeverCutIntoEachOthersLines) {
    test::TempConfigDir dir;
    const auto log = dir.path() / "logs" / "runs.jsonl";  // the folder does not exist yet
    constexpr int Writers = 4;
    constexpr int LinesEach = 200;
    // Long lines, so that a write split by the kernel or the library would show.
    const auto lineOf = [](int writer, int n) {
        return "{\"writer\":" + std::to_string(writer) + ",\"n\":" + std::to_string(n) + ",\"pad\":\"" +
               std::string(6000, static_cast<char>('a' + writer)) + "\"}";
    };
    pid_t children[Writers];
    for (int w = 0; w < Writers; ++w) {
        children[w] = ::fork();
        ASSERT_GE(children[w], 0);
        if (children[w] == 0) {
            for (int n = 0; n < LinesEach; ++n)
                if (!AppendLine(log, lineOf(w, n)).empty()) ::_exit(1);
            ::_exit(0);
        }
    }
    for (pid_t c : children) {
        int status = 0;
        ::waitpid(c, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    std::ifstream in(log);
    std::map<int, int> next;  // per writer, the line number expected next
    std::string line;
    int lines = 0;
    while (std::getline(in, line)) {
        ++lines;
        const int writer = line.size() > 10 ? line[10] - '0' : -1;
        ASSERT_TRUE(writer >= 0 && writer < Writers) << line.substr(0, 40);
        ASSERT_EQ(line, lineOf(writer, next[writer]++)) << "line " << lines;
    }
    EXPECT_EQ(lines, Writers * LinesEach);
}

TEST(AppendLine, RefusesWhatWouldNotStayOneLineAndSaysWhyAFileCannotBeWritten) {
    test::TempConfigDir dir;
    EXPECT_NE(AppendLine(dir.path() / "log", "two\nlines"), "");
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "log"));
    const std::string failure = AppendLine(dir.path(), "a folder is no log");
    EXPECT_NE(failure.find(dir.path().string()), std::string::npos) << failure;
}

TEST(StateDir, FollowsXdgStateHome) {
    test::TempConfigDir dir;  // sets XDG_STATE_HOME
    EXPECT_EQ(StateDir(), dir.stateDir() / "torvane");
}

}  // namespace
}  // namespace torvane::posix
