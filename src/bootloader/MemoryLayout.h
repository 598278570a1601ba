#pragma once
// The memory layout of one run, worked out from the chip and handed to the
// image transfer.

#include <array>
#include <cstdint>

namespace torvane {

struct ProtectedRange {
    std::uint32_t start = 0;   // address units; 0 disables the range
    std::uint32_t length = 0;
};

inline constexpr std::array<std::uint8_t, 8> InitialBootJump{0x80, 0xEF, 0x3F, 0xF0, 0, 0, 0, 0};

struct MemoryLayout {
    std::uint32_t addressUnit = 1;        // image bytes per device address unit
    std::uint32_t rowSize = 64;           // data bytes per block
    std::uint32_t finalBlockAddress = 0;  // address units
    std::uint32_t byteCount = 0;          // image bytes sent as ordinary blocks
    std::array<std::uint8_t, 8> bootJump = InitialBootJump;
    std::uint32_t bootJumpCount = 8;
    std::uint32_t standardReservation = 448;
    std::uint32_t j10Reservation = 1088;
    std::uint16_t padToRow = 0;
    ProtectedRange protectedRange;
};

}  // namespace torvane
