#include "platform/posix/PosixSerial.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "platform/posix/LowLatency.h"
#include "platform/posix/PortHolders.h"
#include "platform/posix/PortMap.h"
#include "formats/ComName.h"

namespace torvane::posix {

namespace fs = std::filesystem;

namespace {

// baud rate, the system's speed code
struct SpeedCode {
    std::uint32_t baud;
    speed_t code;
};
constexpr SpeedCode Speeds[] = {
    {300, B300},       {600, B600},       {1200, B1200},     {2400, B2400},
    {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600},   {115200, B115200}, {230400, B230400},
};

constexpr tcflag_t FrameBits = CSIZE | CSTOPB | PARENB | PARODD | CRTSCTS | CLOCAL | CREAD | HUPCL;
constexpr std::uint8_t FewestDataBits = 5;
constexpr std::uint8_t MostDataBits = 8;

std::optional<speed_t> SpeedOf(std::uint32_t baud) {
    for (const auto& s : Speeds)
        if (s.baud == baud) return s.code;
    return std::nullopt;
}

tcflag_t SizeBits(std::uint8_t dataBits) {
    switch (dataBits) {
        case 5: return CS5;
        case 6: return CS6;
        case 7: return CS7;
        default: return CS8;
    }
}

// Who may open a device: the group that owns it, when that group may read and
// write it.
std::optional<std::string> GroupAllowedOn(const fs::path& device) {
    struct stat st {};
    if (::stat(device.c_str(), &st) != 0) return std::nullopt;
    if ((st.st_mode & (S_IRGRP | S_IWGRP)) != (S_IRGRP | S_IWGRP)) return std::nullopt;
    long size = ::sysconf(_SC_GETGR_R_SIZE_MAX);
    std::vector<char> buffer(static_cast<std::size_t>(size > 0 ? size : 16384));
    struct group entry {};
    struct group* found = nullptr;
    if (::getgrgid_r(st.st_gid, &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr)
        return std::nullopt;
    return std::string(found->gr_name);
}

// The device a path stands for: a port map entry is a link, and the user
// knows the device it points at.
fs::path ShownPath(const fs::path& device) {
    std::error_code ec;
    if (!fs::is_symlink(device, ec)) return device;
    fs::path target = fs::read_symlink(device, ec);
    if (ec) return device;
    return target.is_absolute() ? target : device.parent_path() / target;
}

std::string BusyReason(const std::string& shown, const PortHolders& holders) {
    if (!holders.named.empty()) return shown + " is open in " + HolderList(holders.named);
    return shown + " is in use by another program";
}

std::string ReasonFor(int error, const fs::path& device, const PortHolders& holders = {}) {
    const std::string shown = ShownPath(device).string();
    const std::string rule = "install the udev rule " + std::string(UdevRuleName) +
                             " (it lets the user at the seat open USB serial adapters) and plug the adapter in again";
    switch (error) {
        case ENOENT:
        case ENODEV:
        case ENXIO:
            return "no such device " + shown;
        case EACCES:
        case EPERM:
            if (auto group = GroupAllowedOn(device))
                return "permission denied on " + shown + ": " + rule + ", or add your user to the '" + *group +
                       "' group (sudo usermod -aG " + *group + " $USER), then log in again";
            return "permission denied on " + shown + ": " + rule;
        case EBUSY:
        case EWOULDBLOCK:
            return BusyReason(shown, holders);
        case ENOTTY:
            return shown + " is not a serial port";
        default:
            return shown + ": " + std::strerror(error);
    }
}

}  // namespace

namespace {

// Linux numbers the slave sides of its pseudo-terminals with these majors.
constexpr unsigned PtySlaveMajorFirst = 136;
constexpr unsigned PtySlaveMajorLast = 143;

bool IsPseudoTerminal(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return false;
    const unsigned m = major(st.st_rdev);
    return m >= PtySlaveMajorFirst && m <= PtySlaveMajorLast;
}

}  // namespace

PosixSerialDevice::PosixSerialDevice(int fd, bool restoreLatency)
    : fd_(fd), restoreLatency_(restoreLatency), paced_(!IsPseudoTerminal(fd)) {}

PosixSerialDevice::~PosixSerialDevice() { close(); }

bool PosixSerialDevice::drain() {
    if (fd_ < 0) return false;
    int r;
    do r = ::tcdrain(fd_);
    while (r != 0 && errno == EINTR);
    return r == 0;
}

bool PosixSerialDevice::configure(const LineConfig& c) {
    if (fd_ < 0) return false;
    const auto speed = SpeedOf(c.baudRate);
    // A terminal has no mark or space parity and no one and a half stop bits.
    if (!speed || c.dataBits < FewestDataBits || c.dataBits > MostDataBits || c.parity == Parity::Mark ||
        c.parity == Parity::Space || c.stopBits == StopBits::OneAndHalf)
        return false;

    termios t{};
    if (::tcgetattr(fd_, &t) != 0) return false;
    ::cfmakeraw(&t);
    // Reads return at once with what is there, whatever the line.
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;

    t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK);
    if (c.flow == FlowControl::XonXoff) t.c_iflag |= IXON | IXOFF;

