#pragma once
// What the port dialog does apart from drawing: two parallel lists (the
// friendly names the user sees, the port names the choice is read from),
// filled from port discovery, and the OK that switches the run's port.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace torvane {

class PortEnumerator;
struct FrontEndContext;

// The port index a port name stands for: the first run of characters between
// the upper-case letters 'C', 'O' and 'M', read as a signed decimal number
// (leading digits, 0 without any), minus one. An empty name or one without
// such a run gives 0. "COM1" -> 0, "COM12" -> 11, "com5" -> -1.
std::int16_t PortIndexOfName(std::string_view portName);

struct PortLists {
    std::vector<std::string> friendlyNames;  // what the user sees
    std::vector<std::string> portNames;      // never shown; the choice is read here

    // Both lists from port discovery, in discovery order.
    static PortLists Discover(PortEnumerator& ports);
    // The list position of a port index; 0 when the port is not listed.
    int EntryOfPort(std::int16_t portIndex) const;
    // The port index of a list position; a position outside the list gives 0.
    std::int16_t PortIndexOfEntry(int position) const;
};

// The dialog's OK on list position `position`: a port other than the current
// one becomes CurrentPort, the front end's port panel names it, and it is
// opened at once (a failure is reported beside its name).
void ChoosePort(FrontEndContext& ctx, const PortLists& lists, int position);

}  // namespace torvane
