#pragma once
// The first half of an update run: reopen the chosen port, then wake the
// boot loader with a one-byte code until it answers.

#include <chrono>
#include <cstdint>

#include "bootloader/RunContext.h"

namespace torvane {

inline constexpr int WakeTries = 100;
inline constexpr std::chrono::milliseconds WakeReply{100};

// SearchDevice: a boot loader answered, the port cannot be used, none
// answered, or the user stopped the search.
enum SearchResult : std::int16_t { SearchAborted = -3, SearchNotFound = -2, SearchPortUnusable = -1, SearchFound = 0 };

// Reopens CurrentPort with the boot loaders' line setting when it differs from
// OpenedPort; shows "Invalid Port Com" when the port cannot be used.
void ReopenPort(RunContext& ctx);

// The wake-up code of a product's wake variant: 198 for 1, 197 for 2, 194
// otherwise. (The START/STOP front end always wakes with 197.)
std::uint8_t WakeCode(std::uint8_t wakeVariant);

// SearchFound (the front end stays busy), SearchPortUnusable, SearchNotFound
// after 100 unanswered tries or a wake-up the port would not write, or
// SearchAborted. Shown through the context's view.
[[nodiscard]] SearchResult SearchDevice(RunContext& ctx);

}  // namespace torvane
