// The technicians' guide explains every text a run can end with. Its table
// is checked against the texts the program itself shows, so that a text
// added to the program without a word in the guide fails here.

#include <gtest/gtest.h>

#include <fstream>
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
#include "ui/EndTexts.h"

using namespace torvane;

namespace {

constexpr std::string_view TableHeading = "Every text a run can end with";

// The code spans in the first cell of each row of the guide's table of end
// texts, as a reader sees them: a span that begins and ends with a blank
// loses one blank at each end, so "`  CHK Error !!  `" reads " CHK Error !! ".
std::vector<std::string> TableTexts(std::istream& guide) {
    std::vector<std::string> texts;
    std::string line;
    bool inSection = false;
    while (std::getline(guide, line)) {
        if (line.starts_with("## ")) inSection = line.find(TableHeading) != std::string::npos;
        if (!inSection || !line.starts_with("|")) continue;
        const std::size_t cellEnd = line.find('|', 1);
        const std::string cell = line.substr(1, cellEnd == std::string::npos ? std::string::npos : cellEnd - 1);
        for (std::size_t open = cell.find('`'); open != std::string::npos; open = cell.find('`', open)) {
            const std::size_t close = cell.find('`', open + 1);
            if (close == std::string::npos) break;
            std::string text = cell.substr(open + 1, close - open - 1);
            if (text.size() >= 2 && text.front() == ' ' && text.back() == ' ' &&
                text.find_first_not_of(' ') != std::string::npos)
                text = text.substr(1, text.size() - 2);
            texts.push_back(text);
            open = close + 1;
        }
    }
    return texts;
}

// Whether `text` reads as `pattern`, where each "<...>" of the pattern
// stands for a value of one or more characters.
bool Matches(std::string_view pattern, std::string_view text) {
    const std::size_t hole = pattern.find('<');
    const std::size_t holeEnd = hole == std::string_view::npos ? hole : pattern.find('>', hole);
    if (holeEnd == std::string_view::npos) return pattern == text;
    const std::string_view before = pattern.substr(0, hole);
    if (!text.starts_with(before)) return false;
    const std::string_view rest = pattern.substr(holeEnd + 1);
    for (std::size_t at = hole + 1; at <= text.size(); ++at)
        if (Matches(rest, text.substr(at))) return true;
    return false;
}

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

}  // namespace

TEST(Guide, PlaceholdersStandForValuesAndBlanksFollowTheCodeSpanRule) {
    EXPECT_TRUE(Matches("<board> - Preparation <code>", "KBV 7E - Preparation 84"));
    EXPECT_FALSE(Matches("<board> - Preparation <code>", " - Preparation 84"));
    EXPECT_FALSE(Matches("Error !!", " Error !! "));
    std::istringstream guide("## 4. Every text a run can end with\n"
                             "| Text | Meaning |\n"
                             "|---|---|\n"
                             "| `  CHK Error !!  ` and `Warning` | refused |\n"
                             "## Next\n"
                             "| `Other` | |\n");
    EXPECT_EQ(TableTexts(guide), (std::vector<std::string>{" CHK Error !! ", "Warning"}));
}

TEST(Guide, ExplainsEveryTextARunCanEndWith) {
    std::ifstream file(TORVANE_SOURCE_DIR "/docs/guide.md");
    ASSERT_TRUE(file) << "cannot read " TORVANE_SOURCE_DIR "/docs/guide.md";
    const std::vector<std::string> table = TableTexts(file);
    ASSERT_FALSE(table.empty()) << "no table under \"" << TableHeading << "\"";

    std::vector<std::string> shown(std::begin(EndTexts), std::end(EndTexts));
    const auto withValues = TextsWithValues();
    shown.insert(shown.end(), withValues.begin(), withValues.end());
    for (const std::string& text : shown) {
        ASSERT_FALSE(text.empty());
        bool found = false;
        for (const std::string& pattern : table) found = found || Matches(pattern, text);
        EXPECT_TRUE(found) << "the guide's table does not explain \"" << text << "\"";
    }
}
