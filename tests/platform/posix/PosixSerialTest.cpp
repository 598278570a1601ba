#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <sys/wait.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "TempConfigDir.h"
#include "platform/posix/PortMap.h"
#include "platform/posix/PosixSerial.h"
#include "platform/posix/PseudoTerminal.h"
#include "serial/PortChannel.h"

using namespace torvane;
using namespace torvane::posix;
using namespace std::chrono_literals;

namespace {

constexpr int Port = 4;  // COM5
constexpr auto Patience = 5s;

class PosixSerialTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(MapPort(Port, pty.devicePath()), "");
        ch.system = &ports;
        ch.CurrentPort = Port;
    }

    PortSlot* openPort(PortChannel& channel) {
        return OpenPort(channel, Port, PortBaudRate, NoParity, TwoStopBits, EightDataBits, 0);
    }
    PosixSerialDevice& device() { return dynamic_cast<PosixSerialDevice&>(*CurrentDevice(ch)); }

    // What the far end receives, waiting until `count` bytes came or patience ran out.
    std::vector<std::uint8_t> controllerReads(std::size_t count) {
        std::vector<std::uint8_t> got;
        const auto until = std::chrono::steady_clock::now() + Patience;
        while (got.size() < count && std::chrono::steady_clock::now() < until) {
            pollfd p{pty.controllerFd(), POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) continue;
            std::uint8_t buf[512];
            const ssize_t n = ::read(pty.controllerFd(), buf, sizeof buf);
            if (n > 0) got.insert(got.end(), buf, buf + n);
        }
        return got;
    }

    test::TempConfigDir config;
    PseudoTerminal pty;
    PosixSerialPorts ports;
    PortChannel ch;
};

TEST_F(PosixSerialTest, OpenLeavesTheLineRaw115200EightDataTwoStopNoFlowControl) {
    // Someone left the line cooked, echoing and with flow control on
    // (through the controller side, which sets the terminal's modes).
    termios cooked{};
    ASSERT_EQ(::tcgetattr(pty.controllerFd(), &cooked), 0);
    cooked.c_lflag |= ICANON | ECHO | ISIG | IEXTEN;
    cooked.c_iflag |= IXON | IXOFF | IXANY | ICRNL | INPCK;
    cooked.c_oflag |= OPOST | ONLCR;
    cooked.c_cflag |= CRTSCTS | HUPCL | PARENB | PARODD;
    cooked.c_cflag = (cooked.c_cflag & ~CSIZE) | CS7;
    cfsetispeed(&cooked, B9600);
    cfsetospeed(&cooked, B9600);
    ASSERT_EQ(::tcsetattr(pty.controllerFd(), TCSANOW, &cooked), 0);

    ASSERT_NE(openPort(ch), nullptr) << ch.lastOpenFailure;
    EXPECT_TRUE(ch.lastOpenFailure.empty());

    termios t{};
    ASSERT_EQ(::tcgetattr(device().fd(), &t), 0);
    EXPECT_EQ(cfgetospeed(&t), speed_t{B115200});
    EXPECT_EQ(cfgetispeed(&t), speed_t{B115200});
    EXPECT_EQ(t.c_cflag & CSIZE, tcflag_t{CS8});
    EXPECT_NE(t.c_cflag & CSTOPB, 0u);
    EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CRTSCTS | HUPCL), 0u);
    EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), tcflag_t{CLOCAL | CREAD});
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | IXANY | ICRNL | INPCK | ISTRIP), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(t.c_cc[VMIN], 0);
    EXPECT_EQ(t.c_cc[VTIME], 0);
    EXPECT_NE(::fcntl(device().fd(), F_GETFL) & O_NONBLOCK, 0);
}

