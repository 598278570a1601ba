#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "TempConfigDir.h"
#include "platform/posix/LockFileGuard.h"
#include "shell/ProductIdentity.h"
#include "shell/SingleInstance.h"

using namespace torvane;

namespace {

// Another process: it claims the guard in `folder`, reports the claim through
// a pipe and then holds on until it is killed.
class OtherInstance {
public:
    explicit OtherInstance(const std::filesystem::path& folder) {
        int fds[2];
        if (::pipe(fds) != 0) throw std::runtime_error("pipe");
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(fds[0]);
            posix::LockFileGuard guard(folder);
            const char claim = static_cast<char>(guard.acquire(InstanceMutexName));
            if (::write(fds[1], &claim, 1) != 1) ::_exit(2);
            for (;;) ::pause();
        }
        ::close(fds[1]);
        char c = -1;
        if (::read(fds[0], &c, 1) == 1) claim_ = static_cast<InstanceClaim>(c);
        ::close(fds[0]);
    }
    ~OtherInstance() { crash(); }

    InstanceClaim claim() const { return claim_; }
    // Ends the process the hard way: no destructor, no release.
    void crash() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

private:
    pid_t pid_ = -1;
    InstanceClaim claim_ = InstanceClaim::Unguarded;
};

class InstanceGuardTest : public ::testing::Test {
protected:
    test::TempConfigDir folder;  // a private lock folder: no clash with a running updater
};

TEST_F(InstanceGuardTest, OneProcessAtATimeUntilReleaseOrExit) {
    posix::LockFileGuard guard(folder.path());
    ASSERT_EQ(guard.acquire(InstanceMutexName), InstanceClaim::Acquired);
    EXPECT_EQ(guard.lockPath(), folder.path() / "TORVANE.MUTEX.lock");
    EXPECT_EQ(OtherInstance(folder.path()).claim(), InstanceClaim::AlreadyRunning);

    guard.release();
    OtherInstance other(folder.path());
    EXPECT_EQ(other.claim(), InstanceClaim::Acquired);
    posix::LockFileGuard again(folder.path());
    EXPECT_EQ(again.acquire(InstanceMutexName), InstanceClaim::AlreadyRunning);

    other.crash();  // a killed holder leaves nothing stale behind
    EXPECT_EQ(again.acquire(InstanceMutexName), InstanceClaim::Acquired);
}

TEST_F(InstanceGuardTest, ASecondStartSaysAlreadyInProgressUnderTheMainTitle) {
    OtherInstance running(folder.path());
    ASSERT_EQ(running.claim(), InstanceClaim::Acquired);

    posix::LockFileGuard guard(folder.path());
    std::vector<std::pair<std::string, std::string>> shown;
    auto show = [&](std::string_view text, std::string_view caption) { shown.emplace_back(text, caption); };
    EXPECT_FALSE(ClaimSingleInstance(guard, show));
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].first, "Already in progress");
    EXPECT_EQ(shown[0].second, MainTitle());

    running.crash();
    EXPECT_TRUE(ClaimSingleInstance(guard, show));
    EXPECT_EQ(shown.size(), 1u);
}

TEST_F(InstanceGuardTest, WithoutAPlaceForTheGuardStartUpGoesOn) {
    posix::LockFileGuard guard(folder.path() / "missing" / "folder");
    EXPECT_EQ(guard.acquire(InstanceMutexName), InstanceClaim::Unguarded);
    bool shown = false;
    EXPECT_TRUE(ClaimSingleInstance(guard, [&](std::string_view, std::string_view) { shown = true; }));
    EXPECT_FALSE(shown);
    guard.release();  // nothing to release: harmless
}

TEST(InstanceGuardFolder, PrefersTheRuntimeFolder) {
    const char* old = std::getenv("XDG_RUNTIME_DIR");
    const std::string saved = old ? old : "";
    ::setenv("XDG_RUNTIME_DIR", "/run/user/4242", 1);
    EXPECT_EQ(posix::DefaultLockFolder(), "/run/user/4242");
    ::unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(posix::DefaultLockFolder(), "/tmp");
    if (old) ::setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
}

}  // namespace
