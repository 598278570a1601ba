#pragma once
// Which cells of the image table a product may fill. Shared by the image
// table and the product packer, so both agree on what a valid cell is.

#include <array>
#include <cstdint>

#include "images/Chips.h"

namespace torvane {

inline constexpr int ImageRows = 255;   // hardware codes 0..254
inline constexpr int ImageColumns = 47; // image slots 0..46; selection yields 0..9
inline constexpr int SelectableSlots = 10;

struct CellRef {
    std::uint8_t row;
    std::uint8_t slot;
};

// hardware code, slot
inline constexpr std::array<CellRef, 25> WiredCells{{
    {0, 0}, {0, 1}, {0, 2}, {0, 3}, {0, 4}, {0, 5}, {0, 6}, {0, 7}, {0, 8}, {0, 9},
    {2, 0}, {2, 1},
    {4, 0}, {4, 1},
    {5, 0}, {5, 1}, {5, 6},
    {6, 0}, {6, 1}, {6, 6},
    {7, 6}, {8, 6}, {11, 6}, {16, 6}, {19, 6},
}};

// Hardware code 32 runs the same slot-6 image as hardware code 16.
inline constexpr CellRef SharedCell{32, 6};
inline constexpr CellRef SharedCellSource{16, 6};

constexpr bool IsWired(CellRef c) {
    for (auto w : WiredCells)
        if (w.row == c.row && w.slot == c.slot) return true;
    return false;
}

}  // namespace torvane
