#pragma once
// COM names on this machine. Port index n is "COM" + (n + 1), as users know it.
// An index maps to a device through the port map, a folder of symbolic links
// $TORVANE_CONFIG_DIR/ports/COM<n> -> device. Entries there win. Without one,
// the built-in defaults hold:
//
//   COM1  .. COM32   /dev/ttyS0   .. /dev/ttyS31
//   COM33 .. COM64   /dev/ttyUSB0 .. /dev/ttyUSB31
//   COM65 .. COM96   /dev/ttyACM0 .. /dev/ttyACM31
//
// so the same device always gets the same COM name.

#include <filesystem>
#include <optional>
#include <string>

namespace torvane::posix {

// $TORVANE_CONFIG_DIR, else $XDG_CONFIG_HOME/torvane, else ~/.config/torvane.
std::filesystem::path ConfigDir();
std::filesystem::path PortMapDir();

// The device path a port index opens: the port map's entry, else the default.
// Nothing for an index outside 0..256 or without a default.
std::optional<std::filesystem::path> DevicePathOfPort(int portIndex);
// The built-in default alone.
std::optional<std::filesystem::path> DefaultDevicePath(int portIndex);

// The port index of a device: the port map entry pointing at it (its link or
// its resolved target), else the built-in default. Nothing when neither names it.
std::optional<int> PortIndexOfDevice(const std::filesystem::path& device);

// Points COM<index+1> at `target` (replacing an earlier entry). Returns an
// empty text on success, else why it failed.
std::string MapPort(int portIndex, const std::filesystem::path& target);

}  // namespace torvane::posix
