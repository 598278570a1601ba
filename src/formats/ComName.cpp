#include "formats/ComName.h"

namespace torvane {

std::string ComName(int portIndex) { return "COM" + std::to_string(portIndex + 1); }

std::optional<int> PortIndexOfComName(std::string_view name) {
    constexpr std::string_view Prefix = "COM";
    constexpr std::size_t MostDigits = 3;  // COM257
    if (!name.starts_with(Prefix) || name.size() == Prefix.size() || name.size() > Prefix.size() + MostDigits)
        return std::nullopt;
    int n = 0;
    for (char c : name.substr(Prefix.size())) {
        if (c < '0' || c > '9') return std::nullopt;
        n = n * 10 + (c - '0');
    }
    if (n < 1 || n - 1 > MaxPortIndex) return std::nullopt;
    return n - 1;
}

}  // namespace torvane
