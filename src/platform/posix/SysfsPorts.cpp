#include "platform/posix/SysfsPorts.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <system_error>

#include "platform/posix/LowLatency.h"
#include "platform/posix/PortMap.h"
#include "formats/ComName.h"

namespace torvane::posix {

namespace fs = std::filesystem;

namespace {

constexpr int MaxComNumber = MaxPortIndex + 1;  // COM1..COM257
constexpr std::string_view PhantomPortType = "0";  // serial core: no UART behind the name
constexpr std::string_view PseudoTerminalFolder = "/dev/pts/";
constexpr std::string_view IdSuffix = ".id";
constexpr std::size_t MaxAttributeBytes = 4096;

std::vector<fs::path> Entries(const fs::path& dir) {
    std::vector<fs::path> out;
    std::error_code ec;
    fs::directory_iterator it(dir, ec), end;
    for (; !ec && it != end; it.increment(ec)) out.push_back(it->path());
    std::sort(out.begin(), out.end());
    return out;
}

bool Exists(const fs::path& p) {
    std::error_code ec;
    return fs::exists(p, ec);
}

fs::path Resolved(const fs::path& p) {
    std::error_code ec;
    fs::path r = fs::weakly_canonical(p, ec);
    return ec ? p : r;
}

// First line of a sysfs attribute, without surrounding blanks; empty when missing.
std::string Attribute(const fs::path& p) {
    std::ifstream in(p);
    std::string line;
    if (!in || !std::getline(in, line)) return {};
    if (line.size() > MaxAttributeBytes) line.resize(MaxAttributeBytes);
    const auto first = line.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return {};
    return line.substr(first, line.find_last_not_of(" \t\r\n") - first + 1);
}


// The COM number a device name gets by default (ttyS0 -> 1), or 0.
int DefaultComNumber(const std::string& name) {
    for (int index = 0; index < MaxComNumber; ++index)
        if (auto p = DefaultDevicePath(index); p && p->filename() == name) return index + 1;
    return 0;
}

// Orders tty names as people count: ttyUSB2 before ttyUSB10.
bool NaturalLess(const std::string& a, const std::string& b) {
    auto split = [](const std::string& s) {
        std::size_t i = s.size();
        while (i > 0 && s[i - 1] >= '0' && s[i - 1] <= '9') --i;
        const long n = (i < s.size() && s.size() - i < 9) ? std::stol(s.substr(i)) : -1;
        return std::pair<std::string, long>(s.substr(0, i), n);
    };
    return split(a) < split(b);
}

struct Tty {
    std::string name;   // ttyUSB0
    fs::path device;    // <dev>/ttyUSB0
    fs::path resolved;  // the device with every link followed
    std::string product, manufacturer;
    std::optional<fs::path> byId;  // <dev>/serial/by-id/<id> pointing at it
    std::string usbKey;            // usb:<vendor>:<product>:<serial>, when it has a serial
    std::optional<unsigned> latencyTimerMs;
    bool usb = false;  // below a USB device
    int com = 0;
    bool hasIdentity() const { return byId || !usbKey.empty(); }
};

struct MapEntry {
    fs::path link;
    std::optional<fs::path> target;  // the link's own text
    fs::path resolved;
    bool targetExists = false;
    std::string idKey;  // from COM<n>.id: the adapter this number belongs to
};

std::map<int, MapEntry> ReadPortMap() {
    std::map<int, MapEntry> map;
    for (const auto& p : Entries(PortMapDir())) {
        const std::string file = p.filename().string();
        const bool idFile = file.size() > IdSuffix.size() && file.ends_with(IdSuffix);
        const auto index = PortIndexOfComName(idFile ? file.substr(0, file.size() - IdSuffix.size()) : file);
        if (!index) continue;
        const int n = *index + 1;
        MapEntry& e = map[n];
        if (idFile) {
            e.idKey = Attribute(p);
            continue;
        }
        e.link = p;
        std::error_code ec;
        if (fs::is_symlink(p, ec)) e.target = fs::read_symlink(p, ec);
        e.resolved = Resolved(p);
        e.targetExists = Exists(p);
    }
    return map;
}

// Writes COM<n>.id through a temporary file, so a reader never sees half of it.
void RememberIdentity(int n, const std::string& key) {
    const fs::path file = PortMapDir() / (ComName(n - 1) + std::string(IdSuffix));
    const fs::path temp = file.string() + ".new";
    {
        std::ofstream out(temp, std::ios::trunc);
        out << key << "\n";
        if (!out.flush()) return;
    }
    std::error_code ec;
    fs::rename(temp, file, ec);
    if (ec) fs::remove(temp, ec);
}

std::string FriendlyName(const Tty& t) {
    const std::string com = " (" + ComName(t.com - 1) + ")";
    if (!t.product.empty()) return t.product + com;
    if (!t.manufacturer.empty()) return t.manufacturer + " USB serial port" + com;
    return "Serial port " + t.name + com;
}

using ByIdLinks = std::vector<std::pair<fs::path, fs::path>>;  // link, the device it resolves to

ByIdLinks ReadByIdLinks(const fs::path& devRoot) {
    ByIdLinks links;
    for (const auto& link : Entries(devRoot / "serial" / "by-id")) links.emplace_back(link, Resolved(link));
    return links;
}

// What the USB device a tty sits below says about it. That device's folder is
// the nearest one above the tty's that names a vendor; a tty with none is no
// USB adapter and stays as it is.
void DescribeUsbAdapter(Tty& t, const fs::path& sysEntry, const fs::path& sysResolved, const ByIdLinks& byIdLinks) {
    for (fs::path dir = Resolved(sysEntry / "device");
         dir.has_relative_path() && dir != sysResolved && dir.string().starts_with(sysResolved.string());
         dir = dir.parent_path()) {
        if (!Exists(dir / "idVendor")) continue;
        t.usb = true;
        t.product = Attribute(dir / "product");
        t.manufacturer = Attribute(dir / "manufacturer");
        const std::string serial = Attribute(dir / "serial");
        if (!serial.empty())
            t.usbKey = "usb:" + Attribute(dir / "idVendor") + ":" + Attribute(dir / "idProduct") + ":" + serial;
        for (const auto& [link, target] : byIdLinks)
            if (target == t.resolved) {
                t.byId = link;
                break;
            }
        return;
    }
}

// The ports sysfs knows, in natural order of their names.
std::vector<Tty> ReadTtys(const fs::path& sysRoot, const fs::path& devRoot) {
    const fs::path sysResolved = Resolved(sysRoot);
    const ByIdLinks byIdLinks = ReadByIdLinks(devRoot);
    std::vector<Tty> ttys;
    for (const auto& entry : Entries(sysRoot / "class" / "tty")) {
        // Only names with a device behind them are ports; virtual consoles have none.
        if (!Exists(entry / "device")) continue;
        if (Exists(entry / "type") && Attribute(entry / "type") == PhantomPortType) continue;
        Tty t;
        t.name = entry.filename().string();
        t.device = devRoot / t.name;
        t.resolved = Resolved(t.device);
        t.latencyTimerMs = LatencyTimerMs(sysRoot, t.name);
        DescribeUsbAdapter(t, entry, sysResolved, byIdLinks);
        ttys.push_back(std::move(t));
    }
    std::sort(ttys.begin(), ttys.end(), [](const Tty& a, const Tty& b) { return NaturalLess(a.name, b.name); });
    return ttys;
}

// The port map and the COM numbers given out so far: each number goes to one
// port only, the first that claims it.
struct Numbering {
    std::map<int, MapEntry> map = ReadPortMap();
    std::set<int> claimed;

