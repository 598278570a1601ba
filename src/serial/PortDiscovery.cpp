#include "serial/PortDiscovery.h"

namespace torvane {

namespace {

constexpr std::string_view ComPrefix = "com";
constexpr std::size_t MaxPortNameLength = PortNameCapacity - 1;
constexpr std::size_t MaxFriendlyNameLength = FriendlyNameCapacity - 1;

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool StartsWithCom(std::string_view name) {
    if (name.size() < ComPrefix.size()) return false;
    for (std::size_t i = 0; i < ComPrefix.size(); ++i)
        if (Lower(name[i]) != ComPrefix[i]) return false;
    return true;
}

// Cuts to at most `limit` bytes without splitting a UTF-8 character.
std::string Truncated(const std::string& s, std::size_t limit) {
    if (s.size() <= limit) return s;
    std::size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(s[end]) & 0xC0) == 0x80) --end;
    return s.substr(0, end);
}

int EndListing(PortDeviceSet& set) {
    set.listing = false;
    set.position = 0;
    return 0;
}

}  // namespace

PortDeviceSet OpenPortDeviceSet(PortEnumerator& enumerator) {
    PortDeviceSet set;
    if (auto devices = enumerator.presentPorts()) {
        set.valid = true;
        set.devices = std::move(*devices);
    }
    return set;
}

long ComNumber(std::string_view portName) {
    if (!StartsWithCom(portName)) return 0;
    std::string_view s = portName.substr(ComPrefix.size());
    std::size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || (s[i] >= '\t' && s[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    long n = 0;
    constexpr long Ceiling = 100000000;  // far above any port; keeps long digit runs from overflowing
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i)
        if (n < Ceiling) n = n * 10 + (s[i] - '0');
    return negative ? -n : n;
}

int NextComPort(PortDeviceSet& set, std::string& portName, std::string& friendlyName, std::string* devicePath) {
    if (!set.valid) return 0;
    if (!set.listing) {
        set.listing = true;
        set.position = 0;
    }
    for (;;) {
        if (set.position >= set.devices.size()) return EndListing(set);
        const PresentPort& device = set.devices[set.position];
        if (!device.portName || device.portName->size() > MaxPortNameLength) return EndListing(set);
        ++set.position;
        // Other devices of the same kind (printer ports, say) are passed over.
        if (!StartsWithCom(*device.portName)) continue;
        if (ComNumber(*device.portName) < 1) return EndListing(set);
        portName = *device.portName;
        friendlyName = Truncated(device.friendlyName, MaxFriendlyNameLength);
        if (devicePath) *devicePath = device.devicePath;
        return 1;
    }
}

int ClosePortDeviceSet(PortDeviceSet& set) {
    if (!set.valid) return 0;
    set = PortDeviceSet{};
    return 1;
}

std::vector<ComPort> ListComPorts(PortEnumerator& enumerator) {
    std::vector<ComPort> ports;
    PortDeviceSet set = OpenPortDeviceSet(enumerator);
    ComPort p;
    while (NextComPort(set, p.portName, p.friendlyName, &p.devicePath) == 1) {
        p.latencyTimerMs = set.devices[set.position - 1].latencyTimerMs;
        p.usb = set.devices[set.position - 1].usb;
        ports.push_back(p);
    }
    ClosePortDeviceSet(set);
    return ports;
}

}  // namespace torvane
