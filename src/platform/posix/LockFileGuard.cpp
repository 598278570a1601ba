#include "platform/posix/LockFileGuard.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace torvane::posix {

namespace {

constexpr const char* FallbackTempFolder = "/tmp";
constexpr const char* UserFolderPrefix = "torvane-";
constexpr const char* LockSuffix = ".lock";
constexpr mode_t UserFolderMode = 0700;
constexpr mode_t LockFileMode = 0600;

}  // namespace

std::filesystem::path DefaultLockFolder() {
    if (const char* d = std::getenv("XDG_RUNTIME_DIR"); d && *d) return d;
    const char* tmp = std::getenv("TMPDIR");
    const std::filesystem::path base = tmp && *tmp ? tmp : FallbackTempFolder;
    const uid_t uid = ::getuid();
    const auto folder = base / (UserFolderPrefix + std::to_string(uid));
    if (::mkdir(folder.c_str(), UserFolderMode) != 0 && errno != EEXIST) return {};
    // In a folder everyone may write to, someone may have made ours first, or
    // planted a link: use it only as a real folder of this user's, closed to others.
    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != uid ||
        (st.st_mode & (S_IRWXG | S_IRWXO)) != 0)
        return {};
    return folder;
}

LockFileGuard::LockFileGuard(std::filesystem::path folder) : folder_(std::move(folder)) {}

LockFileGuard::~LockFileGuard() { release(); }

InstanceClaim LockFileGuard::acquire(std::string_view name) {
    release();
    if (folder_.empty()) return InstanceClaim::Unguarded;
    path_ = folder_ / (std::string(name) + LockSuffix);
    // O_NOFOLLOW: a planted link must not make us create or lock some other
    // file. The lock, not the file, is the guard; flock works on a read-only
    // descriptor as well.
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