TEST_F(PosixSerialTest, SettingsThisSystemCannotHonourAreRefused) {
    ASSERT_NE(openPort(ch), nullptr) << ch.lastOpenFailure;
    const LineConfig good{.baudRate = 115200, .dataBits = 8, .parity = Parity::None, .stopBits = StopBits::Two};
    auto with = [&](auto change) {
        LineConfig c = good;
        change(c);
        return c;
    };
    EXPECT_FALSE(device().configure(with([](LineConfig& c) { c.baudRate = 12345; })));
    EXPECT_FALSE(device().configure(with([](LineConfig& c) { c.stopBits = StopBits::OneAndHalf; })));
    EXPECT_FALSE(device().configure(with([](LineConfig& c) { c.parity = Parity::Mark; })));
    EXPECT_FALSE(device().configure(with([](LineConfig& c) { c.parity = Parity::Space; })));
    EXPECT_FALSE(device().configure(with([](LineConfig& c) { c.dataBits = 9; })));
    EXPECT_FALSE(device().configure(with([](LineConfig& c) { c.dataBits = 4; })));
    // A pseudo-terminal forces eight data bits and no parity; the device
    // reports that instead of claiming a setting the line does not run.
    EXPECT_FALSE(device().configure(with([](LineConfig& c) { c.parity = Parity::Even; })));
    EXPECT_TRUE(device().configure(with([](LineConfig& c) { c.baudRate = 9600; })));
    termios t{};
    ASSERT_EQ(::tcgetattr(device().fd(), &t), 0);
    EXPECT_EQ(cfgetospeed(&t), speed_t{B9600});
}

TEST_F(PosixSerialTest, SecondOpenOfTheSamePortFailsWithAReason) {
    ASSERT_NE(openPort(ch), nullptr) << ch.lastOpenFailure;

    OpenResult again = ports.open(Port);
    EXPECT_EQ(again.device, nullptr);
    EXPECT_NE(again.reason.find("in use by another program"), std::string::npos) << again.reason;
    EXPECT_NE(again.reason.find(pty.devicePath()), std::string::npos) << again.reason;

    PortChannel other;
    other.system = &ports;
    EXPECT_EQ(openPort(other), nullptr);
    EXPECT_NE(other.lastOpenFailure.find("in use"), std::string::npos);

    // Once closed the port is free again, also for a reopening.
    ClosePort(ch, Port);
    ASSERT_NE(openPort(other), nullptr) << other.lastOpenFailure;
    ASSERT_NE(openPort(other), nullptr) << other.lastOpenFailure;
}

TEST_F(PosixSerialTest, BytesCrossTheLineBothWays) {
    ASSERT_NE(openPort(ch), nullptr) << ch.lastOpenFailure;
    // Bytes a terminal would translate or act on: CR, LF, XOFF, XON, ^C, 0xFF.
    const std::vector<std::uint8_t> frame{0xC2, 0x0D, 0x0A, 0x13, 0x11, 0x03, 0xFF, 0x00, 0x7F};

    EXPECT_EQ(WritePort(ch, Port, frame), WriteAccepted);
    EXPECT_EQ(controllerReads(frame.size()), frame);

    std::vector<std::uint8_t> reply(2000);
    for (std::size_t i = 0; i < reply.size(); ++i) reply[i] = static_cast<std::uint8_t>(i * 7);
    ASSERT_EQ(::write(pty.controllerFd(), reply.data(), reply.size()), static_cast<ssize_t>(reply.size()));

    std::vector<std::uint8_t> got;
    const auto until = std::chrono::steady_clock::now() + Patience;
    while (got.size() < reply.size() && std::chrono::steady_clock::now() < until) {
        device().waitReadable(50ms);
        const std::uint16_t n = ReadCurrentPort(ch);
        got.insert(got.end(), ch.ReceiveBuffer.begin(), ch.ReceiveBuffer.begin() + n);
    }
    EXPECT_EQ(got, reply);
    EXPECT_EQ(ReadCurrentPort(ch), 0);  // nothing left: the read returns at once
    EXPECT_FALSE(device().waitReadable(10ms));
}

