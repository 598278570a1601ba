#pragma once
// Who else has a serial device open, from /proc/<pid>/fd, so that a port held
// without a lock (a terminal left open, a modem manager probing a new adapter)
// is refused with the holders' names instead of sharing the module's answers.

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace torvane::posix {

struct PortHolder {
    pid_t pid = 0;
    std::string name;  // the process's command name
};

struct PortHolders {
    std::vector<PortHolder> named;  // other processes with the device open, by pid
    // Some processes (another user's) could not be looked into: one of them
    // may hold the device too.
    bool unreadable = false;
};

// The other processes that hold `device` open. This process does not count,
// nor does a process holding the controller side of the same pseudo-terminal
// (it is the far end of the line, not a rival for it).
PortHolders FindPortHolders(const std::filesystem::path& device, const std::filesystem::path& procRoot = "/proc");

// "minicom (pid 4121)", "minicom (pid 4121) and screen (pid 977)", ...
std::string HolderList(const std::vector<PortHolder>& holders);

}  // namespace torvane::posix
