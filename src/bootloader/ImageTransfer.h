#pragma once
// Writing the selected image into the device: boot jump patch, one-row
// program blocks, the last block, the final block below the boot loader with
// the image's tail bytes, then the EEPROM one byte per frame.

#include <cstdint>
#include <string_view>

#include "bootloader/Frames.h"
#include "bootloader/RunContext.h"

namespace torvane {

// True when the active image and layout keep the invariants the transfer
// relies on: tail no longer than a row, image at least as long as the boot
// jump bytes. The run refuses other images before it sends anything.
bool TransferInvariantsHold(const RunContext& ctx);

// Beside " not Response " when the device went away in the middle of the transfer.
inline constexpr std::string_view DisconnectedText = "the device was disconnected";

// Shows why a transfer ended (ShowErrorCode), and beside it that the device
// went away if it did, or that the line was too noisy.
void ShowTransferFailure(RunContext& ctx, SendResult r);

// SendOk on success; otherwise the transmission result, already shown with
// ShowErrorCode. Every frame goes through one AckedLink: success means every
// frame was acknowledged by an answer of its own, silence after a frame's
// one resend ends the transfer with SendNoResponse as does too much silence
// in it or a write the port refused, and too many anomalies end it with
// SendLineTooNoisy (NoisyLineText).
[[nodiscard]] SendResult TransferImage(RunContext& ctx);

}  // namespace torvane