TEST_F(PosixSerialTest, PseudoTerminalHasNoModemLinesYetStaysUsable) {
    ASSERT_NE(openPort(ch), nullptr) << ch.lastOpenFailure;
    EXPECT_EQ(device().setControlLine(ControlLine::Dtr, false), LineResult::NotSupported);
    EXPECT_EQ(device().setControlLine(ControlLine::Rts, true), LineResult::NotSupported);
    EXPECT_EQ(SetControlLines(ch, Port, 1), 0);
    EXPECT_EQ(FlushPort(ch, Port), PortUsable);
}

TEST_F(PosixSerialTest, MissingDeviceIsNamedInTheReason) {
    const auto absent = config.path() / "absent-device";
    ASSERT_EQ(MapPort(7, absent), "");
    const struct {
        int index;
        std::string mustName;
    } cases[] = {{7, absent.string()}, {200, "COM201"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.index);
        EXPECT_EQ(OpenPort(ch, c.index, PortBaudRate, NoParity, TwoStopBits, EightDataBits, 0), nullptr);
        EXPECT_NE(ch.lastOpenFailure.find(c.mustName), std::string::npos) << ch.lastOpenFailure;
        EXPECT_EQ(FlushPort(ch, static_cast<std::int16_t>(c.index)), PortNotOpen);
    }
    EXPECT_NE(ch.lastOpenFailure.find("no device"), std::string::npos);
}

TEST_F(PosixSerialTest, UnpluggedDeviceReadsNothingAndRefusesWrites) {
    ASSERT_NE(openPort(ch), nullptr) << ch.lastOpenFailure;
    pty.hangUp();

    const std::uint8_t byte = 0xC2;
    EXPECT_EQ(WritePort(ch, Port, std::span(&byte, 1)), WriteRejected);
    EXPECT_EQ(ReadCurrentPort(ch), 0);
    DrainInput(ch);  // returns rather than reading a dead line for ever
    EXPECT_FALSE(device().waitReadable(20ms));
    EXPECT_EQ(FlushPort(ch, Port), PortUsable);  // the slot stays open until reopened
}

TEST_F(PosixSerialTest, WriteGivesUpAtItsTimeOutWhenNobodyReads) {
    ASSERT_NE(openPort(ch), nullptr) << ch.lastOpenFailure;
    // Fill the line until the driver takes no more, not even a byte, for a while
    // (the kernel moves bytes between its buffers behind our back).
    const std::vector<std::uint8_t> block(4096, 0x55);
    const auto fillUntil = std::chrono::steady_clock::now() + Patience;
    for (int stalls = 0; stalls < 5 && std::chrono::steady_clock::now() < fillUntil;) {
        if (::write(device().fd(), block.data(), block.size()) > 0 || ::write(device().fd(), block.data(), 1) > 0) {
            stalls = 0;
            continue;
        }
        ++stalls;
        std::this_thread::sleep_for(20ms);
    }

    const std::uint8_t frame[10] = {};
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(device().write(frame));  // cut short by its time-out, which is not a failure
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, 1000ms + 10 * 10ms);
    EXPECT_LT(took, 30s);
}

TEST(PosixSerialReasons, PermissionDeniedNamesTheGroupToJoin) {
    // Only root can hand a device to a group and then try it as somebody else.
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to drop to another user";
    const group* dialout = ::getgrnam("dialout");
    if (dialout == nullptr) GTEST_SKIP() << "no dialout group here";
    test::TempConfigDir dir;
    const auto device = dir.path() / "ttyGUARDED";
    { std::FILE* f = std::fopen(device.c_str(), "w"); ASSERT_NE(f, nullptr); std::fclose(f); }
    ASSERT_EQ(::chown(device.c_str(), 0, dialout->gr_gid), 0);
    ASSERT_EQ(::chmod(device.c_str(), 0660), 0);
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);

    const pid_t child = ::fork();
    if (child == 0) {
        // An ordinary user outside the group.
        if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(3);
        const OpenResult r = OpenSerialDevice(device);
        const std::string want = "add your user to the 'dialout' group";
        ::_exit(r.device == nullptr && r.reason.find(want) != std::string::npos ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the reason did not name the group";
}

}  // namespace