    // HUPCL stays off: closing must not drop DTR behind our back.
    t.c_cflag &= ~FrameBits;
    t.c_cflag |= CLOCAL | CREAD | SizeBits(c.dataBits);
    if (c.stopBits == StopBits::Two) t.c_cflag |= CSTOPB;
    if (c.parity == Parity::Odd) t.c_cflag |= PARENB | PARODD;
    if (c.parity == Parity::Even) t.c_cflag |= PARENB;
    if (c.flow == FlowControl::RtsCts) t.c_cflag |= CRTSCTS;
    if (::cfsetispeed(&t, *speed) != 0 || ::cfsetospeed(&t, *speed) != 0) return false;
    if (::tcsetattr(fd_, TCSANOW, &t) != 0) return false;

    // tcsetattr succeeds when any part took; check that the frame did.
    // The kernel sizes its own queues, so the asked sizes need nothing here.
    termios now{};
    if (::tcgetattr(fd_, &now) != 0) return false;
    return (now.c_cflag & (CSIZE | CSTOPB | PARENB | PARODD | CRTSCTS)) ==
               (t.c_cflag & (CSIZE | CSTOPB | PARENB | PARODD | CRTSCTS)) &&
           ::cfgetospeed(&now) == *speed;
}

bool PosixSerialDevice::setTimeouts(const SerialTimeouts& timeouts) {
    if (fd_ < 0) return false;
    // Reads never wait: the descriptor is non-blocking, and VMIN = VTIME = 0
    // covers a read made while it is not.
    termios t{};
    if (::tcgetattr(fd_, &t) != 0) return false;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    if (::tcsetattr(fd_, TCSANOW, &t) != 0) return false;
    const int flags = ::fcntl(fd_, F_GETFL);
    if (flags < 0 || ::fcntl(fd_, F_SETFL, flags | O_NONBLOCK) != 0) return false;
    timeouts_ = timeouts;
    return true;
}

LineResult PosixSerialDevice::setControlLine(ControlLine line, bool on) {
    if (fd_ < 0) return LineResult::Failed;
    int bits = line == ControlLine::Dtr ? TIOCM_DTR : TIOCM_RTS;
    if (::ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &bits) == 0) return LineResult::Done;
    if (errno == ENOTTY || errno == EINVAL || errno == ENOTSUP || errno == EOPNOTSUPP) return LineResult::NotSupported;
    return LineResult::Failed;
}

bool PosixSerialDevice::write(std::span<const std::uint8_t> bytes) {
    if (fd_ < 0) return false;
    using Clock = std::chrono::steady_clock;
    const bool bounded = timeouts_.writeConstantMs != 0 || timeouts_.writePerByteMs != 0;
    const auto allowed = std::chrono::milliseconds(std::uint64_t{timeouts_.writeConstantMs} +
                                                   std::uint64_t{timeouts_.writePerByteMs} * bytes.size());
    const auto deadline = Clock::now() + allowed;

    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            gone_ = gone_ || errno == EIO || errno == ENXIO || errno == ENODEV;
            return false;
        }

        // The driver is full: wait for room, up to the deadline.
        int waitMs = -1;
        if (bounded) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0) return true;  // cut short by the time-out: done, as far as it went
            waitMs = static_cast<int>(std::min<long long>(left.count(), INT_MAX));
        }
        pollfd p{fd_, POLLOUT, 0};
        const int r = ::poll(&p, 1, waitMs);
        if (r < 0 && errno != EINTR) return false;
        if (r > 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) return false;
    }
    return true;
}

