#pragma once
// The single-instance guard as an exclusive flock on <folder>/<name>.lock.
// The kernel drops the lock with the last descriptor, so it is released when
// the process ends, also by a crash or a kill.

#include <filesystem>

#include "platform/InstanceGuard.h"

namespace torvane::posix {

// Where this user's guard lives: $XDG_RUNTIME_DIR when set, else the folder
// torvane-<uid> in $TMPDIR (or /tmp), made for the user alone. Never a place
// all users share, where one user's updater would refuse another's. Empty
// when that folder is not the user's own with owner-only permissions.
std::filesystem::path DefaultLockFolder();

class LockFileGuard final : public InstanceGuard {
public:
    // An empty folder leaves the guard unmade (acquire: Unguarded).
    explicit LockFileGuard(std::filesystem::path folder = DefaultLockFolder());
    ~LockFileGuard() override;  // releases
    LockFileGuard(const LockFileGuard&) = delete;
    LockFileGuard& operator=(const LockFileGuard&) = delete;

    InstanceClaim acquire(std::string_view name) override;
    void release() override;

    // The lock file of the last acquire; empty before.
    const std::filesystem::path& lockPath() const { return path_; }

private:
    std::filesystem::path folder_;
    std::filesystem::path path_;
    int fd_ = -1;
};

}  // namespace torvane::posix
