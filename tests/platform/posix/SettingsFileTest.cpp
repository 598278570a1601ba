#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <fstream>
#include <sstream>

#include "TempConfigDir.h"
#include "platform/posix/SettingsFile.h"
#include "formats/RegistryDocument.h"
#include "shell/SettingsStore.h"

using namespace torvane;
namespace fs = std::filesystem;

namespace {

constexpr const char* Header = "Windows Registry Editor Version 5.00\n";

std::string ReadFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void PutFile(const fs::path& p, const std::string& text) {
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << text;
}

class SettingsStoreTest : public ::testing::Test {
protected:
    test::TempConfigDir config;
    posix::SettingsFile file;  // at the temporary TORVANE_CONFIG_DIR
    std::vector<std::string> notices;
    SettingsStore store{file, [this](const std::string& m) { notices.push_back(m); }};

    fs::path path() const { return config.path() / "settings.reg"; }
    std::vector<fs::path> folderEntries() const {
        std::vector<fs::path> names;
        for (const auto& e : fs::directory_iterator(config.path())) names.push_back(e.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST_F(SettingsStoreTest, EachBrandHasItsOwnKeyAndUnknownBrandsShareTheMainOne) {
    EXPECT_EQ(file.path(), path());
    EXPECT_EQ(ReadSetting(store, "com", 0), "");  // never written
    EXPECT_FALSE(fs::exists(path()));              // reading creates nothing

    WriteSetting(store, "com", "4", 1);
    EXPECT_EQ(ReadFile(path()), std::string(Header) +
                                    "\n[HKEY_LOCAL_MACHINE\\Software]\n"
                                    "\n[HKEY_LOCAL_MACHINE\\Software\\Varnholt]\n"
                                    "\n[HKEY_LOCAL_MACHINE\\Software\\Varnholt\\Upgrade]\n\"com\"=\"4\"\n");
    WriteSetting(store, "com", "-1", 5);
    WriteSetting(store, "com", "12", 2);

    struct Case { std::uint8_t brand; const char* key; const char* value; };
    const Case cases[] = {
        {0, "Software\\Oskel\\Torvane\\", "-1"}, {5, "Software\\Oskel\\Torvane\\", "-1"},
        {255, "Software\\Oskel\\Torvane\\", "-1"}, {1, "Software\\Varnholt\\Upgrade\\", "4"},
        {2, "Software\\Pelliam\\Loader\\", "12"},
    };
    for (auto c : cases) {
        SCOPED_TRACE(int(c.brand));
        EXPECT_EQ(SettingsKeyPath(c.brand), c.key);
        EXPECT_EQ(ReadSetting(store, "com", c.brand), c.value);
    }
    EXPECT_EQ(ReadSetting(store, "other", 1), "");
    EXPECT_TRUE(notices.empty());
}

TEST_F(SettingsStoreTest, AWriteKeepsEveryOtherKeyValueAndComment) {
    const std::string before = std::string(Header) +
        "; kept by hand\n"
        "\n[HKEY_CURRENT_USER\\Software\\Elsewhere]\n\"com\"=\"9\"\n"
        "\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Varnholt\\Upgrade]\n"
        "@=\"default \\\"quoted\\\" C:\\\\dir\"\n"
        "\"COM\"=\"1\"\n"
        "; between values\n"
        "\"count\"=dword:0000002a\n"
        "\"path\"=hex(2):25,00,54,00,45,00,4d,00,50,00,25,00,\\\n"
        "  00,00\n"
        "\"blob\"=hex:01,02,ff\n"
        "\"empty\"=hex:\n";
    PutFile(path(), before);
    WriteSetting(store, "com", "7", 1);
    WriteSetting(store, "com", "3", 0);

    const std::string after = std::string(Header) +
        "; kept by hand\n"
        "\n[HKEY_CURRENT_USER\\Software\\Elsewhere]\n\"com\"=\"9\"\n"
        "\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Varnholt\\Upgrade]\n"
        "@=\"default \\\"quoted\\\" C:\\\\dir\"\n"
        "\"COM\"=\"7\"\n"  // the stored spelling of the name stays
        "; between values\n"
        "\"count\"=dword:0000002a\n"
        "\"path\"=hex(2):25,00,54,00,45,00,4d,00,50,00,25,00,00,00\n"
        "\"blob\"=hex:01,02,ff\n"
        "\"empty\"=hex:\n"
        "\n[HKEY_LOCAL_MACHINE\\Software]\n"
        "\n[HKEY_LOCAL_MACHINE\\Software\\Oskel]\n"
        "\n[HKEY_LOCAL_MACHINE\\Software\\Oskel\\Torvane]\n\"com\"=\"3\"\n";
    EXPECT_EQ(ReadFile(path()), after);
    EXPECT_EQ(folderEntries(), std::vector<fs::path>{"settings.reg"});  // no temporary file left
}

TEST_F(SettingsStoreTest, OnlyStringValuesReadAsText) {
    struct Case { const char* data; const char* text; bool typeError; };
    const Case cases[] = {
        {"\"42\"", "42", false},
        {"\"\"", "", false},
        {"\"a \\\"b\\\" \\\\c\"", "a \"b\" \\c", false},
        {"hex(2):25,00,54,00,25,00,00,00", "%T%", false},   // expand-string, not expanded
        {"hex(1):35,00,00,00,36,00,00,00", "5", false},      // up to the first zero
        {"hex(2):", "", false},
        {"hex:", "", false},                                 // no data: empty, whatever the type
        {"dword:00000004", "", true},
        {"hex:34", "", true},
        {"hex(7):35,00,00,00,00,00", "", true},
        {"hex(b):04,00,00,00,00,00,00,00", "", true},
    };
    for (auto c : cases) {
        SCOPED_TRACE(c.data);
        PutFile(path(), std::string(Header) + "\n[HKEY_LOCAL_MACHINE\\Software\\Pelliam\\Loader]\n\"com\"=" + c.data + "\n");
        if (c.typeError) {
            try {
                ReadSetting(store, "com", 2);
                ADD_FAILURE() << "no error";
            } catch (const SettingsError& e) {
                EXPECT_STREQ(e.what(), "Invalid data type for 'com'");
            }
        } else {
            EXPECT_EQ(ReadSetting(store, "com", 2), c.text);
        }
    }
}

TEST_F(SettingsStoreTest, AnyTextSurvivesTheRoundTrip) {
    const std::string texts[] = {"-1", "two\nlines\r\n", "quote \" and \\ backslash", "Grüße 端口 🙂", "  padded  ", ""};
    for (const auto& t : texts) {
        SCOPED_TRACE(t);
        WriteSetting(store, "com", t, 0);
        EXPECT_EQ(ReadSetting(store, "com", 0), t);
        EXPECT_TRUE(ParseRegistryText(ReadFile(path())).error.empty());
    }
    WriteSetting(store, "com", std::string_view("ab\0cd", 5), 0);
    EXPECT_EQ(ReadSetting(store, "com", 0), "ab");  // a string ends at its first zero
    EXPECT_THROW(WriteSetting(store, "bad\nname", "1", 0), SettingsError);
}

TEST_F(SettingsStoreTest, ADamagedFileIsIgnoredThenKeptBesideTheNewOne) {
    const std::string damaged = std::string(Header) + "\n[HKEY_LOCAL_MACHINE\\Software\\Oskel\\Torvane]\n\"com\"=\"4\n";
    PutFile(path(), damaged);

    EXPECT_EQ(ReadSetting(store, "com", 0), "");
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_NE(notices[0].find(path().string()), std::string::npos) << notices[0];
    EXPECT_NE(notices[0].find("line 4"), std::string::npos) << notices[0];
    EXPECT_EQ(ReadFile(path()), damaged);  // reading never touches it

    WriteSetting(store, "com", "5", 0);
    EXPECT_EQ(ReadSetting(store, "com", 0), "5");
    PutFile(path(), "garbage");
    WriteSetting(store, "com", "6", 0);  // a second damaged file within the same second gets its own copy

    std::vector<fs::path> copies;
    for (const auto& e : fs::directory_iterator(config.path()))
        if (e.path().filename().string().rfind("settings.reg.corrupt-", 0) == 0) copies.push_back(e.path());
    ASSERT_EQ(copies.size(), 2u);
    std::vector<std::string> contents{ReadFile(copies[0]), ReadFile(copies[1])};
    std::sort(contents.begin(), contents.end());
    EXPECT_EQ(contents, (std::vector<std::string>{damaged, "garbage"}));
    ASSERT_EQ(notices.size(), 3u);
    for (const auto& c : copies) {
        bool named = notices[1].find(c.string()) != std::string::npos || notices[2].find(c.string()) != std::string::npos;
        EXPECT_TRUE(named) << c;
    }
    EXPECT_EQ(ReadSetting(store, "com", 0), "6");
}

TEST(RegistryText, WhatIsNotAnExportIsAnErrorNotAnEmptyDocument) {
    const std::string texts[] = {
        "garbage",
        "REGEDIT5\n",
        std::string(Header) + "\"com\"=\"1\"\n",                      // value before any key
        std::string(Header) + "[HKEY_LOCAL_MACHINE\\A\n",            // unclosed key
        std::string(Header) + "[-HKEY_LOCAL_MACHINE\\A]\n",          // deletion
        std::string(Header) + "[HKEY_LOCAL_MACHINE\\A]\n\"com\"=-\n",
        std::string(Header) + "[HKEY_LOCAL_MACHINE\\A]\ncom=\"1\"\n",
        std::string(Header) + "[HKEY_LOCAL_MACHINE\\A]\n\"com\"=\"1\" trailing\n",
        std::string(Header) + "[HKEY_LOCAL_MACHINE\\A]\n\"com\"=\"a\\nb\"\n",  // unknown escape
        std::string(Header) + "[HKEY_LOCAL_MACHINE\\A]\n\"com\"=dword:123456789\n",
        std::string(Header) + "[HKEY_LOCAL_MACHINE\\A]\n\"com\"=hex:1,234\n",
        std::string(Header) + "[HKEY_LOCAL_MACHINE\\A]\n\"com\"=hex:01,\n",
        std::string(Header) + "[HKEY_LOCAL_MACHINE\\A]\n\"com\"=hex:01,\\\n",
    };
    for (const auto& t : texts) EXPECT_FALSE(ParseRegistryText(t).error.empty()) << t;
    // What an export may look like otherwise: byte order mark, CRLF, the old header, blank text.
    EXPECT_TRUE(ParseRegistryText("\xEF\xBB\xBFREGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\A]\r\n\"com\"=\"1\"\r\n").error.empty());
    EXPECT_TRUE(ParseRegistryText(" \n\n").error.empty());
}

TEST(SettingsStoreFailures, AnUnwritablePlaceIsSkippedSilently) {
    test::TempConfigDir config;
    PutFile(config.path() / "file", "x");
    posix::SettingsFile file(config.path() / "file" / "below");  // no folder can be made below a file
    int notices = 0;
    SettingsStore store{file, [&](const std::string&) { ++notices; }};
    EXPECT_NO_THROW(WriteSetting(store, "com", "3", 0));
    EXPECT_EQ(ReadSetting(store, "com", 0), "");
    EXPECT_EQ(notices, 0);
}

TEST_F(SettingsStoreTest, AWriteThatBreaksOffKeepsTheOldFileAndSaysSo) {
    WriteSetting(store, "com", "4", 0);
    const std::string before = ReadFile(path());

    // A file size limit makes the write fail part-way, as a full disk does.
    struct rlimit old {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = before.size() + 10;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    std::string error;
    try {
        WriteSetting(store, "com", std::string(200, '9'), 0);
    } catch (const SettingsError& e) {
        error = e.what();
    }
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);

    EXPECT_EQ(error, "Failed to set data for 'com'");
    EXPECT_EQ(ReadFile(path()), before);
    EXPECT_EQ(folderEntries(), std::vector<fs::path>{"settings.reg"});
    EXPECT_EQ(ReadSetting(store, "com", 0), "4");
}

TEST_F(SettingsStoreTest, RewritingKeepsTheBytesOfWhatNobodyChanged) {
    // A byte order mark, the older header, CR LF line ends, and comments with
    // blanks before them and a CR of their own.
    const std::string head = "\xEF\xBB\xBFREGEDIT4\r\n"
                             "  ; made by hand\r\r\n"
                             "\r\n[HKEY_LOCAL_MACHINE\\Software\\Oskel\\Torvane]\r\n";
    const std::string tail = "\t; after the port\r\n"
                             ";\r\n"
                             "\"count\"=dword:0000002a\r\n";
    const std::string before = head + "\"com\"=\"4\"\r\n" + tail;
    PutFile(path(), before);

    for (int round = 0; round < 3; ++round) {
        WriteSetting(store, "com", "4", 0);
        EXPECT_EQ(ReadFile(path()), before) << "round " << round;
    }
    for (const char* port : {"12", "4"}) {
        WriteSetting(store, "com", port, 0);
        EXPECT_EQ(ReadFile(path()), head + "\"com\"=\"" + port + "\"\r\n" + tail) << port;
    }
    EXPECT_TRUE(notices.empty());
}

TEST_F(SettingsStoreTest, TemporaryFilesOfDeadWritersGoOnTheNextSave) {
    // A process id nobody has any more, and one that is alive (ours is
    // skipped as the writer itself: its parent's stands for a live writer).
    const pid_t dead = ::fork();
    if (dead == 0) ::_exit(0);
    ASSERT_GT(dead, 0);
    ::waitpid(dead, nullptr, 0);
    const std::string deadPid = std::to_string(dead), livePid = std::to_string(::getppid());
    const std::vector<std::string> leftovers{".settings.reg." + deadPid + ".tmp",
                                             ".settings.reg.corrupt-20240101-120000." + deadPid + ".tmp"};
    const std::vector<std::string> kept{".settings.reg." + livePid + ".tmp",  // a writer at work
                                        ".other.reg." + deadPid + ".tmp",     // not ours
                                        ".settings.reg.x" + deadPid + ".tmp", "notes.tmp"};
    for (const auto& name : leftovers) PutFile(config.path() / name, std::string(1000, 'x'));
    for (const auto& name : kept) PutFile(config.path() / name, "x");

    WriteSetting(store, "com", "4", 0);
    WriteSetting(store, "com", "4", 0);  // an unchanged value is a save too

    std::vector<fs::path> expected{"settings.reg"};
    for (const auto& name : kept) expected.emplace_back(name);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(folderEntries(), expected);
    EXPECT_EQ(ReadSetting(store, "com", 0), "4");
}

}  // namespace
