#pragma once
// The serial ports present, from two places Windows keeps them:
// - SetupAPI's "Ports" device class: each device's "PortName" from its
//   hardware key and its friendly name ("USB Serial Port (COM7)"). Printer
//   ports of the same class are left out.
// - HKEY_LOCAL_MACHINE\HARDWARE\DEVICEMAP\SERIALCOMM, where every serial
//   driver enters the COM name of each port it has started. Ports outside the
//   class (a virtual null-modem pair, say) are only there; they are listed
//   with their COM name as friendly name, which the port dialog shows.
// Sorted by COM number, so the list keeps its order whatever order the
// system enumerates the devices in.

#include <string>
#include <vector>

#include "platform/PortEnumerator.h"

namespace torvane::win32 {

class SetupApiPorts final : public PortEnumerator {
public:
    // Nothing when neither place can be read at all.
    std::optional<std::vector<PresentPort>> presentPorts() override;
};

// The ports of the class, then every COM name of the device map that none of
// them has, in COM number order; names that are no COM name are left out.
std::vector<PresentPort> MergedPorts(std::vector<PresentPort> ofClass, const std::vector<std::string>& deviceMapNames);

}  // namespace torvane::win32
