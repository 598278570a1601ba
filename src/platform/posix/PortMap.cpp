#include "platform/posix/PortMap.h"

#include <cstdlib>
#include <system_error>

#include "formats/ComName.h"

namespace torvane::posix {

namespace fs = std::filesystem;

namespace {

// first port index, device name prefix, how many
struct DefaultRange {
    int firstIndex;
    const char* prefix;
    int count;
};
constexpr DefaultRange Defaults[] = {
    {0, "/dev/ttyS", 32},
    {32, "/dev/ttyUSB", 32},
    {64, "/dev/ttyACM", 32},
};

}  // namespace

fs::path ConfigDir() {
    if (const char* d = std::getenv("TORVANE_CONFIG_DIR"); d && *d) return d;
    if (const char* x = std::getenv("XDG_CONFIG_HOME"); x && *x) return fs::path(x) / "torvane";
    if (const char* h = std::getenv("HOME"); h && *h) return fs::path(h) / ".config" / "torvane";
    return fs::path(".config") / "torvane";
}

fs::path PortMapDir() { return ConfigDir() / "ports"; }

std::optional<fs::path> DefaultDevicePath(int portIndex) {
    for (const auto& r : Defaults)
        if (portIndex >= r.firstIndex && portIndex < r.firstIndex + r.count)
            return fs::path(std::string(r.prefix) + std::to_string(portIndex - r.firstIndex));
    return std::nullopt;
}

std::optional<fs::path> DevicePathOfPort(int portIndex) {
    if (portIndex < 0 || portIndex > MaxPortIndex) return std::nullopt;
    const fs::path entry = PortMapDir() / ("COM" + std::to_string(portIndex + 1));
    std::error_code ec;
    if (fs::is_symlink(entry, ec) || fs::exists(entry, ec)) return entry;
    return DefaultDevicePath(portIndex);
}

std::optional<int> PortIndexOfDevice(const fs::path& device) {
    std::error_code ec;
    const fs::path wanted = fs::weakly_canonical(device, ec);
    for (const auto& e : fs::directory_iterator(PortMapDir(), ec)) {
        const auto index = PortIndexOfComName(e.path().filename().string());
        if (!index) continue;
        std::error_code ec2;
        if (e.path() == device || fs::weakly_canonical(e.path(), ec2) == wanted) return index;
    }
    for (const auto& r : Defaults) {
        const std::string p = device.string();
        const std::string prefix = r.prefix;
        if (p.compare(0, prefix.size(), prefix) != 0 || p.size() == prefix.size()) continue;
        int n = 0;
        bool digits = true;
        for (std::size_t i = prefix.size(); i < p.size(); ++i) {
            if (p[i] < '0' || p[i] > '9') digits = false;
            else n = n * 10 + (p[i] - '0');
            if (n > 1000) digits = false;
        }
        if (digits && n < r.count) return r.firstIndex + n;
    }
    return std::nullopt;
}

std::string MapPort(int portIndex, const fs::path& target) {
    if (portIndex < 0 || portIndex > MaxPortIndex) return "port index outside COM1..COM257";
    std::error_code ec;
    fs::create_directories(PortMapDir(), ec);
    if (ec) return "cannot create " + PortMapDir().string() + ": " + ec.message();
    const fs::path entry = PortMapDir() / ("COM" + std::to_string(portIndex + 1));
    const fs::path tmp = entry.string() + ".new";
    fs::remove(tmp, ec);
    fs::create_symlink(target, tmp, ec);
    if (ec) return "cannot create " + tmp.string() + ": " + ec.message();
    fs::rename(tmp, entry, ec);  // atomic: a reader sees the old link or the new one
    if (ec) return "cannot replace " + entry.string() + ": " + ec.message();
    return {};
}

}  // namespace torvane::posix
