// The technicians' guide explains every text a run can end with. Its table
// is checked against every fixed text the sources define (each one a
// constant named ...Text), so that a text added to the program without a
// word in the guide fails here, wherever it was added.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "bootloader/Suitability.h"
#include "images/ImageTable.h"
#include "net/UdpNotifier.h"
#include "platform/Platform.h"
#include "platform/UdpListener.h"
#include "shell/SettingsStore.h"
#include "GuideTable.h"

using namespace torvane;
using namespace torvane::test;

namespace {

// Settings that answer every read with a value of the wrong type and refuse
// every write, as a damaged registry or a read-only settings file would.
class BrokenSettings : public SettingsBackend {
public:
    StoredSetting read(std::string_view, std::string_view, const SettingsNotice&) override {
        return {SettingStatus::NotText, {}};
    }
    SettingWrite write(std::string_view, std::string_view, std::string_view, const SettingsNotice&) override {
        return SettingWrite::Failed;
    }
    std::string location() const override { return "nowhere"; }
};

template <typename F>
std::string ErrorOf(F&& f) {
    try {
        f();
    } catch (const std::exception& e) {
        return e.what();
    }
    return {};
}

// The texts that carry a value, made by the code that shows them.
std::vector<std::string> TextsWithValues() {
    std::vector<std::string> texts;
    texts.push_back(NotSuitableText(HardwareName(26), 0x84));

    BrokenSettings broken;
    SettingsStore store{broken, {}};
    texts.push_back(ErrorOf([&] { ReadSetting(store, PortSettingName, BrandMain); }));
    texts.push_back(ErrorOf([&] { WriteSetting(store, PortSettingName, "6", BrandMain); }));

    // A UDP port taken by a first listener (or by some other program
    // already). Not the service's own port, which other tests bind.
    constexpr std::uint16_t Port = UdpPort + 30000;
    const auto make = HostPlatform().udpListeners();
    const auto first = make();
    const auto second = make();
    std::string taken = ErrorOf([&] { first->activate(Port); });
    if (taken.empty()) taken = ErrorOf([&] { second->activate(Port); });
    texts.push_back(taken);
    return texts;
}

// One fixed text as the sources define it: "ui/EndTexts.h: NoImageText".
struct TextDefinition {
    std::string where;
    std::optional<std::string> text;  // nothing: not one string literal (or several in a row)
};

// The string literals from `at` up to the ';' that ends the definition, joined.
std::optional<std::string> LiteralAt(const std::string& source, std::size_t at) {
    std::string text;
    bool any = false;
    for (;;) {
        while (at < source.size() && std::isspace(static_cast<unsigned char>(source[at]))) ++at;
        if (at < source.size() && source[at] == ';') return any ? std::optional(text) : std::nullopt;
        if (at >= source.size() || source[at] != '"') return std::nullopt;
        for (++at; at < source.size() && source[at] != '"'; ++at) {
            if (source[at] != '\\') {
                text.push_back(source[at]);
                continue;
            }
            switch (++at < source.size() ? source[at] : '\0') {
            case '"': text.push_back('"'); break;
            case '\\': text.push_back('\\'); break;
            case 'n': text.push_back('\n'); break;
            default: return std::nullopt;  // an escape this reading does not know
            }
        }
        ++at;
        any = true;
    }
}

// Every constant named ...Text below src that holds a fixed text.
std::vector<TextDefinition> TextDefinitions() {
    static const std::regex Definition(
        R"(constexpr\s+(?:std::string_view|const\s+char\s*\*|char)\s+(\w*Text)\s*(?:\[\s*\])?\s*=)");
    const std::filesystem::path src = TORVANE_SOURCE_DIR "/src";
    std::vector<TextDefinition> found;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(src)) {
        const std::string extension = entry.path().extension().string();
        if (!entry.is_regular_file() || (extension != ".h" && extension != ".cpp")) continue;
        std::stringstream content;
        content << std::ifstream(entry.path()).rdbuf();
        const std::string source = content.str();
        const std::string file = entry.path().lexically_relative(src).generic_string();
        for (auto m = std::sregex_iterator(source.begin(), source.end(), Definition); m != std::sregex_iterator(); ++m) {
            const std::size_t after = static_cast<std::size_t>(m->position(0) + m->length(0));
            found.push_back({file + ": " + (*m)[1].str(), LiteralAt(source, after)});
        }
    }
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.where < b.where; });
    return found;
}

