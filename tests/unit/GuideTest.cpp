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

TEST(Guide, ExplainsEveryTextARunCanEndWith) {
    std::ifstream file(TORVANE_SOURCE_DIR "/docs/guide.md");
    ASSERT_TRUE(file) << "cannot read " TORVANE_SOURCE_DIR "/docs/guide.md";
    const std::vector<std::string> table = GuideTableTexts(file);
    ASSERT_FALSE(table.empty()) << "no table under \"" << GuideTableHeading << "\"";

    std::vector<std::string> shown(std::begin(EndTexts), std::end(EndTexts));
    const auto withValues = TextsWithValues();
    shown.insert(shown.end(), withValues.begin(), withValues.end());
    for (const std::string& text : shown) {
        ASSERT_FALSE(text.empty());
        EXPECT_TRUE(GuideExplains(table, text)) << "the guide's table does not explain \"" << text << "\"";
    }
}
