#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <string>

#include "TempConfigDir.h"
#include "platform/posix/PortMap.h"

using namespace torvane::posix;
namespace fs = std::filesystem;

namespace {

TEST(PortMap, DefaultsMapEntriesAndLimits) {
    torvane::test::TempConfigDir config;
    const fs::path device = config.path() / "usb-adapter";
    std::ofstream(device).put('x');
    ASSERT_EQ(MapPort(3, device), "");

    // port index, the device it opens (nullopt: none); a device maps back to its index
    const struct {
        int index;
        std::optional<std::string> path;
    } cases[] = {
        {0, "/dev/ttyS0"},    {31, "/dev/ttyS31"},   {32, "/dev/ttyUSB0"}, {63, "/dev/ttyUSB31"},
        {64, "/dev/ttyACM0"}, {95, "/dev/ttyACM31"}, {96, std::nullopt},   {256, std::nullopt},
        {257, std::nullopt},  {-1, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.index);
        const auto path = DevicePathOfPort(c.index);
        ASSERT_EQ(path.has_value(), c.path.has_value());
        if (!path) continue;
        EXPECT_EQ(path->string(), *c.path);
        EXPECT_EQ(PortIndexOfDevice(*path), c.index);
    }

    // The map entry wins over the default /dev/ttyS3, both ways.
    const auto mapped = DevicePathOfPort(3);
    ASSERT_TRUE(mapped);
    EXPECT_EQ(fs::canonical(*mapped), fs::canonical(device));
    EXPECT_EQ(PortIndexOfDevice(device), 3);

    EXPECT_FALSE(PortIndexOfDevice("/dev/ttyS32"));
    EXPECT_FALSE(PortIndexOfDevice("/dev/ttyUSBx"));
    EXPECT_NE(MapPort(257, device), "");
}

}  // namespace
