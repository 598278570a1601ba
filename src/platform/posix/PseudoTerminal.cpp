#include "platform/posix/PseudoTerminal.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace torvane::posix {

namespace {

void MakeRaw(int fd) {
    termios t{};
    if (tcgetattr(fd, &t) == 0) {
        cfmakeraw(&t);
        tcsetattr(fd, TCSANOW, &t);
    }
}

}  // namespace

PseudoTerminal::PseudoTerminal() {
    controller_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (controller_ < 0) throw std::runtime_error(std::string("cannot create a pseudo-terminal: ") + std::strerror(errno));
    if (grantpt(controller_) != 0 || unlockpt(controller_) != 0) {
        const int e = errno;
        ::close(controller_);
        throw std::runtime_error(std::string("cannot unlock the pseudo-terminal: ") + std::strerror(e));
    }
    char name[128];
    if (ptsname_r(controller_, name, sizeof name) != 0) {
        ::close(controller_);
        throw std::runtime_error("cannot name the pseudo-terminal");
    }
    path_ = name;
    MakeRaw(controller_);
    // Hold the device side open once to set it raw; a line discipline that
    // echoes or translates bytes would corrupt the protocol.
    keepOpen_ = ::open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (keepOpen_ >= 0) MakeRaw(keepOpen_);
    int wake[2];
    if (::pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        const int e = errno;
        if (keepOpen_ >= 0) ::close(keepOpen_);
        ::close(controller_);
        throw std::runtime_error(std::string("cannot create the pseudo-terminal's wake pipe: ") + std::strerror(e));
    }
    wakeRead_ = wake[0];
    wakeWrite_ = wake[1];
}

PseudoTerminal::~PseudoTerminal() {
    if (keepOpen_ >= 0) ::close(keepOpen_);
    hangUp();
    ::close(wakeRead_);
    ::close(wakeWrite_);
}

FarEndWait PseudoTerminal::waitInput(std::chrono::milliseconds limit) {
    pollfd fds[2] = {{controller_, POLLIN, 0}, {wakeRead_, POLLIN, 0}};
    const int waitMs = static_cast<int>(std::clamp<long long>(limit.count(), 0, INT_MAX));
    const int ready = ::poll(fds, 2, waitMs);
    if (ready < 0) return errno == EINTR ? FarEndWait::Quiet : FarEndWait::Failed;
    if (fds[1].revents & POLLIN) {
        char drain[16];
        while (::read(wakeRead_, drain, sizeof drain) > 0) {
        }
        return FarEndWait::Interrupted;
    }
    if (ready == 0) return FarEndWait::Quiet;
    if (fds[0].revents & POLLIN) return FarEndWait::Input;
    if (fds[0].revents & (POLLHUP | POLLERR)) return FarEndWait::NoPeer;
    return FarEndWait::Failed;
}

long PseudoTerminal::read(std::span<std::uint8_t> into) {
    ssize_t n;
    do n = ::read(controller_, into.data(), into.size());
    while (n < 0 && errno == EINTR);
    if (n >= 0) return static_cast<long>(n);
    // EIO: nobody holds the device side; nothing to read.
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EIO ? 0 : -1;
}

long PseudoTerminal::write(std::span<const std::uint8_t> bytes) {
    ssize_t n;
    do n = ::write(controller_, bytes.data(), bytes.size());
    while (n < 0 && errno == EINTR);
    if (n >= 0) return static_cast<long>(n);
    return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : -1;
}

void PseudoTerminal::waitWritable(std::chrono::milliseconds limit) {
    pollfd p{controller_, POLLOUT, 0};
    ::poll(&p, 1, static_cast<int>(std::clamp<long long>(limit.count(), 0, INT_MAX)));
}

void PseudoTerminal::interrupt() {
    const char poke = 1;
    [[maybe_unused]] const auto ignored = ::write(wakeWrite_, &poke, 1);
}

void PseudoTerminal::hangUp() {
    if (controller_ >= 0) ::close(controller_);
    controller_ = -1;
}

}  // namespace torvane::posix
