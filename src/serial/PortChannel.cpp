#include "serial/PortChannel.h"

#include <algorithm>
#include <iterator>

namespace torvane {

namespace {

constexpr int ValidIndexMin = 0;
constexpr unsigned MessageBoxOk = 0;  // one OK button, no icon
constexpr std::string_view ErrorCaption = "Error";

bool InRange(int index) { return index >= ValidIndexMin && index <= MaxPortIndex; }

// The slot of an index when it holds an open port, else nullptr.
PortSlot* OpenSlot(PortChannel& ch, int index) {
    if (!InRange(index)) return nullptr;
    PortSlot& slot = ch.PortTable[static_cast<std::size_t>(index)];
    return slot.open != 0 && slot.handle ? &slot : nullptr;
}

void CloseSlot(PortSlot& slot) {
    slot.open = 0;
    if (slot.handle) {
        slot.handle->close();
        slot.handle.reset();
    }
}

void Trace(PortChannel& ch, TraceDirection direction, std::span<const std::uint8_t> bytes) {
    if (ch.trace && !bytes.empty()) ch.trace(direction, bytes);
}

// One read of at most `into.size()` bytes; a failed read counts as none.
std::size_t ReadSome(PortChannel& ch, SerialDevice& device, std::span<std::uint8_t> into) {
    const long got = device.read(into);
    if (got <= 0) return 0;
    const auto n = std::min(static_cast<std::size_t>(got), into.size());
    Trace(ch, TraceDirection::Received, into.first(n));
    return n;
}

// The half-duplex line direction lives on RTS.
void SetDirection(bool transmit, SerialDevice& device) {
    const bool rtsOn = (RtsOnTransmit && transmit) || (!RtsOnTransmit && !transmit);
    device.setControlLine(ControlLine::Rts, rtsOn);
}

// The channel's parity and stop-bit codes (0 none, 1 odd, 2 even, 3 mark,
// 4 space; 0 one, 1 one and a half, 2 two) in the line's own terms.
std::optional<LineConfig> LineConfigOf(std::uint32_t baudRate, std::uint8_t parity, std::uint8_t stopBits,
                                       std::uint8_t byteSize) {
    constexpr Parity Parities[] = {Parity::None, Parity::Odd, Parity::Even, Parity::Mark, Parity::Space};
    constexpr StopBits Stops[] = {StopBits::One, StopBits::OneAndHalf, StopBits::Two};
    if (parity >= std::size(Parities) || stopBits >= std::size(Stops)) return std::nullopt;
    return LineConfig{.baudRate = baudRate,
                      .dataBits = byteSize,
                      .parity = Parities[parity],
                      .stopBits = Stops[stopBits],
                      .flow = FlowControl::None,
                      .inputQueueBytes = InputQueueBytes,
                      .outputQueueBytes = OutputQueueBytes};
}

PortSlot* FailOpen(PortChannel& ch, PortSlot& slot, std::string reason) {
    CloseSlot(slot);
    ch.lastOpenFailure = std::move(reason);
    return nullptr;
}

}  // namespace

int ShowMessageBox(PortChannel& ch, std::string_view text, std::string_view caption, unsigned flags) {
    return ch.host ? ch.host->ShowMessageBox(text, caption, flags) : 0;
}

PortSlot* OpenPort(PortChannel& ch, int index, std::uint32_t baudRate, std::uint8_t parity,
                   std::uint8_t stopBits, std::uint8_t byteSize, std::uint8_t halfDuplex) {
    if (!InRange(index)) {
        ch.lastOpenFailure = ComName(index) + " is outside COM1..COM" + std::to_string(MaxPortIndex + 1);
        return nullptr;
    }
    PortSlot& slot = ch.PortTable[static_cast<std::size_t>(index)];
    slot.index = index;
    // The old handle goes first: the device is opened exclusively.
    CloseSlot(slot);

    if (ch.system == nullptr) return FailOpen(ch, slot, "no serial ports on this system");
    OpenResult opened = ch.system->open(index);
    if (!opened.device) {
        return FailOpen(ch, slot, opened.reason.empty() ? ComName(index) + " cannot be opened" : opened.reason);
    }
    slot.handle = std::move(opened.device);
    SerialDevice& device = *slot.handle;
    if (!opened.notice.empty() && ch.notice) ch.notice(opened.notice);

    device.drain();

    const std::optional<LineConfig> config = LineConfigOf(baudRate, parity, stopBits, byteSize);
    if (!config || !device.configure(*config)) {
        ShowMessageBox(ch, ConfigureFailedText, ErrorCaption, MessageBoxOk);
        return FailOpen(ch, slot, std::string(ConfigureFailedText) + " " + ComName(index));
    }

    if (!device.setTimeouts({.writePerByteMs = static_cast<std::uint32_t>(WriteTimeoutPerByte.count()),
                             .writeConstantMs = static_cast<std::uint32_t>(WriteTimeoutConstant.count())})) {
        ShowMessageBox(ch, TimeoutsFailedText, ErrorCaption, MessageBoxOk);
        return FailOpen(ch, slot, std::string(TimeoutsFailedText) + " of " + ComName(index));
    }

    slot.HalfDuplex = halfDuplex;
    slot.open = 1;
    ch.lastOpenFailure.clear();
    return &slot;
}

void ClosePort(PortChannel& ch, int index) {
    if (PortSlot* slot = OpenSlot(ch, index)) CloseSlot(*slot);
}

int SetControlLines(PortChannel& ch, int index, int clear) {
    // A device without modem lines (NotSupported) is as good as one whose
    // lines were set: nothing downstream depends on them.
    if (PortSlot* slot = OpenSlot(ch, index)) {
        const bool on = clear == 0;
        slot->handle->setControlLine(ControlLine::Dtr, on);
        slot->handle->setControlLine(ControlLine::Rts, on);
    }
    return 0;
}

WriteResult WritePort(PortChannel& ch, int index, std::span<const std::uint8_t> bytes) {
    PortSlot* slot = OpenSlot(ch, index);
    if (slot == nullptr) return WriteRejected;
    SerialDevice& device = *slot->handle;
    const bool halfDuplex = slot->HalfDuplex != 0;

    if (halfDuplex) SetDirection(true, device);
    if (!device.write(bytes)) return WriteRejected;
    Trace(ch, TraceDirection::Sent, bytes);
    device.drain();
    if (!halfDuplex) return WriteAccepted;

    SetDirection(false, device);
    if (!AbsorbEcho) return WriteAccepted;

    // Our own bytes come back on a shared line; swallow them so they are not
    // taken for a reply. The scratch bounds each read, so a write longer than
    // the scratch is absorbed over several reads instead of overrunning it.
    std::array<std::uint8_t, EchoScratchSize> scratch{};
    std::size_t remaining = bytes.size();
    for (int attempt = 0; attempt < EchoAttempts && remaining > 0; ++attempt) {
        if (ch.clock) ch.clock->sleep(EchoStep);
        const std::size_t want = std::min<std::size_t>(remaining, scratch.size());
        remaining -= ReadSome(ch, device, std::span(scratch.data(), want));
    }
    return WriteAccepted;
}

FlushResult FlushPort(PortChannel& ch, std::int16_t index) {
    PortSlot* slot = OpenSlot(ch, index);
    if (slot == nullptr) return PortNotOpen;
    slot->handle->drain();
    return PortUsable;
}

SerialDevice* CurrentDevice(PortChannel& ch) {
    PortSlot* slot = OpenSlot(ch, ch.CurrentPort);
    return slot ? slot->handle.get() : nullptr;
}

std::uint16_t ReadCurrentPort(PortChannel& ch) {
    SerialDevice* device = CurrentDevice(ch);
    if (device == nullptr) return 0;
    return static_cast<std::uint16_t>(ReadSome(ch, *device, ch.ReceiveBuffer));
}

std::uint16_t DrainOnce(PortChannel& ch) {
    if (CurrentDevice(ch) == nullptr) return 0;
    std::fill_n(ch.ReceiveBuffer.begin(), DrainClearBytes, std::uint8_t{0});
    return ReadCurrentPort(ch);
}

void DrainInput(PortChannel& ch) {
    SerialDevice* device = CurrentDevice(ch);
    if (device == nullptr) return;
    while (ReadSome(ch, *device, ch.ReceiveBuffer) > 0) {
    }
}

std::chrono::microseconds LineTime(PortChannel& ch, std::size_t bytes) {
    const SerialDevice* d = CurrentDevice(ch);
    if (d == nullptr || !d->paced()) return std::chrono::microseconds{0};
    const auto bits = static_cast<long long>(bytes) * LineBitsPerByte;
    return std::chrono::microseconds{bits * 1'000'000 / PortBaudRate};
}

bool CurrentPortGone(PortChannel& ch) {
    const SerialDevice* d = CurrentDevice(ch);
    return d != nullptr && d->gone();
}

}  // namespace torvane
