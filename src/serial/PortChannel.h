#pragma once
// The serial channel: one slot per port index, the chosen and the opened port,
// the one shared receive buffer, and the port operations of an update run.
// One convention for their results: an operation that can fail returns a
// small enum whose values are the channel's own codes, and must be looked at
// ([[nodiscard]]); a read returns the number of bytes it got, 0 for none or a
// failed read; OpenPort returns the slot or nothing.

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "formats/ComName.h"
#include "platform/Clock.h"
#include "platform/SerialDevice.h"

namespace torvane {

inline constexpr std::uint32_t PortBaudRate = 115200;
inline constexpr std::uint8_t NoParity = 0;
inline constexpr std::uint8_t TwoStopBits = 2;
inline constexpr std::uint8_t EightDataBits = 8;
inline constexpr std::size_t ReceiveBufferSize = 3072;
// A start bit, eight data bits and two stop bits on the wire.
inline constexpr int LineBitsPerByte = 11;
// The boxes an opening shows when the driver refuses the line settings.
inline constexpr std::string_view ConfigureFailedText = "Unable to configure the serial port";
inline constexpr std::string_view TimeoutsFailedText = "Unable to set the time-out parameters";
inline constexpr std::size_t DrainClearBytes = 3000;     // DrainOnce clears this much, not all
inline constexpr std::size_t EchoScratchSize = 3000;     // largest half-duplex write
inline constexpr std::uint32_t InputQueueBytes = 32768;
inline constexpr std::uint32_t OutputQueueBytes = 9216;
// A write may take this long for each byte, plus the constant, before the
// driver gives up on it.
inline constexpr std::chrono::milliseconds WriteTimeoutPerByte{10};
inline constexpr std::chrono::milliseconds WriteTimeoutConstant{1000};
inline constexpr int EchoAttempts = 100;
inline constexpr std::chrono::milliseconds EchoStep{5};
inline constexpr bool AbsorbEcho = true;
inline constexpr bool RtsOnTransmit = true;

// WritePort: the bytes went out, or the slot is closed or the write failed.
enum WriteResult : std::int32_t { WriteRejected = 0, WriteAccepted = 2 };
// FlushPort: the port is open and usable, or it is not open.
enum FlushResult : std::int16_t { PortNotOpen = -2, PortUsable = 0 };

struct PortSlot {
    std::int32_t index = 0;
    std::uint8_t HalfDuplex = 0;
    std::int32_t open = 0;
    std::unique_ptr<SerialDevice> handle;
};

using PortTable = std::array<PortSlot, MaxPortIndex + 1>;

// The application's modal message box; blocks until the user answers and
// returns the button pressed.
class MessageBoxHost {
public:
    virtual ~MessageBoxHost() = default;
    virtual int ShowMessageBox(std::string_view text, std::string_view caption, unsigned flags) = 0;
};

enum class TraceDirection { Sent, Received };

struct PortChannel {
    SerialPorts* system = nullptr;
    // Lets the echo of a half-duplex write arrive; without one the echo is
    // read back at once, unwaited.
    Clock* clock = nullptr;
    MessageBoxHost* host = nullptr;
    torvane::PortTable PortTable;  // qualified: the member shares the type's name
    std::int16_t CurrentPort = 0;
    std::int16_t OpenedPort = 0;
    std::array<std::uint8_t, ReceiveBufferSize> ReceiveBuffer{};
    // Why the last open of a port failed, for the user beside "Invalid Port Com".
    std::string lastOpenFailure;
    // Hears what the system has to say about a port it opened (an adapter
    // that will stay slow); without it the remark is dropped.
    std::function<void(std::string_view)> notice;
    // Sees every byte written to and read from a port (torvane-cli --trace).
    std::function<void(TraceDirection, std::span<const std::uint8_t>)> trace;
};

// The slot, open and configured, or nullptr with lastOpenFailure saying why.
// Reopening an open slot closes its old handle first. Shows a message box when
// the line settings (a parity or stop-bit code outside 0..4 / 0..2 included)
// or the time-outs cannot be applied.
PortSlot* OpenPort(PortChannel& ch, int index, std::uint32_t baudRate, std::uint8_t parity,
                   std::uint8_t stopBits, std::uint8_t byteSize, std::uint8_t halfDuplex);
void ClosePort(PortChannel& ch, int index);
// Drops (clear != 0) or raises DTR, then RTS. Always 0.
int SetControlLines(PortChannel& ch, int index, int clear);
// WriteAccepted when the bytes were written, WriteRejected when the slot is
// closed or the write failed.
[[nodiscard]] WriteResult WritePort(PortChannel& ch, int index, std::span<const std::uint8_t> bytes);
// PortUsable when the port is open and usable, PortNotOpen otherwise.
[[nodiscard]] FlushResult FlushPort(PortChannel& ch, std::int16_t index);
// One read of CurrentPort into ReceiveBuffer after clearing its first 3000 bytes.
std::uint16_t DrainOnce(PortChannel& ch);
// Reads and discards until a read returns nothing.
void DrainInput(PortChannel& ch);
// One non-blocking read of CurrentPort into ReceiveBuffer; 0 when closed or failed.
[[nodiscard]] std::uint16_t ReadCurrentPort(PortChannel& ch);
// The open device of CurrentPort, or nullptr.
SerialDevice* CurrentDevice(PortChannel& ch);
// The least time `bytes` written to CurrentPort now take to reach the far
// end: their line time at PortBaudRate, or zero for a device without a wire
// (or no open port).
std::chrono::microseconds LineTime(PortChannel& ch, std::size_t bytes);
// True when CurrentPort is open but its device has gone away (unplugged).
bool CurrentPortGone(PortChannel& ch);
int ShowMessageBox(PortChannel& ch, std::string_view text, std::string_view caption, unsigned flags);

}  // namespace torvane
