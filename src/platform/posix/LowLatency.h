#pragma once
// A USB-serial adapter hands received bytes on only when its buffer fills or
// its latency timer runs out (16 ms by default on FTDI chips), and every block
// of an update waits for one answer. The driver's low-latency mode drops that
// wait; the updater asks for it while it holds the port and gives the old
// setting back on closing.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace torvane::posix {

inline constexpr unsigned LowLatencyTimerMs = 1;  // what the udev rule sets, and what low latency means
inline constexpr std::string_view UdevRuleName = "70-torvane-serial.rules";

enum class LowLatency {
    Taken,       // the driver runs low latency now; restore on close
    AlreadyOn,   // it did already; nothing to restore
    NotOffered,  // not a serial driver that has the setting (a pseudo-terminal): nothing to do
    Refused,     // the driver has the setting but would not change it
};

// Asks the driver behind `fd` for low latency.
LowLatency RequestLowLatency(int fd);
// Turns low latency off again after a Taken request.
void RestoreLatency(int fd);

// The latency timer of the USB adapter behind the tty `ttyName` (ttyUSB0), in
// milliseconds, from <sysRoot>/class/tty/<ttyName>/device/latency_timer;
// nothing for a port without one.
std::optional<unsigned> LatencyTimerMs(const std::filesystem::path& sysRoot, std::string_view ttyName);

// What to tell the user when the adapter will stay slow: the driver did not
// take low latency and its timer is above 1 ms. Empty otherwise.
std::string SlowAdapterNotice(LowLatency request, std::optional<unsigned> timerMs, const std::string& shownDevice);

}  // namespace torvane::posix
