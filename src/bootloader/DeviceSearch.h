#pragma once
// The first half of an update run: reopen the chosen port, then wake the
// boot loader with a one-byte code until it answers.

#include <cstdint>

#include "bootloader/RunContext.h"

namespace torvane {

inline constexpr int WakeTries = 100;
inline constexpr int WakeReplyMs = 100;

// SearchDevice results.
inline constexpr std::int16_t SearchFound = 0;
inline constexpr std::int16_t SearchPortUnusable = -1;
inline constexpr std::int16_t SearchNotFound = -2;
inline constexpr std::int16_t SearchAborted = -3;

// Reopens CurrentPort with the boot loaders' line setting when it differs from
// OpenedPort; shows "Invalid Port Com" when the port cannot be used.
void ReopenPort(RunContext& ctx);

// The wake-up code of a product's wake variant: 198 for 1, 197 for 2, 194
// otherwise. (The START/STOP front end always wakes with 197.)
std::uint8_t WakeCode(std::uint8_t wakeVariant);

// 0 found (the front end stays busy), -1 port unusable, -2 no answer in 100
// tries, -3 stopped by the user. Shown through the context's view.
std::int16_t SearchDevice(RunContext& ctx);

}  // namespace torvane
