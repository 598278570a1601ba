// The single-instance guard across processes: this test program starts itself
// again as the second instance.

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <string>

#include "platform/win32/NamedMutexGuard.h"

namespace {

using torvane::InstanceClaim;
using torvane::win32::NamedMutexGuard;

constexpr const char* ChildVariable = "TORVANE_GUARD_CHILD";  // the claim the second instance expects

std::string GuardName() { return "TORVANE.TEST." + std::to_string(::GetCurrentProcessId()); }

// The second instance's claim, as its exit code.
DWORD ClaimInAnotherProcess(const std::string& name, InstanceClaim expected) {
    char self[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string command = "\"" + std::string(self) + "\" --gtest_brief=1 --gtest_filter=NamedMutexGuard.SecondInstance";
    const std::string value = name + "=" + std::to_string(static_cast<int>(expected));
    ::SetEnvironmentVariableA(ChildVariable, value.c_str());
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    const BOOL started = ::CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
    ::SetEnvironmentVariableA(ChildVariable, nullptr);
    if (!started) return MAXDWORD;
    ::WaitForSingleObject(pi.hProcess, 60'000);
    DWORD code = MAXDWORD;
    ::GetExitCodeProcess(pi.hProcess, &code);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    return code;
}

TEST(NamedMutexGuard, OneHolderAtATimeAcrossProcesses) {
    const std::string name = GuardName();
    {
        NamedMutexGuard first;
        ASSERT_EQ(first.acquire(name), InstanceClaim::Acquired);
        NamedMutexGuard again;
        EXPECT_EQ(again.acquire(name), InstanceClaim::AlreadyRunning);
        EXPECT_EQ(ClaimInAnotherProcess(name, InstanceClaim::AlreadyRunning), 0u);
        again.release();  // giving up a claim it never had must not free the holder's
        EXPECT_EQ(ClaimInAnotherProcess(name, InstanceClaim::AlreadyRunning), 0u);
    }
    EXPECT_EQ(ClaimInAnotherProcess(name, InstanceClaim::Acquired), 0u);
    NamedMutexGuard later;
    EXPECT_EQ(later.acquire(name), InstanceClaim::Acquired);
}

// Runs only as the second instance started above.
TEST(NamedMutexGuard, SecondInstance) {
    const char* value = std::getenv(ChildVariable);
    if (value == nullptr) GTEST_SKIP() << "runs as the second instance only";
    const std::string v = value;
    const auto eq = v.rfind('=');
    NamedMutexGuard guard;
    EXPECT_EQ(static_cast<int>(guard.acquire(v.substr(0, eq))), std::stoi(v.substr(eq + 1)));
}

}  // namespace
