#include "platform/posix/PseudoTerminal.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
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
}

PseudoTerminal::~PseudoTerminal() {
    if (keepOpen_ >= 0) ::close(keepOpen_);
    hangUp();
}

void PseudoTerminal::hangUp() {
    if (controller_ >= 0) ::close(controller_);
    controller_ = -1;
}

}  // namespace torvane::posix
