#pragma once
// What goes on the wire to the boot loader: frame layouts, their checksums,
// the frames sent without acknowledgement, and the verdicts of a failed
// transmission. Acknowledged frames go through AckedLink.

#include <chrono>
#include <cstdint>
#include <span>
#include <string_view>

#include "bootloader/RunContext.h"

namespace torvane {

// Command bytes.
inline constexpr std::uint8_t WakeCodeStandard = 0xC2;  // 194
inline constexpr std::uint8_t WakeCodeUpgrade = 0xC5;   // 197
inline constexpr std::uint8_t WakeCodeVariant = 0xC6;   // 198
inline constexpr std::uint8_t EnterProgramming = 0xCC;  // 204
inline constexpr std::uint8_t EepromCommand = 0x40;     // 64
inline constexpr std::uint8_t AccessTextCommand = 0x00;
inline constexpr std::uint8_t Command4 = 0x04;

// Block frames are filled with this before they are built, so every byte not
// written explicitly carries it.
inline constexpr std::uint8_t FrameFill = 0xFF;
// Rows longer than this carry a two-byte length, high byte first.
inline constexpr std::uint32_t OneByteLengthMaxRow = 255;
inline constexpr int ShortHeaderLength = 4;  // 3 address bytes + 1 length byte
inline constexpr int LongHeaderLength = 5;   // 3 address bytes + 2 length bytes
// EEPROM frame: 64, index, value, then these two fixed bytes.
inline constexpr std::uint8_t EepromFrameByte3 = 1;
inline constexpr std::uint8_t EepromFrameByte4 = 0;
inline constexpr int EepromFrameLength = 5;  // without the checksum

inline constexpr std::string_view AccessText = "K3m9Tz7Qa2Wd5Hx";
inline constexpr int AccessTextFrameLength = 19;
inline constexpr int Command4FrameLength = 4;

// Acknowledged transmission (AckedLink).
inline constexpr std::chrono::milliseconds AckTimeout{2000};
inline constexpr int MaxTransmissions = 5;  // the first write and four resends

// Acknowledged transmission (AckedLink) and the run's failures: written,
// no answer, stopped by the user, refused five times, a boot loader the
// programming sequence does not support, and too much damage on the line to
// trust the result.
enum SendResult : std::int16_t {
    SendLineTooNoisy = -6,
    IncompatibleBootloader = -4,
    SendRefused = -3,
    SendUserAbort = -2,
    SendNoResponse = -1,
    SendOk = 0,
};

// Two's complement of the 8-bit sum of the bytes: the frame with it appended sums to 0.
std::uint8_t Checksum8(std::span<const std::uint8_t> bytes);
// Sum modulo 65536 of the bytes, each unsigned.
std::uint16_t Sum16(std::span<const std::uint8_t> bytes);

// 4 for rows up to 255 bytes (one length byte), 5 otherwise.
int FrameHeaderLength(std::uint32_t rowSize);

// Fills the whole buffer with `fill` and writes the header of a block frame:
// address bits 23..16, 15..8, 7..0, then the row size in the length field.
// Returns the header length; data goes from there. The buffer holds at least
// header + row + 1 bytes.
int StartBlockFrame(std::span<std::uint8_t> buffer, std::uint32_t address, std::uint32_t rowSize,
                    std::uint8_t fill = FrameFill);
// Overwrites the length field of a started block frame with `length`, in the
// one- or two-byte form that `rowSize` calls for.
void SetBlockLength(std::span<std::uint8_t> buffer, std::uint32_t rowSize, std::uint32_t length);

// A complete program block: header with length data.size(), then the data.
// Returns the frame length without checksum. data.size() <= rowSize.
int BuildBlockFrame(std::span<std::uint8_t> buffer, std::uint32_t address, std::uint32_t rowSize,
                    std::span<const std::uint8_t> data);

// The final block: a full row of `fill` with the tail at its end, each tail
// byte XOR tailMask (0 for a plain image). Returns header + rowSize.
// tail.size() <= rowSize.
int BuildFinalBlockFrame(std::span<std::uint8_t> buffer, std::uint32_t address, std::uint32_t rowSize,
                         std::uint8_t fill, std::span<const std::uint8_t> tail, std::uint8_t tailMask);

// One data-EEPROM byte; only the low 8 bits of the index go on the wire.
// Fills the buffer with 0xFF first. Returns 5 (without checksum).
int BuildEepromFrame(std::span<std::uint8_t> buffer, int index, std::uint8_t value);

// The access-text frame (0, 15, the text, 16-bit sum high byte first); no
// reply awaited. Returns WritePort's result.
[[nodiscard]] WriteResult SendAccessTextFrame(RunContext& ctx);
// The command-4 frame 04 00 00 04; no reply awaited. Returns WritePort's result.
[[nodiscard]] WriteResult SendCommand4Frame(RunContext& ctx);

// Reports the failure verdict for -1..-4 and -6 to the view and records the
// outcome; SendOk shows nothing.
void ShowErrorCode(RunContext& ctx, SendResult code);

}  // namespace torvane
