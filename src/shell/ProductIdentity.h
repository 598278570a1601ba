#pragma once
// The build's product identity, the product tags found in it, the choice of
// front end and the window titles.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "shell/ProductTags.h"

namespace torvane {

inline constexpr std::string_view DefaultIdentity = "WEX15.4 00.04";

// Settings key selector of each front end.
enum BrandIndex : std::uint8_t { BrandMain = 0, BrandUpgrade = 1, BrandLoader = 2 };
BrandIndex BrandOf(FrontEnd f);

// The compiled-in identity, or nothing when the build carries none.
std::optional<std::string_view> ProductIdentity();
// The compiled-in identity, or DefaultIdentity. Everything but the front-end
// choice uses this one.
std::string_view ProductIdentityOrDefault();
std::string_view IdentityOrDefault(std::optional<std::string_view> identity);

// Front end for an identity; a build without identity gets the MainWindow.
FrontEnd ChooseFrontEnd(std::optional<std::string_view> identity);

// Window titles, built anew on each call from an identity and the build date.
std::string MainTitle(std::string_view identity, std::string_view date);
std::string LoaderTitle(std::string_view identity, std::string_view date);
std::string UpgradeTitle(std::string_view identity, std::string_view date);
// The same with this build's identity (or the default) and build date.
std::string MainTitle();
std::string LoaderTitle();
std::string UpgradeTitle();

// Build stamp: "Mmm d yyyy" and "hh:mm:ss".
std::string BuildDate();
std::string BuildTime();
// Normalises a compiler date ("Mar  2 2018") to single blanks ("Mar 2 2018").
std::string NormaliseBuildDate(std::string_view compilerDate);

}  // namespace torvane
