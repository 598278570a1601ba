// Opening a port someone else holds, and the low-latency request on opening.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include "TempConfigDir.h"
#include "platform/posix/LowLatency.h"
#include "platform/posix/PortHolders.h"
#include "platform/posix/PortMap.h"
#include "platform/posix/PosixSerial.h"
#include "platform/posix/PseudoTerminal.h"

using namespace torvane;
using namespace torvane::posix;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

constexpr int Port = 6;  // COM7
constexpr auto Patience = 5s;

// A program that holds `device` open without any lock, as a terminal left
// open does: `sleep` with the device as its input.
class Holder {
public:
    explicit Holder(const std::string& device) {
        pid_ = ::fork();
        if (pid_ == 0) {
            const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY);
            if (fd < 0 || ::dup2(fd, STDIN_FILENO) < 0) ::_exit(3);
            // Nothing else of ours: the line's controller side would make it its far end.
            for (int other = STDERR_FILENO + 1; other < 1024; ++other) ::close(other);
            ::execlp("sleep", "sleep", "60", static_cast<char*>(nullptr));
            ::_exit(4);
        }
        // Until the program runs as `sleep` with the device open.
        const auto until = std::chrono::steady_clock::now() + Patience;
        while (std::chrono::steady_clock::now() < until && !ready(device)) std::this_thread::sleep_for(10ms);
    }
    ~Holder() {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    pid_t pid() const { return pid_; }

private:
    bool ready(const std::string& device) const {
        std::ifstream comm("/proc/" + std::to_string(pid_) + "/comm");
        std::string name;
        std::getline(comm, name);
        std::error_code ec;
        return name == "sleep" && fs::read_symlink("/proc/" + std::to_string(pid_) + "/fd/0", ec) == fs::path(device);
    }
    pid_t pid_ = -1;
};

class PortAccessTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(MapPort(Port, pty.devicePath()), ""); }
    test::TempConfigDir config;
    PseudoTerminal pty;
};

TEST_F(PortAccessTest, APortHeldOpenByAnotherProgramIsRefusedWithItsNameAndPid) {
    PosixSerialPorts ports;
    {
        Holder holder(pty.devicePath());
        const OpenResult r = ports.open(Port);
        EXPECT_EQ(r.device, nullptr);
        EXPECT_EQ(r.reason, pty.devicePath() + " is open in sleep (pid " + std::to_string(holder.pid()) + ")");
    }
    // Once the program has gone the port opens.
    OpenResult r = ports.open(Port);
    ASSERT_NE(r.device, nullptr) << r.reason;
    const OpenResult second = ports.open(Port);
    EXPECT_EQ(second.device, nullptr);
    EXPECT_EQ(second.reason, pty.devicePath() + " is in use by another program");
}

TEST_F(PortAccessTest, TheFarEndOfAPseudoTerminalInAnotherProcessIsNoRival) {
    // As the simulated boot loader does: another process makes the line and
    // keeps its device side open too.
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(fds[0]);
        PseudoTerminal line;
        const std::string path = line.devicePath() + "\n";
        if (::write(fds[1], path.data(), path.size()) != static_cast<ssize_t>(path.size())) ::_exit(2);
        for (;;) ::pause();
    }
    ::close(fds[1]);
    char buffer[128] = {};
    const ssize_t n = ::read(fds[0], buffer, sizeof buffer - 1);
    ::close(fds[0]);
    const std::string device = n > 1 ? std::string(buffer, static_cast<std::size_t>(n - 1)) : "";

    const PortHolders holders = FindPortHolders(device);
    const OpenResult r = OpenSerialDevice(device);
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    EXPECT_TRUE(holders.named.empty()) << HolderList(holders.named);
    EXPECT_NE(r.device, nullptr) << r.reason;
}

TEST(HolderList, NamesEveryHolder) {
    EXPECT_EQ(HolderList({{4121, "minicom"}}), "minicom (pid 4121)");
    EXPECT_EQ(HolderList({{812, "ModemManager"}, {977, "screen"}, {4121, "minicom"}}),
              "ModemManager (pid 812), screen (pid 977) and minicom (pid 4121)");
}

// The latency timer comes from a sysfs tree of our own, under the name of
// the pseudo-terminal's device (/dev/pts/N -> class/tty/N). A
// pseudo-terminal refuses the low-latency request as a driver without the
// setting does, so the timer alone decides whether the user hears of it.
TEST_F(PortAccessTest, ASlowAdapterIsReportedOnceWithTheRuleAsTheFix) {
    const int fd = ::open(pty.devicePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(RequestLowLatency(fd), LowLatency::NotOffered);  // no failure: nothing to lower
    ::close(fd);

    const fs::path sys = config.path() / "sys";
    const fs::path timer = sys / "class" / "tty" / fs::path(pty.devicePath()).filename() / "device" / "latency_timer";
    fs::create_directories(timer.parent_path());
    const struct {
        const char* timer;  // nullptr: no timer file
        bool told;
    } cases[] = {{"16", true}, {"2", true}, {"1", false}, {"0", false}, {"garbage", false}, {nullptr, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.timer ? c.timer : "no timer");
        fs::remove(timer);
        if (c.timer) std::ofstream(timer) << c.timer << "\n";
        PosixSerialPorts ports(sys);
        OpenResult first = ports.open(Port);
        ASSERT_NE(first.device, nullptr) << first.reason;
        if (c.told) {
            EXPECT_NE(first.notice.find(pty.devicePath() + " waits up to " + c.timer + " ms"), std::string::npos)
                << first.notice;
            EXPECT_NE(first.notice.find("udev rule 70-torvane-serial.rules"), std::string::npos) << first.notice;
        } else {
            EXPECT_EQ(first.notice, "");
        }
        first.device->close();
        // Said once: the next open of the same adapter is quiet.
        const OpenResult again = ports.open(Port);
        ASSERT_NE(again.device, nullptr) << again.reason;
        EXPECT_EQ(again.notice, "");
    }
}

TEST(SlowAdapterNotice, OnlyWhenTheDriverKeepsTheWait) {
    const struct {
        LowLatency request;
        std::optional<unsigned> timer;
        bool told;
    } cases[] = {
        {LowLatency::Refused, 16, true},    {LowLatency::NotOffered, 16, true}, {LowLatency::Taken, 16, false},
        {LowLatency::AlreadyOn, 16, false}, {LowLatency::Refused, 1, false},    {LowLatency::Refused, std::nullopt, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.request));
        EXPECT_EQ(SlowAdapterNotice(c.request, c.timer, "/dev/ttyUSB0").empty(), !c.told);
    }
}

}  // namespace
