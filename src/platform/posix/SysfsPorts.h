#pragma once
// The serial ports present, from sysfs (/sys/class/tty) and the port map,
// without opening any of them.
//
// A port's COM name comes from the port map, else from the built-in default
// of its device (PortMap.h). A USB adapter keeps its COM name from socket to
// socket: the first time it is seen it gets the lowest free number from COM33
// up, remembered in the port map as COM<n> -> /dev/serial/by-id/<id>, or,
// where the system keeps no by-id links, as COM<n> -> its device with its
// vendor:product:serial in COM<n>.id (the link then follows the adapter to
// whichever device it is plugged in as). Every port map entry whose target
// exists is listed too (pseudo-terminals, for instance).

#include <filesystem>

#include "platform/PortEnumerator.h"

namespace torvane::posix {

inline constexpr int FirstAdapterComNumber = 33;  // USB adapters are remembered from COM33 up

class SysfsPorts final : public PortEnumerator {
public:
    // `sysRoot` holds class/tty and the device folders; `devRoot` the device
    // nodes and serial/by-id. The port map is PortMapDir().
    explicit SysfsPorts(std::filesystem::path sysRoot = "/sys", std::filesystem::path devRoot = "/dev");

    // Sorted by COM number. Never fails: an unreadable sysfs lists the port map alone.
    std::optional<std::vector<PresentPort>> presentPorts() override;

private:
    std::filesystem::path sysRoot_;
    std::filesystem::path devRoot_;
};

}  // namespace torvane::posix
