#pragma once
// Whether the selected image suits the board the boot loader describes.

#include <cstdint>
#include <string>
#include <string_view>

#include "bootloader/RunContext.h"

namespace torvane {

// The rule alone: image hardware/preparation codes against the device's.
// An image for hardware 0 or 255, or a device without identity, always suits.
bool ImageSuitsBoard(std::uint8_t imageHardware, std::uint8_t imagePreparation, std::uint8_t deviceHardware,
                     std::uint8_t devicePreparation, bool identitySeen);

// The verdict of an image that does not suit the board: the image's board
// name and preparation code, "<board> - Preparation <code in hex>".
std::string NotSuitableText(std::string_view boardName, std::uint8_t imagePreparation);

// Applies the rule to the active image and the device identity. When they do
// not suit, shows the warning ("%s - Preparation %x", "Warning!!",
// "not suitable apparatus") and returns false; nothing has been sent then.
bool CheckSuitability(RunContext& ctx);

}  // namespace torvane
