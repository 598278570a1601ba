#include "platform/posix/LockFileGuard.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace torvane::posix {

namespace {

constexpr const char* FallbackLockFolder = "/tmp";
constexpr const char* LockSuffix = ".lock";
// The lock, not the file, is the guard. A file another user made may be
// read-only for us; flock works on a read-only descriptor as well.
constexpr mode_t LockFileMode = 0666;

}  // namespace

std::filesystem::path DefaultLockFolder() {
    if (const char* d = std::getenv("XDG_RUNTIME_DIR"); d && *d) return d;
    return FallbackLockFolder;
}

LockFileGuard::LockFileGuard(std::filesystem::path folder) : folder_(std::move(folder)) {}

LockFileGuard::~LockFileGuard() { release(); }

InstanceClaim LockFileGuard::acquire(std::string_view name) {
    release();
    path_ = folder_ / (std::string(name) + LockSuffix);
    // O_NOFOLLOW: in a shared folder such as /tmp a planted link must not
    // make us create or lock some other file.
    fd_ = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, LockFileMode);
    if (fd_ < 0 && errno == EACCES) fd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd_ < 0) return InstanceClaim::Unguarded;
    int r;
    do r = ::flock(fd_, LOCK_EX | LOCK_NB);
    while (r != 0 && errno == EINTR);
    if (r == 0) return InstanceClaim::Acquired;
    const bool held = errno == EWOULDBLOCK;
    ::close(fd_);
    fd_ = -1;
    return held ? InstanceClaim::AlreadyRunning : InstanceClaim::Unguarded;
}

void LockFileGuard::release() {
    if (fd_ < 0) return;
    // The file stays: removing it would let a newcomer lock a fresh file
    // while a waiting process still locks the old one.
    ::flock(fd_, LOCK_UN);
    ::close(fd_);
    fd_ = -1;
}

}  // namespace torvane::posix
