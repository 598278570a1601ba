#pragma once
// The product tags an identity may hold and what each one changes. A tag
// counts wherever it stands in the identity, even inside a word, and its case
// matters. Where several tags of an identity set the same thing, the one
// earlier in the table decides: the upgrade tags come before TK725, which
// must win over TK, and the tags without a logo decide the wake-up before
// PAVIN.

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <optional>
#include <string_view>

namespace torvane {

enum class FrontEnd { MainWindow, LoaderWindow, UpgradeWindow };

struct ProductTag {
    std::string_view tag;
    std::optional<FrontEnd> frontEnd;   // the front end the product gets
    std::uint8_t wakeVariant;           // the LoaderWindow's wake-up; 0: the plain one
    std::optional<FrontEnd> noLogoIn;   // the window that drops its logo for the product
    bool sequenceMode;                  // the UpgradeWindow programs every pending image in turn
};

// tag, front end, wake-up variant, no logo in, sequence mode
inline constexpr ProductTag ProductTags[] = {
    {"KBV", FrontEnd::UpgradeWindow, 0, std::nullopt, false},
    {"DWZ", FrontEnd::UpgradeWindow, 0, std::nullopt, false},
    {"HPJ", FrontEnd::UpgradeWindow, 0, std::nullopt, false},
    {"WIPOL", FrontEnd::UpgradeWindow, 0, std::nullopt, false},
    {"FMQ", FrontEnd::UpgradeWindow, 0, std::nullopt, false},
    {"ZT0", FrontEnd::UpgradeWindow, 0, std::nullopt, false},
    {"JXN", FrontEnd::UpgradeWindow, 0, std::nullopt, false},
    {"VLO", FrontEnd::UpgradeWindow, 0, std::nullopt, false},
    {"MEQ", FrontEnd::UpgradeWindow, 0, std::nullopt, false},
    {"TK725", FrontEnd::MainWindow, 0, FrontEnd::MainWindow, false},
    {"LWD", FrontEnd::LoaderWindow, 1, FrontEnd::LoaderWindow, false},
    {"BALDEK", FrontEnd::LoaderWindow, 1, FrontEnd::LoaderWindow, false},
    {"NUB", FrontEnd::LoaderWindow, 1, FrontEnd::LoaderWindow, false},
    {"YVK", FrontEnd::LoaderWindow, 1, FrontEnd::LoaderWindow, false},
    {"QRT", FrontEnd::LoaderWindow, 1, FrontEnd::LoaderWindow, false},
    {"PAVIN", FrontEnd::LoaderWindow, 2, std::nullopt, false},
    {"TK", FrontEnd::LoaderWindow, 0, std::nullopt, false},
    {"TOLVA", FrontEnd::LoaderWindow, 0, std::nullopt, false},
    {"TOLVE", FrontEnd::LoaderWindow, 0, std::nullopt, false},
    {"F.", FrontEnd::LoaderWindow, 0, std::nullopt, false},
    {"G.", FrontEnd::LoaderWindow, 0, std::nullopt, false},
    {"GF.", FrontEnd::LoaderWindow, 0, std::nullopt, false},
    {"PEL", std::nullopt, 0, FrontEnd::MainWindow, false},
    {"KEW", std::nullopt, 0, std::nullopt, true},
};

// An identity that holds a tag holds every tag inside it too: where their
// rows differ, the longer tag must come first or it would never decide.
constexpr bool LongerTagsComeFirst() {
    for (std::size_t i = 0; i < std::size(ProductTags); ++i) {
        for (std::size_t j = i + 1; j < std::size(ProductTags); ++j) {
            const ProductTag& a = ProductTags[i];
            const ProductTag& b = ProductTags[j];
            const bool same = a.frontEnd == b.frontEnd && a.wakeVariant == b.wakeVariant &&
                              a.noLogoIn == b.noLogoIn && a.sequenceMode == b.sequenceMode;
            if (!same && b.tag.find(a.tag) != std::string_view::npos) return false;
        }
    }
    return true;
}
static_assert(LongerTagsComeFirst());

// Case-sensitive substring test; the empty identity holds no tag.
bool HasTag(std::string_view identity, std::string_view tag);

// The front end the identity's tags choose; nothing when none chooses one.
std::optional<FrontEnd> TaggedFrontEnd(std::string_view identity);
std::uint8_t TaggedWakeVariant(std::string_view identity);
bool TaggedWithoutLogo(std::string_view identity, FrontEnd window);
bool TaggedSequenceMode(std::string_view identity);

}  // namespace torvane
