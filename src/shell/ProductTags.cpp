#include "shell/ProductTags.h"

namespace torvane {

namespace {

// The first row, in table order, whose tag the identity holds and that sets
// what `sets` asks for.
template <typename Sets>
const ProductTag* FirstTagThat(std::string_view identity, Sets sets) {
    for (const ProductTag& t : ProductTags)
        if (sets(t) && HasTag(identity, t.tag)) return &t;
    return nullptr;
}

}  // namespace

bool HasTag(std::string_view identity, std::string_view tag) {
    return !identity.empty() && !tag.empty() && identity.find(tag) != std::string_view::npos;
}

std::optional<FrontEnd> TaggedFrontEnd(std::string_view identity) {
    const ProductTag* t = FirstTagThat(identity, [](const ProductTag& r) { return r.frontEnd.has_value(); });
    return t ? t->frontEnd : std::nullopt;
}

std::uint8_t TaggedWakeVariant(std::string_view identity) {
    const ProductTag* t = FirstTagThat(identity, [](const ProductTag& r) { return r.wakeVariant != 0; });
    return t ? t->wakeVariant : std::uint8_t{0};
}

bool TaggedWithoutLogo(std::string_view identity, FrontEnd window) {
    return FirstTagThat(identity, [window](const ProductTag& r) { return r.noLogoIn == window; }) != nullptr;
}

bool TaggedSequenceMode(std::string_view identity) {
    return FirstTagThat(identity, [](const ProductTag& r) { return r.sequenceMode; }) != nullptr;
}

}  // namespace torvane
