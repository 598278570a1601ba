#include "shell/ProductIdentity.h"

#include "images/ProductData.h"

namespace torvane {

BrandIndex BrandOf(FrontEnd f) {
    switch (f) {
    case FrontEnd::UpgradeWindow: return BrandUpgrade;
    case FrontEnd::LoaderWindow: return BrandLoader;
    case FrontEnd::MainWindow: break;
    }
    return BrandMain;
}

std::optional<std::string_view> ProductIdentity() {
    if (!product::HasIdentity) return std::nullopt;
    return std::string_view(product::IdentityText);
}

std::string_view IdentityOrDefault(std::optional<std::string_view> identity) {
    return identity ? *identity : DefaultIdentity;
}

std::string_view ProductIdentityOrDefault() { return IdentityOrDefault(ProductIdentity()); }

FrontEnd ChooseFrontEnd(std::optional<std::string_view> identity) {
    if (!identity) return FrontEnd::MainWindow;
    return TaggedFrontEnd(*identity).value_or(FrontEnd::MainWindow);
}

std::string MainTitle(std::string_view identity, std::string_view date) {
    std::string t = "Updater 2.7";
    return t.append(" - ").append(identity).append("   [ ").append(date).append(" ]");
}

std::string LoaderTitle(std::string_view identity, std::string_view date) {
    std::string t = "Loader 1.0";
    return t.append(" -   ").append(identity).append("   - ").append(date);
}

std::string UpgradeTitle(std::string_view identity, std::string_view date) {
    std::string t = "Upgrade 1.1";
    return t.append(" -   ").append(identity).append("   - ").append(date);
}

std::string MainTitle() { return MainTitle(ProductIdentityOrDefault(), BuildDate()); }
std::string LoaderTitle() { return LoaderTitle(ProductIdentityOrDefault(), BuildDate()); }
std::string UpgradeTitle() { return UpgradeTitle(ProductIdentityOrDefault(), BuildDate()); }

std::string NormaliseBuildDate(std::string_view compilerDate) {
    std::string out;
    for (char c : compilerDate)
        if (!(c == ' ' && !out.empty() && out.back() == ' ')) out.push_back(c);
    return out;
}

std::string BuildDate() { return NormaliseBuildDate(__DATE__); }
std::string BuildTime() { return __TIME__; }

}  // namespace torvane
