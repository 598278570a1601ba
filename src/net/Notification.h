#pragma once
// The verdict of each run, as a code for whoever listens (the UDP service).

#include <cstdint>
#include <functional>

namespace torvane {

inline constexpr std::uint8_t NotifyFailure = 0;
inline constexpr std::uint8_t NotifySuccess = 1;

// Receives NotifySuccess for a success verdict and NotifyFailure for a failure.
using NotificationHook = std::function<void(std::uint8_t code)>;

}  // namespace torvane
