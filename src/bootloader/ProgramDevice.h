#pragma once
// The second half of an update run: match the found device with its image,
// lay out its memory, check the board, program it and give the verdict.

#include <chrono>
#include <cstdint>
#include <string_view>

#include "bootloader/RunContext.h"
#include "images/Chips.h"

namespace torvane {

inline constexpr std::chrono::milliseconds ProgrammingModeReply{2000};
inline constexpr int RecordPolls = 251;
inline constexpr std::chrono::milliseconds RecordPollInterval{5};
inline constexpr std::chrono::milliseconds AccessFramePause{300};
inline constexpr std::chrono::milliseconds RepeatWait{1000};
inline constexpr std::chrono::milliseconds K80Settle{2000};  // after a sequence's last module on a slot that settles
inline constexpr std::uint8_t FirstRecordVersion = 8;
inline constexpr std::uint8_t LastRecordVersion = 31;
inline constexpr std::uint8_t FirstRefusedVersion = 33;
inline constexpr std::uint8_t NoIdentityHardware = 2;

// Address unit, reservations and boot jump bytes for a chip and boot loader
// version. The jump bytes of a chip with no jump known for that version, and
// of a chip the updater does not know, stay as they were.
void SetMemoryLayout(RunContext& ctx, std::uint8_t chipCode, std::uint8_t biosVersion);

// Result: 0 for any failure (already shown) and for success outside sequence
// mode; 1 when a repeat action was carried out; after a success in sequence
// mode, the number of images still pending.
std::int32_t ProgramDevice(RunContext& ctx);

}  // namespace torvane
