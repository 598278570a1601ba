#pragma once
// The one-byte mask of stored images. Scrambling and unscrambling are the same
// XOR; the offset is the low byte of the device address of the row carrying
// the byte.

#include <cstdint>

#include "images/Wiring.h"

namespace torvane {

constexpr std::uint8_t ScrambleMask(std::uint8_t key, std::uint8_t enable, std::uint8_t offset) {
    return enable == 0 ? 0 : static_cast<std::uint8_t>(key + offset);
}

// Low byte of the address, in device address units, of the row holding
// image byte `index`.
constexpr std::uint8_t RowAddressLowByte(ChipFamily f, std::int64_t index) {
    const auto g = GeometryOf(f);
    return static_cast<std::uint8_t>(((index / g.rowBytes) * g.rowBytes) / g.addressUnit);
}

// The product's mask: ScrambleKey plus offset, or 0 when the product has
// scrambling off. Every caller passes the product's ScrambleEnable.
std::uint8_t ScrambleByte(std::uint8_t offset, std::uint8_t enable);
std::uint8_t ScrambleByte(std::uint8_t offset);

}  // namespace torvane
