#pragma once
// A pseudo-terminal pair: the far end of a serial line on this machine. The
// simulated boot loader holds the controller side; the updater opens the
// device path like any serial port.

#include <string>

namespace torvane::posix {

class PseudoTerminal {
public:
    // Creates the pair with the controller side raw and non-blocking.
    // Throws std::runtime_error when the system has no pseudo-terminals left.
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    int controllerFd() const { return controller_; }
    const std::string& devicePath() const { return path_; }
    // Closes the controller side: the device end sees a hang-up.
    void hangUp();

private:
    int controller_ = -1;
    int keepOpen_ = -1;  // a device-side descriptor, so data written before the updater opens is kept
    std::string path_;
};

}  // namespace torvane::posix
