#pragma once
// The operating system's serial device, one small operation per call, so the
// port channel can run its open sequence step by step and a test can fail any
// single step. One implementation per OS (posix/ today), plus a test fake.

#include <chrono>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace torvane {

// Line settings as the channel reads, edits and writes them back.
struct LineSettings {
    std::uint32_t baudRate = 0;
    bool binary = false;
    bool parityCheck = false;
    bool ctsFlow = false;
    bool dsrFlow = false;
    bool dtrControl = false;      // driver raises DTR by itself
    bool dsrSensitivity = false;
    bool txContinueOnXoff = false;
    bool outX = false;            // software flow control, output
    bool inX = false;             // software flow control, input
    bool errorChar = false;
    bool nullStrip = false;
    bool rtsControl = false;      // driver drives RTS by itself (handshake)
    bool abortOnError = false;
    std::uint8_t byteSize = 8;
    std::uint8_t parity = 0;      // 0 none
    std::uint8_t stopBits = 0;    // 0 one, 1 one and a half, 2 two
};

// Read and write time-outs in milliseconds. ReadInterval = MAXDWORD with both
// read totals 0 means "a read returns at once with what is there". Write
// totals both 0 mean a write is not bounded in time.
inline constexpr std::uint32_t ReadIntervalReturnAtOnce = 0xFFFFFFFF;

struct Timeouts {
    std::uint32_t readInterval = 0;
    std::uint32_t readTotalMultiplier = 0;
    std::uint32_t readTotalConstant = 0;
    std::uint32_t writeTotalMultiplier = 0;
    std::uint32_t writeTotalConstant = 0;
};

enum class ModemLine { Dtr, Rts };

enum class LineResult { Done, NotSupported, Failed };

class SerialDevice {
public:
    virtual ~SerialDevice() = default;

    // Returns once every byte written so far has left the driver.
    virtual bool drain() = 0;
    virtual bool readLineSettings(LineSettings& out) = 0;
    virtual bool writeLineSettings(const LineSettings& settings) = 0;
    // Driver queue sizes; a no-op success where the OS has no such setting.
    virtual bool setQueueSizes(std::uint32_t input, std::uint32_t output) = 0;
    virtual bool readTimeouts(Timeouts& out) = 0;
    virtual bool writeTimeouts(const Timeouts& timeouts) = 0;
    // One modem line at a time. A device without modem lines (a
    // pseudo-terminal) answers NotSupported, which is not a failure.
    virtual LineResult setModemLine(ModemLine line, bool on) = 0;
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
    virtual void close() = 0;
};

// Why an open failed, in words a user can act on (for example the group a
// user must join), kept beside the product's own short messages.
struct OpenResult {
    std::unique_ptr<SerialDevice> device;  // null on failure
    std::string reason;
};

// Opens a port by its index (index n is "COM" + (n + 1)) exclusively: a
// second open of the same device, by anyone, fails.
class SerialPorts {
public:
    virtual ~SerialPorts() = default;
    virtual OpenResult open(int portIndex) = 0;
};

}  // namespace torvane
