#pragma once
// Whether the selected image suits the board the boot loader describes.

#include <cstdint>

#include "bootloader/Context.h"

namespace torvane {

// The rule alone: image hardware/preparation codes against the device's.
// An image for hardware 0 or 255, or a device without identity, always suits.
bool ImageSuitsBoard(std::uint8_t imageHardware, std::uint8_t imagePreparation, std::uint8_t deviceHardware,
                     std::uint8_t devicePreparation, bool identitySeen);

// Applies the rule to the active image and the device identity. When they do
// not suit, shows the warning ("%s - Preparation %x", "Warning!!",
// "not suitable apparatus") and returns false; nothing has been sent then.
bool CheckSuitability(RunContext& ctx);

}  // namespace torvane
