#include <gtest/gtest.h>

#include <fstream>

#include "TempConfigDir.h"
#include "platform/posix/PortMap.h"
#include "platform/posix/PseudoTerminal.h"
#include "platform/posix/SysfsPorts.h"
#include "serial/PortDiscovery.h"

using namespace torvane;
namespace fs = std::filesystem;

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

// A sysfs tree and a /dev folder of our own, with the port map in a fresh
// configuration folder.
class SysfsPortsTest : public ::testing::Test {
protected:
    test::TempConfigDir config;
    fs::path sys = config.path() / "sys";
    fs::path dev = config.path() / "dev";

    static void Put(const fs::path& p, const std::string& text) {
        fs::create_directories(p.parent_path());
        std::ofstream(p) << text << "\n";
    }
    void ClassEntry(const std::string& name, const fs::path& deviceFolder) {
        fs::create_directories(deviceFolder);
        fs::create_directories(sys / "class" / "tty" / name);
        fs::create_symlink(deviceFolder, sys / "class" / "tty" / name / "device");
        Put(dev / name, "");  // the device node stands in as a plain file: nothing opens it
    }
    void Uart(const std::string& name, int type) {
        ClassEntry(name, sys / "devices" / "platform" / "serial8250" / name);
        Put(sys / "class" / "tty" / name / "type", std::to_string(type));
    }
    void Virtual(const std::string& name) { fs::create_directories(sys / "class" / "tty" / name); }

    struct Usb {
        std::string productName, manufacturer, serial, vendor = "0403", product = "6001";
    };
    // A USB device on bus port `busPort`, its serial port one interface below it.
    void UsbSerial(const std::string& name, const std::string& busPort, const Usb& u) {
        const fs::path usb = sys / "devices" / "pci0000:00" / "usb1" / busPort;
        fs::remove_all(usb);
        Put(usb / "idVendor", u.vendor);
        Put(usb / "idProduct", u.product);
        if (!u.productName.empty()) Put(usb / "product", u.productName);
        if (!u.manufacturer.empty()) Put(usb / "manufacturer", u.manufacturer);
        if (!u.serial.empty()) Put(usb / "serial", u.serial);
        ClassEntry(name, usb / (busPort + ":1.0") / name);
    }
    void ById(const std::string& id, const std::string& name) {
        fs::create_directories(dev / "serial" / "by-id");
        fs::create_symlink("../../" + name, dev / "serial" / "by-id" / id);
    }
    void Unplug() {
        fs::remove_all(sys);
        fs::remove_all(dev);
    }

    std::vector<std::string> List() {
        posix::SysfsPorts ports(sys, dev);
        std::vector<std::string> out;
        for (const auto& p : ListComPorts(ports)) out.push_back(p.portName + " | " + p.friendlyName + " | " + p.devicePath);
        return out;
    }
    std::string Dev(const std::string& name) const { return (dev / name).string(); }
    fs::path MapEntry(int com) const { return config.path() / "ports" / ("COM" + std::to_string(com)); }
};

TEST_F(SysfsPortsTest, ListsPresentPortsWithTheirComNamesAndSkipsTheRest) {
    Uart("ttyS0", 4);
    Uart("ttyS1", 0);  // phantom: no UART behind it
    Uart("ttyS2", 4);
    Virtual("tty0");
    Virtual("console");
    UsbSerial("ttyUSB0", "1-2", {"FT232R USB UART", "FTDI", "A10K"});
    ById("usb-FTDI_FT232R_USB_UART_A10K-if00-port0", "ttyUSB0");
    UsbSerial("ttyACM0", "1-3", {"", "Acme", "", "2341", "0043"});  // no serial: no identity
    ClassEntry("ttyAMA0", sys / "devices" / "platform" / "uart0" / "ttyAMA0");  // no default name
    ASSERT_EQ(posix::MapPort(4, dev / "ttyS2"), "");  // set by hand: COM5

    const std::vector<std::string> expected{
        "COM1 | Serial port ttyS0 (COM1) | " + Dev("ttyS0"),
        "COM5 | Serial port ttyS2 (COM5) | " + Dev("ttyS2"),
        "COM33 | FT232R USB UART (COM33) | " + Dev("ttyUSB0"),
        "COM34 | Serial port ttyAMA0 (COM34) | " + Dev("ttyAMA0"),
        "COM65 | Acme USB serial port (COM65) | " + Dev("ttyACM0"),
    };
    EXPECT_EQ(List(), expected);
    // The adapter is remembered by its by-id link, the other port by its device.
    EXPECT_EQ(fs::read_symlink(MapEntry(33)), dev / "serial" / "by-id" / "usb-FTDI_FT232R_USB_UART_A10K-if00-port0");
    EXPECT_EQ(fs::read_symlink(MapEntry(34)), dev / "ttyAMA0");
    EXPECT_EQ(List(), expected);  // stable from one listing to the next
}

