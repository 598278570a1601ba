#include "ui/PortChoice.h"

#include <cctype>

#include "bootloader/DeviceSearch.h"
#include "formats/ComName.h"
#include "serial/PortDiscovery.h"
#include "ui/FrontEndContext.h"

namespace torvane {

namespace {

constexpr std::string_view PortNameSeparators = "COM";  // upper case only

bool SameIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i]))) return false;
    return true;
}

}  // namespace

std::int16_t PortIndexOfName(std::string_view portName) {
    const std::size_t begin = portName.find_first_not_of(PortNameSeparators);
    if (portName.empty() || begin == std::string_view::npos) return 0;
    const std::size_t end = portName.find_first_of(PortNameSeparators, begin);
    const std::string_view token = portName.substr(begin, end == std::string_view::npos ? end : end - begin);
    // Signed decimal value of the token's leading digits; 0 without any.
    std::size_t i = 0;
    bool negative = false;
    if (i < token.size() && (token[i] == '+' || token[i] == '-')) negative = token[i++] == '-';
    long value = 0;
    for (; i < token.size() && std::isdigit(static_cast<unsigned char>(token[i])) != 0 && value < 1000000; ++i)
        value = value * 10 + (token[i] - '0');
    if (negative) value = -value;
    return static_cast<std::int16_t>(value - 1);
}

PortLists PortLists::Discover(PortEnumerator& ports) {
    PortLists lists;
    PortDeviceSet set = OpenPortDeviceSet(ports);
    std::string portName;
    std::string friendlyName;
    while (NextComPort(set, portName, friendlyName) == 1) {
        lists.friendlyNames.push_back(friendlyName);
        lists.portNames.push_back(portName);
    }
    ClosePortDeviceSet(set);
    return lists;
}

int PortLists::EntryOfPort(std::int16_t portIndex) const {
    const std::string wanted = ComName(portIndex);
    for (std::size_t i = 0; i < portNames.size(); ++i)
        if (SameIgnoringCase(portNames[i], wanted)) return static_cast<int>(i);
    return 0;
}

std::int16_t PortLists::PortIndexOfEntry(int position) const {
    if (position < 0 || static_cast<std::size_t>(position) >= portNames.size()) return 0;
    return PortIndexOfName(portNames[static_cast<std::size_t>(position)]);
}

void ChoosePort(FrontEndContext& ctx, const PortLists& lists, int position) {
    const std::int16_t index = lists.PortIndexOfEntry(position);
    if (index == ctx.port.CurrentPort) return;
    ctx.port.CurrentPort = index;
    // The port panel names the new port before anything can be said about
    // it, so that a failure to open it stands beside its own name.
    ctx.front().ShowPort(ctx.port.CurrentPort);
    ReopenPort(ctx);  // the new port is opened at once
}

}  // namespace torvane
