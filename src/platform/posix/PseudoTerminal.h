#pragma once
// A pseudo-terminal pair: the far end of a serial line on this machine. The
// simulated boot loader holds the controller side; the updater opens the
// device path like any serial port.

#include <string>

#include "platform/FarEnd.h"

namespace torvane::posix {

class PseudoTerminal final : public FarEnd {
public:
    // Creates the pair with the controller side raw and non-blocking.
    // Throws std::runtime_error when the system has no pseudo-terminals left.
    PseudoTerminal();
    ~PseudoTerminal() override;
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    int controllerFd() const { return controller_; }
    const std::string& devicePath() const override { return path_; }
    FarEndWait waitInput(std::chrono::milliseconds limit) override;
    long read(std::span<std::uint8_t> into) override;
    long write(std::span<const std::uint8_t> bytes) override;
    void waitWritable(std::chrono::milliseconds limit) override;
    void interrupt() override;
    // Closes the controller side: the device end sees a hang-up.
    void hangUp() override;

private:
    int controller_ = -1;
    int keepOpen_ = -1;  // a device-side descriptor, so data written before the updater opens is kept
    int wakeRead_ = -1;  // a pipe that interrupts waitInput
    int wakeWrite_ = -1;
    std::string path_;
};

}  // namespace torvane::posix
