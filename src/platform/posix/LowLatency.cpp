#include "platform/posix/LowLatency.h"

#include <linux/serial.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <charconv>
#include <fstream>

namespace torvane::posix {

LowLatency RequestLowLatency(int fd) {
    serial_struct info{};
    // A pseudo-terminal or a driver without serial settings answers ENOTTY
    // (or EINVAL): there is no latency to lower.
    if (::ioctl(fd, TIOCGSERIAL, &info) != 0) return errno == ENOTTY || errno == EINVAL ? LowLatency::NotOffered : LowLatency::Refused;
    if ((info.flags & ASYNC_LOW_LATENCY) != 0) return LowLatency::AlreadyOn;
    info.flags |= ASYNC_LOW_LATENCY;
    if (::ioctl(fd, TIOCSSERIAL, &info) != 0) return LowLatency::Refused;
    return LowLatency::Taken;
}

void RestoreLatency(int fd) {
    serial_struct info{};
    if (::ioctl(fd, TIOCGSERIAL, &info) != 0) return;
    info.flags &= ~ASYNC_LOW_LATENCY;
    ::ioctl(fd, TIOCSSERIAL, &info);
}

std::optional<unsigned> LatencyTimerMs(const std::filesystem::path& sysRoot, std::string_view ttyName) {
    std::ifstream in(sysRoot / "class" / "tty" / std::string(ttyName) / "device" / "latency_timer");
    std::string text;
    if (!in || !std::getline(in, text)) return std::nullopt;
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    unsigned ms = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), ms);
    if (ec != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    return ms;
}

std::string SlowAdapterNotice(LowLatency request, std::optional<unsigned> timerMs, const std::string& shownDevice) {
    if (request == LowLatency::Taken || request == LowLatency::AlreadyOn) return {};
    if (!timerMs || *timerMs <= LowLatencyTimerMs) return {};
    return shownDevice + " waits up to " + std::to_string(*timerMs) +
           " ms before it passes on each answer, and its driver would not lower that: install the udev rule " +
           std::string(UdevRuleName) + " (it sets the latency timer to 1 ms) and plug the adapter in again";
}

}  // namespace torvane::posix
