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

// What each error of a port's calls says of the device. An unplugged USB
// adapter fails its next call with one of several errors, depending on its
// driver, and may cancel the read that was waiting: each of these ends the run
// as a vanished module. Real unplugging cannot be done under Wine; the table
// is what real drivers answer.
TEST(Win32SerialErrors, TheErrorsOfAnUnpluggedAdapterMeanTheDeviceIsGone) {
    struct Case {
        DWORD error;
        bool cancelledHere;
        bool gone;
    };
    const Case cases[] = {
        {ERROR_ACCESS_DENIED, false, true},         {ERROR_BAD_COMMAND, false, true},
        {ERROR_DEVICE_NOT_CONNECTED, false, true},  {ERROR_DEVICE_REMOVED, false, true},
        {ERROR_NO_SUCH_DEVICE, false, true},        {ERROR_INVALID_HANDLE, false, true},
        {ERROR_GEN_FAILURE, false, true},           {ERROR_FILE_NOT_FOUND, false, true},
        {ERROR_BROKEN_PIPE, false, true},           {ERROR_HANDLE_EOF, false, true},
        {ERROR_OPERATION_ABORTED, false, true},     // the driver cancelled our read
        {ERROR_OPERATION_ABORTED, true, false},     // we cancelled it (a new time-out, closing)
        {ERROR_IO_INCOMPLETE, false, false},        {ERROR_SEM_TIMEOUT, false, false},
        {ERROR_NOT_SUPPORTED, false, false},        {ERROR_COUNTER_TIMEOUT, false, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(torvane::win32::DeviceGoneAfter(c.error, c.cancelledHere), c.gone)
            << "error " << c.error << (c.cancelledHere ? " cancelled here" : "");
}

// A failed open names the port. Wine lets a second program open a COM port
// that is open already; Windows refuses it with one of the first two errors.
TEST(Win32SerialErrors, AFailedOpenNamesThePort) {
    const struct {
        DWORD error;
        const char* reason;
    } cases[] = {
        {ERROR_ACCESS_DENIED, "COM7 is in use by another program"},
        {ERROR_SHARING_VIOLATION, "COM7 is in use by another program"},
        {ERROR_FILE_NOT_FOUND, "no such port COM7"},
        {ERROR_PATH_NOT_FOUND, "no such port COM7"},
    };
    for (const auto& c : cases) EXPECT_EQ(torvane::win32::OpenFailureReason("COM7", c.error), c.reason) << c.error;
    // Anything else: the port and the system's words, without the line break
    // and the full stop they come with.
    const std::string other = torvane::win32::OpenFailureReason("COM7", ERROR_GEN_FAILURE);
    EXPECT_TRUE(other.starts_with("COM7: ")) << other;
    EXPECT_GT(other.size(), 6u) << other;
    EXPECT_EQ(other.find_first_of("\r\n"), std::string::npos) << other;
    EXPECT_NE(other.back(), '.') << other;
    EXPECT_EQ(torvane::win32::ErrorText(0xE0F0F0F0u), "error 3773886704");  // no system text for it
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
