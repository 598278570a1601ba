#pragma once
// Writing the selected image into the device: boot jump patch, one-row
// program blocks, the last block, the final block below the boot loader with
// the image's tail bytes, then the EEPROM one byte per frame.

#include <cstdint>
#include <string_view>

#include "bootloader/Context.h"

namespace torvane {

// True when the active image and layout keep the invariants the transfer
// relies on: tail no longer than a row, image at least as long as the boot
// jump bytes. The run refuses other images before it sends anything.
bool TransferInvariantsHold(const RunContext& ctx);

// Beside " not Response " when the device went away in the middle of the transfer.
inline constexpr std::string_view DisconnectedText = "the device was disconnected";

// How many times a block inside the loop that got no reply is sent again.
// Silence means the frame or its answer was lost; writing the same row twice
// does no harm, while passing it over could leave a hole in the flash.
inline constexpr int SilentBlockResends = 1;

// 0 on success; otherwise the transmission result, already shown with
// ShowErrorCode. Success means every frame sent was acknowledged: a block
// inside the loop that gets no reply is sent again (SilentBlockResends), and
// silence after that ends the transfer with -1 like silence anywhere else.
std::int16_t TransferImage(RunContext& ctx);

}  // namespace torvane
