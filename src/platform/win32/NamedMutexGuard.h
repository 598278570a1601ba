#pragma once
// The single-instance guard as a named system mutex. Windows drops the mutex
// with the last handle to it, so a process that ends in any way frees it.

#include <windows.h>

#include "platform/InstanceGuard.h"

namespace torvane::win32 {

class NamedMutexGuard final : public InstanceGuard {
public:
    NamedMutexGuard() = default;
    ~NamedMutexGuard() override { release(); }
    NamedMutexGuard(const NamedMutexGuard&) = delete;
    NamedMutexGuard& operator=(const NamedMutexGuard&) = delete;

    // Creates the mutex owned; another holder of the name makes it
    // AlreadyRunning (ERROR_ALREADY_EXISTS), and no mutex at all Unguarded.
    InstanceClaim acquire(std::string_view name) override;
    void release() override;

private:
    HANDLE mutex_ = nullptr;
    bool owned_ = false;
};

}  // namespace torvane::win32
