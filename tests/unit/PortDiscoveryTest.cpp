#include <gtest/gtest.h>

#include "serial/PortDiscovery.h"

using namespace torvane;

namespace {

// The system's answer, as a list written down in the test.
class ListedPorts : public PortEnumerator {
public:
    std::optional<std::vector<PresentPort>> ports;
    int calls = 0;
    std::optional<std::vector<PresentPort>> presentPorts() override {
        ++calls;
        return ports;
    }
};

PresentPort Named(const char* name) { return {std::string(name), std::string("Port ") + name, "/dev/x"}; }
PresentPort Unnamed() { return {std::nullopt, "No name", "/dev/y"}; }

std::vector<std::string> OneListing(PortDeviceSet& set) {
    std::vector<std::string> names;
    std::string name, friendly;
    for (int guard = 0; guard < 50 && NextComPort(set, name, friendly) == 1; ++guard) names.push_back(name);
    return names;
}

TEST(PortDiscovery, ListsComNamesUntilANameItCannotTake) {
    struct Case {
        const char* what;
        std::vector<PresentPort> devices;
        std::vector<std::string> listed;
    };
    const Case cases[] = {
        {"printer port after", {Named("COM1"), Named("LPT1")}, {"COM1"}},
        {"printer port before", {Named("LPT1"), Named("COM3")}, {"COM3"}},
        {"seven characters end it", {Named("COM1"), Named("COM1000"), Named("COM2")}, {"COM1"}},
        {"name kept as stored", {Named("com5"), Named("cOm6")}, {"com5", "cOm6"}},
        {"no name ends it", {Named("COM1"), Unnamed(), Named("COM2")}, {"COM1"}},
        {"COM alone ends it", {Named("COM2"), Named("COM"), Named("COM4")}, {"COM2"}},
        {"COM0 ends it", {Named("COM0"), Named("COM4")}, {}},
        {"negative ends it", {Named("COM-1"), Named("COM4")}, {}},
        {"number read like atoi", {Named("COM 7"), Named("COM+8"), Named("COM9x")}, {"COM 7", "COM+8", "COM9x"}},
        {"empty", {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ListedPorts system;
        system.ports = c.devices;
        PortDeviceSet set = OpenPortDeviceSet(system);
        EXPECT_EQ(OneListing(set), c.listed);
        EXPECT_EQ(OneListing(set), c.listed);  // a second listing starts at the first device again
        EXPECT_EQ(ClosePortDeviceSet(set), 1);
        EXPECT_EQ(ClosePortDeviceSet(set), 0);
        EXPECT_EQ(system.calls, 1);
    }
}

TEST(PortDiscovery, GivesBothTextsAndBoundsTheFriendlyName) {
    ListedPorts system;
    const std::string longName = std::string(298, 'a') + "\xC3\xA9" + "tail";  // é straddles byte 299
    system.ports = {{"COM4", "FT232R USB UART (COM4)", "/dev/ttyUSB0"}, {"COM5", longName, "/dev/ttyUSB1"}};
    const auto ports = ListComPorts(system);
    ASSERT_EQ(ports.size(), 2u);
    EXPECT_EQ(ports[0].portName, "COM4");
    EXPECT_EQ(ports[0].friendlyName, "FT232R USB UART (COM4)");
    EXPECT_EQ(ports[0].devicePath, "/dev/ttyUSB0");
    EXPECT_EQ(ports[0].portIndex(), 3);
    EXPECT_EQ(ports[1].friendlyName, std::string(298, 'a'));  // never half a character
}

TEST(PortDiscovery, ASetThatCannotBeHadListsNothing) {
    ListedPorts system;  // no answer
    PortDeviceSet set = OpenPortDeviceSet(system);
    EXPECT_FALSE(set.valid);
    EXPECT_TRUE(OneListing(set).empty());
    EXPECT_EQ(ClosePortDeviceSet(set), 0);
}

}  // namespace
