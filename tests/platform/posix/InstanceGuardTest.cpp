#include <gtest/gtest.h>

#include <grp.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <stdexcept>
#include <string>

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
    EXPECT_NE(posix::DefaultLockFolder(), "/tmp");  // never the folder all users share
    if (old) ::setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
}

}  // namespace

namespace {

constexpr uid_t OtherUser = 65534;  // nobody

// A session without XDG_RUNTIME_DIR, whose temporary folder is a fresh one
// everyone may write to, as /tmp is. Restores both on leaving.
class SessionWithoutRuntimeDir {
public:
    SessionWithoutRuntimeDir() : runtime_(Get("XDG_RUNTIME_DIR")), tmp_(Get("TMPDIR")) {
        if (::chmod(shared_.path().c_str(), 01777) != 0) throw std::runtime_error("chmod");
        ::unsetenv("XDG_RUNTIME_DIR");
        ::setenv("TMPDIR", shared_.path().c_str(), 1);
    }
    ~SessionWithoutRuntimeDir() {
        Put("XDG_RUNTIME_DIR", runtime_);
        Put("TMPDIR", tmp_);
    }
    const std::filesystem::path& tmp() const { return shared_.path(); }

private:
    static std::optional<std::string> Get(const char* name) {
        const char* v = std::getenv(name);
        return v ? std::optional<std::string>(v) : std::nullopt;
    }
    static void Put(const char* name, const std::optional<std::string>& value) {
        if (value) ::setenv(name, value->c_str(), 1);
        else ::unsetenv(name);
    }
    test::TempConfigDir shared_;
    std::optional<std::string> runtime_, tmp_;
};

// One user's updater never refuses another user's, and the guard still keeps
// each user to one updater. The users are root and an ordinary account the
// test drops to.
TEST(InstanceGuardPerUser, AnotherUsersUpdaterIsNotRefused) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to drop to another user";
    SessionWithoutRuntimeDir session;

    posix::LockFileGuard first;
    EXPECT_EQ(first.acquire(InstanceMutexName), InstanceClaim::Acquired);
    posix::LockFileGuard again;
    EXPECT_EQ(again.acquire(InstanceMutexName), InstanceClaim::AlreadyRunning);

    // The other user: its own claim, then what its folder looks like.
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(OtherUser) != 0 || ::setuid(OtherUser) != 0) ::_exit(10);
        posix::LockFileGuard guard;
        if (guard.acquire(InstanceMutexName) != InstanceClaim::Acquired) ::_exit(11);
        struct stat st {};
        if (::lstat(guard.lockPath().parent_path().c_str(), &st) != 0) ::_exit(12);
        if (st.st_uid != OtherUser || (st.st_mode & 0777) != 0700) ::_exit(13);
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "10: cannot become the other user, 11: refused, 12/13: folder not its own";
    EXPECT_EQ(first.lockPath().parent_path().parent_path(), session.tmp());
}

TEST(InstanceGuardPerUser, AFolderSomeoneElseMadeIsNotUsed) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to make a folder for another user";
    SessionWithoutRuntimeDir session;
    // Planted before us under our folder's name, owned by somebody else and open to all.
    const auto planted = session.tmp() / ("torvane-" + std::to_string(::getuid()));
    ASSERT_EQ(::mkdir(planted.c_str(), 0777), 0);
    ASSERT_EQ(::chmod(planted.c_str(), 0777), 0);
    ASSERT_EQ(::chown(planted.c_str(), OtherUser, OtherUser), 0);

    EXPECT_EQ(posix::DefaultLockFolder(), std::filesystem::path());
    posix::LockFileGuard guard;
    EXPECT_EQ(guard.acquire(InstanceMutexName), InstanceClaim::Unguarded);
}

}  // namespace
