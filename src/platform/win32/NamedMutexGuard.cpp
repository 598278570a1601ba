#include "platform/win32/NamedMutexGuard.h"

#include <string>

namespace torvane::win32 {

InstanceClaim NamedMutexGuard::acquire(std::string_view name) {
    release();
    const std::string text(name);
    HANDLE h = ::CreateMutexA(nullptr, TRUE, text.c_str());
    const DWORD error = ::GetLastError();
    if (h == nullptr) return error == ERROR_ACCESS_DENIED ? InstanceClaim::AlreadyRunning : InstanceClaim::Unguarded;
    if (error == ERROR_ALREADY_EXISTS) {
        // The handle is to the other instance's mutex; we do not own it.
        ::CloseHandle(h);
        return InstanceClaim::AlreadyRunning;
    }
    mutex_ = h;
    owned_ = true;
    return InstanceClaim::Acquired;
}

void NamedMutexGuard::release() {
    if (mutex_ == nullptr) return;
    if (owned_) ::ReleaseMutex(mutex_);
    ::CloseHandle(mutex_);
    mutex_ = nullptr;
    owned_ = false;
}

}  // namespace torvane::win32
