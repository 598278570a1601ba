// The Win32 serial port on a real COM port whose far end sends back every
// byte: ./run test-windows links an echoing pseudo-terminal into the Wine
// prefix and names the port in TORVANE_TEST_ECHO_PORT.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <numeric>
#include <vector>

#include "formats/ComName.h"
#include "platform/win32/Win32Serial.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using torvane::LineResult;

class Win32SerialEcho : public ::testing::Test {
protected:
    torvane::win32::Win32SerialPorts ports;
    std::unique_ptr<torvane::SerialDevice> device;

    void SetUp() override {
        const char* port = std::getenv("TORVANE_TEST_ECHO_PORT");
        if (port == nullptr) GTEST_SKIP() << "needs an echoing line as TORVANE_TEST_ECHO_PORT";
        const auto index = torvane::PortIndexOfComName(port);
        ASSERT_TRUE(index.has_value()) << port;
        auto opened = ports.open(*index);
        ASSERT_NE(opened.device, nullptr) << opened.reason;
        device = std::move(opened.device);
        torvane::LineConfig line;
        line.baudRate = 115200;
        line.stopBits = torvane::StopBits::Two;
        line.inputQueueBytes = 32768;
        line.outputQueueBytes = 9216;
        ASSERT_TRUE(device->configure(line));
        ASSERT_TRUE(device->setTimeouts({10, 1000}));
        // A line without modem lines says so; it is no failure.
        for (auto l : {torvane::ControlLine::Dtr, torvane::ControlLine::Rts})
            EXPECT_NE(device->setControlLine(l, false), LineResult::Failed);
    }

    // Everything that comes back within `limit`, as a caller polls it.
    std::vector<std::uint8_t> Receive(std::size_t expected, std::chrono::milliseconds limit) {
        std::vector<std::uint8_t> got;
        std::uint8_t buffer[3072];
        const auto end = Clock::now() + limit;
        while (got.size() < expected && Clock::now() < end) {
            device->waitReadable(5ms);
            const long n = device->read(buffer);
            EXPECT_GE(n, 0);
            if (n > 0) got.insert(got.end(), buffer, buffer + n);
        }
        return got;
    }
};

TEST_F(Win32SerialEcho, TheWaitEndsAtTheFirstByteAndEveryByteComesInOrder) {
    std::vector<std::uint8_t> sent(300);
    std::iota(sent.begin(), sent.end(), std::uint8_t{0});
    ASSERT_TRUE(device->write(sent));
    ASSERT_TRUE(device->drain());
    const auto before = Clock::now();
    EXPECT_TRUE(device->waitReadable(5000ms));
    EXPECT_LT(Clock::now() - before, 2500ms);  // woken by the byte, not by the limit
    EXPECT_EQ(Receive(sent.size(), 5000ms), sent);
    EXPECT_FALSE(device->gone());
}

TEST_F(Win32SerialEcho, AQuietLineWaitsOutItsLimitAndReadsNothing) {
    const auto before = Clock::now();
    EXPECT_FALSE(device->waitReadable(300ms));
    EXPECT_GE(Clock::now() - before, 250ms);
    std::uint8_t buffer[16];
    EXPECT_EQ(device->read(buffer), 0);
}

TEST_F(Win32SerialEcho, AReopenedPortLosesNoByteToTheOldPendingRead) {
    EXPECT_FALSE(device->waitReadable(20ms));  // leaves a read pending
    device.reset();
    const auto index = torvane::PortIndexOfComName(std::getenv("TORVANE_TEST_ECHO_PORT"));
    auto again = ports.open(*index);
    ASSERT_NE(again.device, nullptr) << again.reason;
    device = std::move(again.device);
    ASSERT_TRUE(device->setTimeouts({10, 1000}));
    const std::vector<std::uint8_t> sent{0xC2, 0x00, 0x55};
    ASSERT_TRUE(device->write(sent));
    EXPECT_EQ(Receive(sent.size(), 5000ms), sent);
}

TEST(Win32SerialPorts, APortThatIsNotThereIsNamedInTheReason) {
    torvane::win32::Win32SerialPorts ports;
    for (int index : {-1, 199, torvane::MaxPortIndex + 1}) {
        const auto r = ports.open(index);
        EXPECT_EQ(r.device, nullptr) << index;
        EXPECT_EQ(r.reason, "no such port " + torvane::ComName(index)) << index;
    }
}

}  // namespace
