#pragma once
// The serial ports present, from SetupAPI's "Ports" device class: each
// device's "PortName" from its hardware key and its friendly name. Printer
// ports of the same class are left out. Sorted by COM number, so the list
// keeps its order whatever order the system enumerates the devices in.

#include "platform/PortEnumerator.h"

namespace torvane::win32 {

class SetupApiPorts final : public PortEnumerator {
public:
    // Nothing when the class cannot be listed at all.
    std::optional<std::vector<PresentPort>> presentPorts() override;
};

}  // namespace torvane::win32