TEST_F(SysfsPortsTest, AnAdapterKeepsItsNameInAnotherSocket) {
    const Usb a{"Adapter A", "", "AAA"}, b{"Adapter B", "", "BBB"};
    UsbSerial("ttyUSB0", "1-2", a);
    ById("usb-A", "ttyUSB0");
    EXPECT_EQ(List(), std::vector<std::string>{"COM33 | Adapter A (COM33) | " + Dev("ttyUSB0")});

    Unplug();  // B comes first now and takes ttyUSB0; A is ttyUSB1 in another socket
    UsbSerial("ttyUSB0", "1-4", b);
    ById("usb-B", "ttyUSB0");
    UsbSerial("ttyUSB1", "1-5", a);
    ById("usb-A", "ttyUSB1");
    const std::vector<std::string> expected{"COM33 | Adapter A (COM33) | " + Dev("ttyUSB1"),
                                            "COM34 | Adapter B (COM34) | " + Dev("ttyUSB0")};
    EXPECT_EQ(List(), expected);
    EXPECT_EQ(fs::weakly_canonical(*posix::DevicePathOfPort(32)), fs::weakly_canonical(dev / "ttyUSB1"));
}

TEST_F(SysfsPortsTest, PortsOfOneAdapterKeepTheirOwnNamesListingAfterListing) {
    // A two-port adapter: both interfaces carry the same serial number, and
    // there are no by-id links to tell them apart.
    const Usb dual{"Dual RS232", "", "FT1234", "0403", "6010"};
    UsbSerial("ttyUSB0", "1-2", dual);
    ClassEntry("ttyUSB1", sys / "devices" / "pci0000:00" / "usb1" / "1-2" / "1-2:1.1" / "ttyUSB1");
    const std::vector<std::string> expected{"COM33 | Dual RS232 (COM33) | " + Dev("ttyUSB0"),
                                            "COM34 | Dual RS232 (COM34) | " + Dev("ttyUSB1")};
    for (int showing = 0; showing < 3; ++showing) {
        EXPECT_EQ(List(), expected) << "showing " << showing;
        EXPECT_EQ(fs::weakly_canonical(*posix::DevicePathOfPort(32)), fs::weakly_canonical(dev / "ttyUSB0"));
        EXPECT_EQ(fs::weakly_canonical(*posix::DevicePathOfPort(33)), fs::weakly_canonical(dev / "ttyUSB1"));
    }
    EXPECT_FALSE(fs::exists(MapEntry(35)));
}

TEST_F(SysfsPortsTest, WithoutByIdLinksTheSerialNumberIsRemembered) {
    const Usb a{"Adapter A", "", "AAA"}, b{"Adapter B", "", "BBB"};
    UsbSerial("ttyUSB0", "1-2", a);
    EXPECT_EQ(List(), std::vector<std::string>{"COM33 | Adapter A (COM33) | " + Dev("ttyUSB0")});
    std::string key;
    std::getline(std::ifstream(MapEntry(33).string() + ".id"), key);
    EXPECT_EQ(key, "usb:0403:6001:AAA");

    Unplug();
    UsbSerial("ttyUSB0", "1-4", b);
    UsbSerial("ttyUSB3", "1-5", a);
    const std::vector<std::string> expected{"COM33 | Adapter A (COM33) | " + Dev("ttyUSB3"),
                                            "COM34 | Adapter B (COM34) | " + Dev("ttyUSB0")};
    EXPECT_EQ(List(), expected);
    // COM33 opens the adapter where it is now.
    EXPECT_EQ(fs::weakly_canonical(*posix::DevicePathOfPort(32)), fs::weakly_canonical(dev / "ttyUSB3"));
}

TEST_F(SysfsPortsTest, MappedPseudoTerminalsAreListedAndDanglingEntriesAreNot) {
    posix::PseudoTerminal pty;
    ASSERT_EQ(posix::MapPort(6, pty.devicePath()), "");
    ASSERT_EQ(posix::MapPort(7, config.path() / "gone"), "");
    const std::string canonical = fs::weakly_canonical(pty.devicePath()).string();
    EXPECT_EQ(List(), std::vector<std::string>{"COM7 | Pseudo-terminal " + canonical + " (COM7) | " + canonical});

    posix::SysfsPorts ports("/nonexistent/sys", dev);  // no sysfs at all: the port map alone
    const auto listed = ListComPorts(ports);
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].portIndex(), 6);
}

}  // namespace