    bool taken(int n) const { return claimed.count(n) != 0; }
    void claim(Tty& t, int n) {
        if (n == 0 || taken(n)) return;
        t.com = n;
        claimed.insert(n);
    }
};

// Adapters remembered by their identity: first the entries that still point
// at the port, then, for an adapter in another socket, a free entry of its
// identity follows it to its new device node (without a by-id link the entry
// names a device node). Ports of one adapter share an identity, so no entry
// is taken twice or moved away from a port that is still where it was.
void NumberRememberedAdapters(std::vector<Tty>& ttys, Numbering& numbers) {
    auto remembers = [](const Tty& t, const MapEntry& e) {
        return (t.byId && e.target == *t.byId) || (!t.usbKey.empty() && e.idKey == t.usbKey);
    };
    for (auto& t : ttys) {
        for (const auto& [n, e] : numbers.map) {
            if (numbers.taken(n) || !remembers(t, e)) continue;
            if ((t.byId && e.target == *t.byId) || (e.targetExists && e.resolved == t.resolved)) {
                numbers.claim(t, n);
                break;
            }
        }
    }
    for (auto& t : ttys) {
        if (t.com) continue;
        for (auto& [n, e] : numbers.map) {
            if (numbers.taken(n) || !remembers(t, e) || !MapPort(n - 1, t.device).empty()) continue;
            e.resolved = t.resolved;
            e.targetExists = true;
            numbers.claim(t, n);
            break;
        }
    }
}

// Entries pointing at the device itself (set by hand, or by an earlier run).
void NumberMappedDevices(std::vector<Tty>& ttys, Numbering& numbers) {
    for (auto& t : ttys) {
        if (t.com) continue;
        for (const auto& [n, e] : numbers.map)
            if (e.idKey.empty() && e.targetExists && e.resolved == t.resolved && !numbers.taken(n)) {
                numbers.claim(t, n);
                break;
            }
    }
}

// The built-in default, unless the port map gives that name to something else.
void ClaimDefault(Tty& t, Numbering& numbers) {
    const int d = DefaultComNumber(t.name);
    if (d && !numbers.map.count(d)) numbers.claim(t, d);
}

void NumberByDefault(std::vector<Tty>& ttys, Numbering& numbers) {
    for (auto& t : ttys)
        if (!t.com && !t.hasIdentity()) ClaimDefault(t, numbers);
}

// New adapters first, then ports without a usable default: the lowest free
// number from COM33 up, remembered in the port map.
void NumberTheRest(std::vector<Tty>& ttys, Numbering& numbers) {
    std::stable_partition(ttys.begin(), ttys.end(), [](const Tty& t) { return t.hasIdentity(); });
    for (auto& t : ttys) {
        if (t.com) continue;
        int n = FirstAdapterComNumber;
        while (n <= MaxComNumber && (numbers.map.count(n) || numbers.taken(n))) ++n;
        if (n <= MaxComNumber && MapPort(n - 1, t.byId ? *t.byId : t.device).empty()) {
            if (!t.byId && !t.usbKey.empty()) RememberIdentity(n, t.usbKey);
            numbers.map[n].link = PortMapDir() / ComName(n - 1);
            numbers.claim(t, n);
            continue;
        }
        // Nothing can be remembered here: the default still opens the device.
        ClaimDefault(t, numbers);
    }
}

// The numbered ports, then every other port map entry whose target exists,
// sorted by COM number.
std::vector<PresentPort> Listing(const std::vector<Tty>& ttys, const Numbering& numbers) {
    std::vector<std::pair<int, PresentPort>> found;
    std::set<fs::path> listedDevices;
    for (const auto& t : ttys) {
        if (!t.com) continue;  // no name would open it
        found.push_back({t.com, {ComName(t.com - 1), FriendlyName(t), t.device.string(), t.latencyTimerMs, t.usb}});
        listedDevices.insert(t.resolved);
    }
    for (const auto& [n, e] : numbers.map) {
        if (numbers.taken(n) || !e.idKey.empty() || !e.targetExists || listedDevices.count(e.resolved)) continue;
        const std::string target = e.resolved.string();
        const std::string kind = target.starts_with(PseudoTerminalFolder) ? "Pseudo-terminal " : "Serial device ";
        found.push_back({n, {ComName(n - 1), kind + target + " (" + ComName(n - 1) + ")", target}});
        listedDevices.insert(e.resolved);
    }
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<PresentPort> ports;
    for (auto& f : found) ports.push_back(std::move(f.second));
    return ports;
}

}  // namespace

SysfsPorts::SysfsPorts(fs::path sysRoot, fs::path devRoot) : sysRoot_(std::move(sysRoot)), devRoot_(std::move(devRoot)) {}

std::optional<std::vector<PresentPort>> SysfsPorts::presentPorts() {
    std::vector<Tty> ttys = ReadTtys(sysRoot_, devRoot_);
    Numbering numbers;
    NumberRememberedAdapters(ttys, numbers);
    NumberMappedDevices(ttys, numbers);
    NumberByDefault(ttys, numbers);
    NumberTheRest(ttys, numbers);
    return Listing(ttys, numbers);
}

}  // namespace torvane::posix
