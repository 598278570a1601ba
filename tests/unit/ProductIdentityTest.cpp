#include <gtest/gtest.h>

#include "shell/ProductIdentity.h"

using namespace torvane;

namespace {

struct ChoiceCase {
    std::optional<std::string_view> identity;
    FrontEnd expected;
};

class ChooseFrontEndTest : public ::testing::TestWithParam<ChoiceCase> {};

TEST_P(ChooseFrontEndTest, PicksTheFrontEndByTag) {
    EXPECT_EQ(ChooseFrontEnd(GetParam().identity), GetParam().expected) << GetParam().identity.value_or("(none)");
}

INSTANTIATE_TEST_SUITE_P(
    Tags, ChooseFrontEndTest,
    ::testing::Values(ChoiceCase{"KBV 7E 02.10.04.01", FrontEnd::UpgradeWindow},
                      ChoiceCase{"TK725 1.0", FrontEnd::MainWindow},           // TK725 wins over TK
                      ChoiceCase{"KBV TK", FrontEnd::UpgradeWindow},           // upgrade tags come first
                      ChoiceCase{"MEQ TK725", FrontEnd::UpgradeWindow},
                      ChoiceCase{"kbv tk", FrontEnd::MainWindow},              // tags are case-sensitive
                      ChoiceCase{"XGF.1", FrontEnd::LoaderWindow},             // GF. holds F. as well
                      ChoiceCase{"ATKA", FrontEnd::LoaderWindow},              // substring inside a word
                      ChoiceCase{"PAVIN 2", FrontEnd::LoaderWindow},
                      ChoiceCase{"ZT0", FrontEnd::UpgradeWindow},
                      ChoiceCase{"ZTO", FrontEnd::MainWindow},
                      ChoiceCase{"", FrontEnd::MainWindow},
                      ChoiceCase{std::nullopt, FrontEnd::MainWindow}));

TEST(ProductIdentity, AbsentIdentityIsNotTheEmptyOne) {
    EXPECT_EQ(IdentityOrDefault(std::nullopt), "WEX15.4 00.04");
    EXPECT_EQ(IdentityOrDefault(std::string_view("")), "");
    EXPECT_FALSE(HasTag("", ""));
    EXPECT_FALSE(HasTag("", "TK"));
}

TEST(ProductIdentity, ThisBuildCarriesTheProductIdentity) {
    // The default build packs product/identity.txt; other builds say so.
    auto id = ProductIdentity();
    if (!id || *id != "KBV 7E 02.10.04.01") GTEST_SKIP() << "built with another identity";
    EXPECT_EQ(ProductIdentityOrDefault(), "KBV 7E 02.10.04.01");
}

TEST(Titles, AreBuiltFromTheirPiecesWithTheirBlanks) {
    EXPECT_EQ(MainTitle("KBV 7E 02.10.04.01", "Mar 22 2018"), "Updater 2.7 - KBV 7E 02.10.04.01   [ Mar 22 2018 ]");
    EXPECT_EQ(LoaderTitle("TK 1", "Mar 22 2018"), "Loader 1.0 -   TK 1   - Mar 22 2018");
    EXPECT_EQ(UpgradeTitle("KBV", "Mar 22 2018"), "Upgrade 1.1 -   KBV   - Mar 22 2018");
    EXPECT_EQ(MainTitle(IdentityOrDefault(std::nullopt), "Jan 1 2020"), "Updater 2.7 - WEX15.4 00.04   [ Jan 1 2020 ]");
}

TEST(BuildStamp, HasTheDateAndTimeShapes) {
    EXPECT_EQ(NormaliseBuildDate("Mar  2 2018"), "Mar 2 2018");
    EXPECT_EQ(NormaliseBuildDate("Mar 22 2018"), "Mar 22 2018");
    const auto t = BuildTime();
    ASSERT_EQ(t.size(), 8u);
    EXPECT_EQ(t[2], ':');
    EXPECT_EQ(t[5], ':');
    EXPECT_EQ(BuildDate().find("  "), std::string::npos);
}

}  // namespace

namespace {

// What the tags change besides the front end, where several meet in one identity.
TEST(ProductTags, EarlierTagsDecideAndEachOnlyWhatItSets) {
    struct Case {
        std::string_view identity;
        std::uint8_t wakeVariant;
        bool noLogoInMain, noLogoInLoader, sequenceMode;
    } const cases[] = {
        {"PAVIN 2", 2, false, false, false},
        {"PAVIN LWD", 1, false, true, false},  // the tags without a logo decide the wake-up
        {"QRT 1.2", 1, false, true, false},
        {"TK725 1.0", 0, true, false, false},  // TK725's own logo rule, not TK's
        {"TK 1.0", 0, false, false, false},
        {"PEL 3", 0, true, false, false},
        {"KBV KEW 1.0", 0, false, false, true},
        {"kbv kew", 0, false, false, false},
        {"", 0, false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.identity);
        EXPECT_EQ(TaggedWakeVariant(c.identity), c.wakeVariant);
        EXPECT_EQ(TaggedWithoutLogo(c.identity, FrontEnd::MainWindow), c.noLogoInMain);
        EXPECT_EQ(TaggedWithoutLogo(c.identity, FrontEnd::LoaderWindow), c.noLogoInLoader);
        EXPECT_EQ(TaggedSequenceMode(c.identity), c.sequenceMode);
    }
}

}  // namespace
