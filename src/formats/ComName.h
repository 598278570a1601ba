#pragma once
// COM names as users know them: port index n is "COM" + (n + 1). Both the
// port channel and the operating-system layer speak of ports this way.

#include <optional>
#include <string>
#include <string_view>

namespace torvane {

inline constexpr int MaxPortIndex = 256;  // COM1..COM257

// "COM" + (index + 1).
std::string ComName(int portIndex);
// The port index of a COM name ("COM1" to "COM257", digits only), or nothing.
std::optional<int> PortIndexOfComName(std::string_view name);

}  // namespace torvane
