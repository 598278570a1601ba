#pragma once
// The product configuration compiled into this build (generated from
// product/ by torvane-mkimage).

#include <array>
#include <cstdint>
#include <span>

#include "images/EmbeddedImage.h"

namespace torvane::product {

inline constexpr int HardwareNameCount = 33;

extern const bool HasIdentity;
extern const char IdentityText[];  // meaningful only when HasIdentity
extern const std::uint8_t ScrambleKey;
extern const std::uint8_t ScrambleEnable;
extern const std::array<const char*, HardwareNameCount> HardwareNames;

// Every wired cell the product fills, placeholders included.
std::span<const ProductCell> Cells();

}  // namespace torvane::product
