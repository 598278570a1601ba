#pragma once
// Everything one updater holds while it runs: the port channel, the receiver,
// the identity the device reported, the image catalogue, the transmit buffer,
// the memory layout, and the Presenter's views. The free functions of the
// update run take it by reference; a GUI owns exactly one, a test builds a
// fresh one per case.

#include <array>
#include <cstdint>

#include "bootloader/DeviceIdentity.h"
#include "bootloader/EventPump.h"
#include "bootloader/MemoryLayout.h"
#include "images/ImageTable.h"
#include "serial/PortChannel.h"
#include "ui/Views.h"

namespace torvane {

inline constexpr std::size_t FrameBufferSize = 300;

// How the last run ended, for callers that need more than the words on the
// screen (the CLI's exit code). Set where the verdict is shown.
enum class Outcome {
    None,
    Programmed,
    RepeatDone,        // sequence mode: the slot was done already, its repeat action ran
    PortUnusable,
    NotFound,
    Aborted,
    NotAcknowledged,   // no reply within the wait
    Refused,           // refused five times (checksum)
    Incompatible,      // boot loader version not supported
    UnknownDevice,
    NoImage,           // no image for the chip, or too big for it
    NotSuitable,
};

struct Context {
    PortChannel port;
    ReceiverState receiver;
    DeviceIdentity identity;
    ImageCatalog images;
    std::array<std::uint8_t, FrameBufferSize> FrameBuffer{};
    MemoryLayout layout;
    std::uint8_t WakeVariant = 0;
    std::uint8_t SequenceMode = 0;
    Presenter presenter;
    EventPump* pump = nullptr;
    Outcome outcome = Outcome::None;
};

}  // namespace torvane
