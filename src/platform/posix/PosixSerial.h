#pragma once
// Serial ports on a POSIX system: a terminal device opened raw, non-blocking
// and exclusively. Exclusive means both TIOCEXCL (refuses later opens by
// non-root users) and an advisory flock (refuses a second open by anyone who
// also locks, root included).

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <span>
#include <string>

#include "platform/SerialDevice.h"

namespace torvane::posix {

class PosixSerialDevice : public SerialDevice {
public:
    // Takes ownership of an open, locked terminal descriptor; with
    // `restoreLatency` it turns the driver's low latency off again on closing.
    explicit PosixSerialDevice(int fd, bool restoreLatency = false);
    ~PosixSerialDevice() override;
    PosixSerialDevice(const PosixSerialDevice&) = delete;
    PosixSerialDevice& operator=(const PosixSerialDevice&) = delete;

    bool drain() override;
    // Raw mode with the given frame; false for a setting a terminal cannot
    // run (a baud rate without a speed code, 1.5 stop bits, mark or space
    // parity, more than 8 data bits).
    bool configure(const LineConfig& config) override;
    // The write time-outs bound every later write().
    bool setTimeouts(const SerialTimeouts& timeouts) override;
    LineResult setControlLine(ControlLine line, bool on) override;
    bool write(std::span<const std::uint8_t> bytes) override;
    // 0 when nothing is waiting; -1 on failure (EIO: the device went away).
    long read(std::span<std::uint8_t> into) override;
    // True when input waits; false at the limit, and false at once when the
    // device hung up or failed, so a caller's wait does not spin.
    bool waitReadable(std::chrono::milliseconds limit) override;
    bool gone() const override { return gone_; }
    // False for a pseudo-terminal.
    bool paced() const override { return paced_; }
    void close() override;

    int fd() const { return fd_; }

private:
    bool gone_ = false;  // the device hung up or failed with EIO
    int fd_ = -1;
    bool restoreLatency_ = false;
    bool paced_ = true;
    SerialTimeouts timeouts_{};
};

// Opens a device path as a serial port and asks its driver for low latency.
// A device another process holds open is refused, naming the holders where
// they can be read. On failure the reason says what the user can do about it
// (the udev rule to install or the group to join, the program holding the
// port). The notice names an adapter that stays slow; `sysRoot` is where its
// latency timer is read (/sys).
OpenResult OpenSerialDevice(const std::filesystem::path& device, const std::filesystem::path& sysRoot = "/sys");

// Port index -> device through the port map (PortMap.h), then OpenSerialDevice.
// A slow adapter's notice comes with its first open only.
class PosixSerialPorts : public SerialPorts {
public:
    explicit PosixSerialPorts(std::filesystem::path sysRoot = "/sys") : sysRoot_(std::move(sysRoot)) {}
    OpenResult open(int portIndex) override;
    // A device given by its path on the command line, with no COM name of its
    // own, under the first free COM name (one without a device) for the rest
    // of this process; the same device keeps the name it got. Nothing when
    // every name is taken.
    std::optional<int> lend(const std::filesystem::path& device);
    // The device a lent name opens, if it is lent.
    std::optional<std::filesystem::path> lent(int portIndex) const;

private:
    std::filesystem::path sysRoot_;
    std::mutex noticedLock_;
    std::set<std::string> noticed_;  // devices whose notice was given
    mutable std::mutex mutex_;
    std::map<int, std::filesystem::path> lent_;
};

}  // namespace torvane::posix
