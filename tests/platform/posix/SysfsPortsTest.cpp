#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <optional>

#include "TempConfigDir.h"
#include "platform/posix/PortMap.h"
#include "platform/posix/PseudoTerminal.h"
#include "platform/posix/SysfsPorts.h"
#include "serial/PortDiscovery.h"

using namespace torvane;
namespace fs = std::filesystem;

namespace {

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


TEST_F(SysfsPortsTest, AnAdapterWithALatencyTimerShowsIt) {
    UsbSerial("ttyUSB0", "1-2", {"FT232R USB UART", "FTDI", "A10K"});
    Put(sys / "devices" / "pci0000:00" / "usb1" / "1-2" / "1-2:1.0" / "ttyUSB0" / "latency_timer", "16");
    UsbSerial("ttyUSB1", "1-3", {"CP2102 USB to UART Bridge Controller", "Silicon Labs", "0001", "10c4", "ea60"});
    Uart("ttyS0", 4);

    posix::SysfsPorts ports(sys, dev);
    std::map<std::string, std::optional<unsigned>> timers;
    for (const auto& p : ListComPorts(ports)) timers[p.devicePath] = p.latencyTimerMs;
    EXPECT_EQ(timers, (std::map<std::string, std::optional<unsigned>>{
                          {Dev("ttyS0"), std::nullopt}, {Dev("ttyUSB0"), 16u}, {Dev("ttyUSB1"), std::nullopt}}));
}

// A station's --all takes the ports of USB adapters only: not a UART, a
// board's own serial port or a mapped pseudo-terminal.
TEST_F(SysfsPortsTest, OnlyPortsBelowAUsbDeviceAreUsbAdapters) {
    Uart("ttyS0", 4);
    UsbSerial("ttyUSB0", "1-2", {"FT232R USB UART", "FTDI", "A10K"});
    UsbSerial("ttyACM0", "1-3", {"", "Acme", "", "2341", "0043"});
    ClassEntry("ttyAMA0", sys / "devices" / "platform" / "uart0" / "ttyAMA0");
    posix::PseudoTerminal pty;
    ASSERT_EQ(posix::MapPort(6, pty.devicePath()), "");

    posix::SysfsPorts ports(sys, dev);
    std::map<std::string, bool> usb;
    for (const auto& p : ListComPorts(ports)) usb[p.portName] = p.usb;
    EXPECT_EQ(usb, (std::map<std::string, bool>{
                       {"COM1", false}, {"COM7", false}, {"COM33", true}, {"COM34", false}, {"COM65", true}}));
}

}  // namespace
