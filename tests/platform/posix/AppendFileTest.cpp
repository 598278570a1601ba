// The run log: many processes append to one file at once, and every line
// comes out whole.

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
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

// A disk that fills while several stations append: each write that does not
// fit is cut back, so every line in the file is a whole record. The limit on
// the file size makes the kernel take part of a write, as a full disk does.
TEST(AppendLine, AFullDiskLeavesOnlyWholeLinesWhoeverAppends) {
    test::TempConfigDir dir;
    const auto log = dir.path() / "runs.jsonl";
    constexpr int Writers = 4;
    constexpr rlim_t Room = 100000;  // bytes the "disk" holds
    const auto lineOf = [](int writer, int n) {
        return "{\"writer\":" + std::to_string(writer) + ",\"n\":" + std::to_string(n) + ",\"pad\":\"" +
               std::string(3000 + 97 * writer, static_cast<char>('a' + writer)) + "\"}";
    };
    pid_t children[Writers];
    for (int w = 0; w < Writers; ++w) {
        children[w] = ::fork();
        ASSERT_GE(children[w], 0);
        if (children[w] == 0) {
            ::signal(SIGXFSZ, SIG_IGN);  // a write beyond the limit then fails instead of killing
            const rlimit limit{Room, Room};
            ::setrlimit(RLIMIT_FSIZE, &limit);
            int refused = 0;
            for (int n = 0; n < 60; ++n)
                if (!AppendLine(log, lineOf(w, n)).empty()) ++refused;
            ::_exit(refused > 0 ? 0 : 1);  // the disk must have filled for every writer
        }
    }
    for (pid_t c : children) {
        int status = 0;
        ::waitpid(c, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a writer never met the full disk";
    }
    std::ifstream in(log);
    std::string line;
    int lines = 0;
    while (std::getline(in, line)) {
        ++lines;
        const int writer = line.size() > 10 ? line[10] - '0' : -1;
        ASSERT_TRUE(writer >= 0 && writer < Writers) << "line " << lines << ": " << line.substr(0, 40);
        const auto comma = line.find(',', 11);
        const int n = std::stoi(line.substr(line.find(':', comma) + 1));
        ASSERT_EQ(line, lineOf(writer, n)) << "line " << lines << " is not a whole record";
    }
    EXPECT_GT(lines, 0);
    EXPECT_LE(std::filesystem::file_size(log), Room);
}

// What a writer that died in the middle of its write left is cut off before
// the next record, which then starts a line of its own.
TEST(AppendLine, CutsOffPartOfALineLeftBehind) {
    test::TempConfigDir dir;
    const auto log = dir.path() / "runs.jsonl";
    std::ofstream(log) << "{\"whole\":1}\n{\"torn";
    EXPECT_EQ(AppendLine(log, "{\"next\":2}"), "");
    std::ifstream in(log);
    const std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(content, "{\"whole\":1}\n{\"next\":2}\n");
}

// A link planted where the log goes is not followed; a new log and its new
// folders are the user's alone.
TEST(AppendLine, RefusesALinkAndKeepsNewRecordsPrivate) {
    test::TempConfigDir dir;
    const auto target = dir.path() / "someone-elses";
    std::ofstream(target) << "theirs\n";
    const auto planted = dir.path() / "planted.jsonl";
    std::filesystem::create_symlink(target, planted);
    const std::string failure = AppendLine(planted, "{\"run\":1}");
    EXPECT_NE(failure.find("symbolic link"), std::string::npos) << failure;
    EXPECT_EQ(std::filesystem::file_size(target), 7u);

    const auto log = dir.path() / "new" / "state" / "runs.jsonl";
    ASSERT_EQ(AppendLine(log, "{\"run\":1}"), "");
    struct stat file {}, folder {};
    ASSERT_EQ(::stat(log.c_str(), &file), 0);
    ASSERT_EQ(::stat(log.parent_path().c_str(), &folder), 0);
    EXPECT_EQ(file.st_mode & 0777, 0600u);
    EXPECT_EQ(folder.st_mode & 0777, 0700u);
}

TEST(StateDir, FollowsXdgStateHome) {
    test::TempConfigDir dir;  // sets XDG_STATE_HOME
    EXPECT_EQ(StateDir(), dir.stateDir() / "torvane");
}

// A relative folder in the variables would put the records wherever the
// program started: only absolute ones count.
TEST(StateDir, TakesOnlyAbsoluteFolders) {
    test::TempConfigDir dir;
    const std::string home = std::getenv("HOME") != nullptr ? std::getenv("HOME") : "";
    ::setenv("XDG_STATE_HOME", "relative/state", 1);
    ::setenv("HOME", "relative-home", 1);
    const auto chosen = StateDir();
    if (home.empty()) ::unsetenv("HOME");
    else ::setenv("HOME", home.c_str(), 1);
    EXPECT_TRUE(chosen.empty() || chosen.is_absolute()) << chosen;
}

}  // namespace
}  // namespace torvane::posix
