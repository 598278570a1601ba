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

// A transfer that has resent this many silent blocks gives up at the next
// silence: a module that answers later than the wait, or a line that loses
// that much, would otherwise keep a run going for many minutes.
inline constexpr int MaxSilencesPerTransfer = 8;

// After a resent block is acknowledged, the run listens as long again as the
// first copy has been waiting, plus this margin, for a second answer: the
// late one of the two copies, which must not be counted for the next frame.
inline constexpr int LateDuplicateMarginMs = 250;

// 0 on success; otherwise the transmission result, already shown with
// ShowErrorCode. Success means every frame sent was acknowledged: a block
// inside the loop that gets no reply is sent again (SilentBlockResends, at
// most MaxSilencesPerTransfer times in one transfer), and silence after that
// ends the transfer with -1 like silence anywhere else. Every answer is
// counted for the frame it belongs to: the next frame goes out only once a
// resent block's second answer has come or its time has passed.
std::int16_t TransferImage(RunContext& ctx);

}  // namespace torvane
