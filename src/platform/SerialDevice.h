#pragma once
// The operating system's serial device, one small operation per call, so the
// port channel can run its open sequence step by step and a test can fail any
// single step. The settings are the line's own terms (baud, frame, flow
// control, control lines), not any one system's structures; each
// implementation maps them onto its system. One implementation per OS
// (posix/ today), plus a test fake.

#include <chrono>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace torvane {

enum class Parity { None, Odd, Even, Mark, Space };
enum class StopBits { One, OneAndHalf, Two };
enum class FlowControl { None, RtsCts, XonXoff };

// How bytes are framed on the line, and the driver queues behind it.
struct LineConfig {
    std::uint32_t baudRate = 0;
    std::uint8_t dataBits = 8;  // 5..8
    Parity parity = Parity::None;
    StopBits stopBits = StopBits::One;
    FlowControl flow = FlowControl::None;
    // Queue sizes the driver is asked for; a system that sizes its own
    // queues leaves them to itself.
    std::uint32_t inputQueueBytes = 0;
    std::uint32_t outputQueueBytes = 0;
};

// Reads never wait: read() hands over what has arrived, possibly nothing.
// A write may take up to writePerByteMs for each byte plus writeConstantMs;
// both 0 leave a write unbounded in time.
struct SerialTimeouts {
    std::uint32_t writePerByteMs = 0;
    std::uint32_t writeConstantMs = 0;
};

enum class ControlLine { Dtr, Rts };

enum class LineResult { Done, NotSupported, Failed };

class SerialDevice {
public:
    virtual ~SerialDevice() = default;

    // Returns once every byte written so far has left the driver.
    virtual bool drain() = 0;
    // Raw bytes in both directions with the given frame, nothing translated
    // or echoed; false for a setting the device cannot run (and then the
    // line is as it was, or at least not claimed to be what was asked).
    virtual bool configure(const LineConfig& config) = 0;
    virtual bool setTimeouts(const SerialTimeouts& timeouts) = 0;
    // One control line at a time. A device without control lines (a
    // pseudo-terminal) answers NotSupported, which is not a failure.
    virtual LineResult setControlLine(ControlLine line, bool on) = 0;
    // Writes the bytes, bounded by the write time-outs. A write cut short by
    // its time-out still counts as done (true); false when the device failed.
    virtual bool write(std::span<const std::uint8_t> bytes) = 0;
    // Never blocks: the bytes already received (possibly none), or -1 on failure.
    virtual long read(std::span<std::uint8_t> into) = 0;
    // Waits up to `limit` for input; true as soon as there is some.
    virtual bool waitReadable(std::chrono::milliseconds limit) = 0;
    // True once the device has gone away (unplugged, line hung up): nothing
    // more will come from it.
    virtual bool gone() const = 0;
    // True for a line that carries bytes at its baud rate, so that a byte
    // written now reaches the far end only after its line time; false for a
    // device with no wire (a pseudo-terminal), where bytes cross at once.
    virtual bool paced() const = 0;
    virtual void close() = 0;
};

// Why an open failed, in words a user can act on (for example the group a
// user must join), kept beside the product's own short messages.
struct OpenResult {
    std::unique_ptr<SerialDevice> device;  // null on failure
    std::string reason;
    // With an opened device: something the user should hear about it once
    // (an adapter that will stay slow, and how to fix that); usually empty.
    std::string notice = {};
};

// Opens a port by its index (index n is "COM" + (n + 1)) exclusively: a
// second open of the same device, by anyone, fails.
class SerialPorts {
public:
    virtual ~SerialPorts() = default;
    virtual OpenResult open(int portIndex) = 0;
};

}  // namespace torvane