long PosixSerialDevice::read(std::span<std::uint8_t> into) {
    if (fd_ < 0) return -1;
    if (into.empty()) return 0;
    ssize_t n;
    do n = ::read(fd_, into.data(), into.size());
    while (n < 0 && errno == EINTR);
    // With the "return at once" setting a read gives 0 when nothing waits,
    // hung up or not; a hang-up shows in poll (waitReadable) or as EIO.
    if (n >= 0) return static_cast<long>(n);
    if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
    gone_ = gone_ || errno == EIO || errno == ENXIO || errno == ENODEV;
    return -1;
}

bool PosixSerialDevice::waitReadable(std::chrono::milliseconds limit) {
    if (fd_ < 0) return false;
    pollfd p{fd_, POLLIN, 0};
    const int waitMs = static_cast<int>(std::clamp<long long>(limit.count(), 0, INT_MAX));
    const int r = ::poll(&p, 1, waitMs);
    if (r <= 0) return false;
    // A hung-up device stays "ready" for ever; report no input so the caller
    // sleeps out its step instead of spinning.
    if ((p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
        gone_ = true;
        return false;
    }
    return (p.revents & POLLIN) != 0;
}

void PosixSerialDevice::close() {
    if (fd_ < 0) return;
    // Exclusive mode outlives us while anyone else holds the terminal open;
    // lift it so the port can be opened again. The lock goes with the descriptor.
    ::ioctl(fd_, TIOCNXCL);
    ::close(fd_);
    fd_ = -1;
}

OpenResult OpenSerialDevice(const fs::path& device, const fs::path& sysRoot) {
    // Looked for before opening: a program that holds the port without a lock
    // would otherwise take some of the module's answers.
    const PortHolders holders = FindPortHolders(device);
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return {nullptr, ReasonFor(errno, device, holders)};
    // Lock before claiming exclusive mode: when someone else holds the port,
    // we must leave their terminal exactly as it was.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        return {nullptr, ReasonFor(error, device, holders)};
    }
    if (!holders.named.empty()) {
        ::close(fd);
        return {nullptr, BusyReason(ShownPath(device).string(), holders)};
    }
    if (::ioctl(fd, TIOCEXCL) != 0) {
        const int error = errno;
        ::close(fd);
        return {nullptr, ReasonFor(error, device, holders)};
    }
    const fs::path shown = ShownPath(device);
    const LowLatency latency = RequestLowLatency(fd);
    std::string notice = SlowAdapterNotice(latency, LatencyTimerMs(sysRoot, shown.filename().string()), shown.string());
    return {std::make_unique<PosixSerialDevice>(fd, latency == LowLatency::Taken), {}, std::move(notice)};
}

std::optional<int> PosixSerialPorts::lend(const fs::path& device) {
    std::lock_guard lock(mutex_);
    for (const auto& [index, path] : lent_)
        if (path == device) return index;
    for (int index = 0; index <= MaxPortIndex; ++index) {
        if (lent_.count(index) == 0 && !DevicePathOfPort(index)) {
            lent_.emplace(index, device);
            return index;
        }
    }
    return std::nullopt;
}

std::optional<fs::path> PosixSerialPorts::lent(int portIndex) const {
    std::lock_guard lock(mutex_);
    const auto it = lent_.find(portIndex);
    if (it == lent_.end()) return std::nullopt;
    return it->second;
}

OpenResult PosixSerialPorts::open(int portIndex) {
    if (auto device = lent(portIndex)) return OpenSerialDevice(*device);
    const auto device = DevicePathOfPort(portIndex);
    if (!device) {
        const std::string com = ComName(portIndex);
        return {nullptr, "no device is set for " + com + ": link " + (PortMapDir() / com).string() +
                             " to one (ln -s /dev/ttyUSB0 " + (PortMapDir() / com).string() + ")"};
    }
    OpenResult opened = OpenSerialDevice(*device, sysRoot_);
    if (!opened.notice.empty()) {
        const std::lock_guard<std::mutex> hold(noticedLock_);
        if (!noticed_.insert(ShownPath(*device).string()).second) opened.notice.clear();
    }
    return opened;
}

}  // namespace torvane::posix
