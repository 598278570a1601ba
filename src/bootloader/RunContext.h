#pragma once
// Everything one update run holds: the port channel, the receiver, the
// identity the device reported, the image catalogue, the transmit buffer, the
// memory layout, the pump it waits with and the view it reports to. The free
// functions of the update run take it by reference. A front end owns one
// (ui/FrontEndContext.h adds its windows' controls); a test builds a fresh one per case.

#include <array>
#include <cstdint>
#include <optional>

#include "bootloader/DeviceIdentity.h"
#include "bootloader/EventPump.h"
#include "bootloader/MemoryLayout.h"
#include "images/ImageTable.h"
#include "serial/PortChannel.h"
#include "bootloader/RunView.h"

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
    NoisyLine,         // written, but through too much damage to trust it
};

// The acknowledged frames of a run, for its record: frames sent for the
// first time, sent again (after a refusal, a silence, or an answer in doubt),
// refusals received, and the anomalies the transfer met on the line.
struct FrameTally {
    int sent = 0;
    int resent = 0;
    int refused = 0;
    int anomalies = 0;
};

struct RunContext {
    RunContext() = default;
    RunContext(const RunContext&) = delete;
    RunContext& operator=(const RunContext&) = delete;
    virtual ~RunContext() = default;

    PortChannel port;
    ReceiverState receiver;
    DeviceIdentity identity;
    ImageCatalog images;
    std::array<std::uint8_t, FrameBufferSize> FrameBuffer{};
    MemoryLayout layout;
    std::uint8_t WakeVariant = 0;
    // The byte a search sends to wake the boot loader; the front end sets it
    // as it is made (and from the product's wake variant as it is set up).
    std::uint8_t wakeCode = 0;
    std::uint8_t SequenceMode = 0;
    EventPump* pump = nullptr;
    Outcome outcome = Outcome::None;
    FrameTally tally;  // cleared by each start button
    // When a command went out whose answer did not come within its wait (a
    // 204 while the device erases): the answer may still arrive, and must not
    // be taken for the next frame's. The transfer takes it over.
    std::optional<Clock::TimePoint> answerOwedSince;

    // The view the run reports to. Precondition for every run operation: a
    // view is installed.
    RunView& runView() { return *view; }
    RunView* view = nullptr;
};

// What a run reaches outside itself: the ports it opens, the pump it waits
// with, and who hears what the system says about a port. Every front end,
// the station, the benches and the tests wire their contexts with WireRun.
struct RunWiring {
    SerialPorts& ports;
    EventPump& pump;
    Clock* clock = nullptr;          // the port's settling waits; none skips them (a fake line)
    MessageBoxHost* host = nullptr;  // the port's message boxes; none shows nothing and answers 0
    std::function<void(std::string_view)> notice = {};  // may be empty
    std::function<void(TraceDirection, std::span<const std::uint8_t>)> trace = {};  // every byte; may be empty
};
void WireRun(RunContext& ctx, RunWiring wiring);

}  // namespace torvane
