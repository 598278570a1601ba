#pragma once
// The second half of an update run: match the found device with its image,
// lay out its memory, check the board, program it and give the verdict.

#include <cstdint>
#include <optional>
#include <string_view>

#include "bootloader/Context.h"

namespace torvane {

inline constexpr int ProgrammingModeReplyMs = 2000;
inline constexpr int RecordPolls = 251;
inline constexpr int RecordPollMs = 5;
inline constexpr int AccessFramePauseMs = 300;
inline constexpr int RepeatWaitMs = 1000;
inline constexpr int K80SettleMs = 2000;            // after the last module of a sequence on slot 9
inline constexpr std::uint8_t FirstRecordVersion = 8;
inline constexpr std::uint8_t LastRecordVersion = 31;
inline constexpr std::uint8_t FirstRefusedVersion = 33;
inline constexpr std::uint8_t FirstModernVersion = 5;   // 204 and the wide reservation from here on
inline constexpr std::uint8_t NoIdentityHardware = 2;

// What the updater knows of one chip code.
struct ChipInfo {
    std::uint8_t chipCode;
    const char* panelText;           // device panel text
    std::uint32_t flashTop;          // address units; the boot loader sits below it
    bool dspic;                      // 256-byte rows, two image bytes per address unit
    bool j10;                        // fixed 1088-byte reservation
    bool padToRow;                   // the last block is padded to a full row
};

// The chip table entry, or nothing for a code the updater does not know.
std::optional<ChipInfo> FindChip(std::uint8_t chipCode);

// Address unit, reservations and boot jump bytes for a chip and boot loader version.
void SetMemoryLayout(RunContext& ctx, std::uint8_t chipCode, std::uint8_t biosVersion);

// Result: 0 for any failure (already shown) and for success outside sequence
// mode; 1 when a repeat action was carried out; after a success in sequence
// mode, the number of images still pending.
std::int32_t ProgramDevice(RunContext& ctx);

}  // namespace torvane