// The fixed texts that no run and no start ends with, and why.
const std::map<std::string, std::string_view, std::less<>> NotEndTexts = {
    {"bootloader/Frames.h: AccessText", "sent to the module, never shown"},
    {"ui/EndTexts.h: SearchDeviceText", "shown while the search goes on"},
    {"ui/FrontEnds.h: LoaderWaitingText", "the compact window's waiting text, before a run"},
    {"ui/UpdateFrontEnd.cpp: NoPortText", "the port panel before a port is chosen"},
    {"ui/FrontEnds.cpp: BusyDeviceText", "the device panel while the run is busy"},
    {"cli/StationUpdate.cpp: WaitingForNextText", "a station port between modules (the guide's station section)"},
    {"cli/StationUpdate.cpp: NoModuleText", "a station table's chip column, beside its verdict"},
    {"qt/StationWindow.cpp: WaitingForNextText", "a station port between modules (the guide's station section)"},
    {"qt/Version.h: GuideText", "the version box's pointer to the guide"},
    {"qt/main.cpp: HelpText", "torvane --help"},
    {"win32ui/main.cpp: HelpText", "torvane.exe --help"},
};

}  // namespace

TEST(Guide, PlaceholdersStandForValuesAndBlanksFollowTheCodeSpanRule) {
    EXPECT_TRUE(MatchesGuideText("<board> - Preparation <code>", "KBV 7E - Preparation 84"));
    EXPECT_FALSE(MatchesGuideText("<board> - Preparation <code>", " - Preparation 84"));
    EXPECT_FALSE(MatchesGuideText("Error !!", " Error !! "));
    std::istringstream guide("## 4. Every text a run can end with\n"
                             "| Text | Meaning |\n"
                             "|---|---|\n"
                             "| `  CHK Error !!  ` and `Warning` | refused |\n"
                             "## Next\n"
                             "| `Other` | |\n");
    EXPECT_EQ(GuideTableTexts(guide), (std::vector<std::string>{" CHK Error !! ", "Warning"}));
}

TEST(Guide, ReadsTheTextsTheSourcesDefine) {
    const std::string source = R"(inline constexpr std::string_view AText = " a \"b\" ";
        constexpr const char* LongText =
            "one\n"
            "two";
        constexpr std::string_view MadeText = Other + "x";
        constexpr char OddText[] = "\x41";)";
    const std::size_t at = source.find('=') + 1;
    EXPECT_EQ(LiteralAt(source, at), " a \"b\" ");
    EXPECT_EQ(LiteralAt(source, source.find('=', at) + 1), "one\ntwo");
    EXPECT_EQ(LiteralAt(source, source.find("= Other") + 1), std::nullopt);
    EXPECT_EQ(LiteralAt(source, source.find("= \"\\x") + 1), std::nullopt);
}

TEST(Guide, ExplainsEveryTextARunCanEndWith) {
    std::ifstream file(TORVANE_SOURCE_DIR "/docs/guide.md");
    ASSERT_TRUE(file) << "cannot read " TORVANE_SOURCE_DIR "/docs/guide.md";
    const std::vector<std::string> table = GuideTableTexts(file);
    ASSERT_FALSE(table.empty()) << "no table under \"" << GuideTableHeading << "\"";

    const std::vector<TextDefinition> defined = TextDefinitions();
    ASSERT_GT(defined.size(), NotEndTexts.size()) << "no ...Text constants found below " TORVANE_SOURCE_DIR "/src";
    for (const auto& [where, why] : NotEndTexts)
        EXPECT_TRUE(std::any_of(defined.begin(), defined.end(), [&](const auto& d) { return d.where == where; }))
            << where << " (" << why << ") is no longer defined: take it off the list";
    for (const TextDefinition& d : defined) {
        if (NotEndTexts.contains(d.where)) continue;
        if (!d.text) {
            ADD_FAILURE() << d.where << " is not a plain string literal: the guide cannot be checked for it";
            continue;
        }
        EXPECT_FALSE(d.text->empty()) << d.where;
        EXPECT_TRUE(GuideExplains(table, *d.text))
            << "the guide's table does not explain \"" << *d.text << "\" (" << d.where
            << "); explain it there, or list it here if no run or start ends with it";
    }
    for (const std::string& text : TextsWithValues()) {
        ASSERT_FALSE(text.empty());
        EXPECT_TRUE(GuideExplains(table, text)) << "the guide's table does not explain \"" << text << "\"";
    }
}
