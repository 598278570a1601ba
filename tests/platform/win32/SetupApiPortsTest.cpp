// The port listing: SetupAPI's "Ports" class and the serial device map
// together. Under Wine SetupAPI lists no ports, so the merge is shown with a
// table; the Wine run (cli-under-wine.sh) lists a port of the device map.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "platform/win32/SetupApiPorts.h"

namespace {

using torvane::PresentPort;
using torvane::win32::MergedPorts;

// A port only the device map knows (a virtual null-modem pair's, or any port
// under Wine) is listed by its COM name; one the class knows keeps the class's
// facts; names that are no COM name stay out; the order is the COM number's.
TEST(SetupApiPorts, TheDeviceMapAddsThePortsTheClassLacks) {
    std::vector<PresentPort> ofClass{
        {"COM12", "USB Serial Port (COM12)", "\\\\.\\COM12", std::nullopt, true},
        {"com5", "Communications Port (COM5)", "\\\\.\\COM5"},
    };
    const auto ports = MergedPorts(ofClass, {"COM12", "CNCA0", "COM5", "COM7", "COM1", ""});
    ASSERT_EQ(ports.size(), 4u);
    const struct {
        const char* port;
        const char* friendly;
        const char* device;
        bool usb;
    } expected[] = {
        {"COM1", "COM1", "\\\\.\\COM1", false},
        {"com5", "Communications Port (COM5)", "\\\\.\\COM5", false},
        {"COM7", "COM7", "\\\\.\\COM7", false},
        {"COM12", "USB Serial Port (COM12)", "\\\\.\\COM12", true},
    };
    for (std::size_t i = 0; i < ports.size(); ++i) {
        EXPECT_EQ(ports[i].portName, expected[i].port) << i;
        EXPECT_EQ(ports[i].friendlyName, expected[i].friendly) << i;
        EXPECT_EQ(ports[i].devicePath, expected[i].device) << i;
        EXPECT_EQ(ports[i].usb, expected[i].usb) << i;
    }
    EXPECT_TRUE(MergedPorts({}, {}).empty());
}

// The system's own listing: the echoing line that ./run test-windows makes
// a port of the Wine prefix (tests/windows/wine-com-port.sh) is in the device
// map only, and listed from there; the list is in COM number order.
TEST(SetupApiPorts, APortOfTheDeviceMapIsListed) {
    const char* port = std::getenv("TORVANE_TEST_ECHO_PORT");
    if (port == nullptr) GTEST_SKIP() << "needs a port of the device map as TORVANE_TEST_ECHO_PORT";
    const auto ports = torvane::win32::SetupApiPorts().presentPorts();
    ASSERT_TRUE(ports.has_value());
    const auto listed = std::find_if(ports->begin(), ports->end(), [&](const PresentPort& p) { return p.portName == port; });
    ASSERT_NE(listed, ports->end()) << port << " is not listed";
    EXPECT_EQ(listed->devicePath, std::string("\\\\.\\") + port);
    for (std::size_t i = 1; i < ports->size(); ++i)
        EXPECT_LT(std::stoi((*ports)[i - 1].portName->substr(3)), std::stoi((*ports)[i].portName->substr(3)));
}

}  // namespace
