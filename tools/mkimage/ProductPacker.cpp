#include "tools/mkimage/ProductPacker.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <fstream>
#include <map>
#include <sstream>

#include "images/Scramble.h"

namespace torvane::mkimage {

namespace {

constexpr std::size_t MaxProgramBytes = 0x40000;  // beyond every supported part
constexpr std::size_t MaxEepromBytes = 256;       // the frame carries one index byte
constexpr std::size_t MaxHardwareNameLength = 14;
constexpr int HardwareNameCount = 33;

std::string Trim(std::string_view s) {
    std::size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return std::string(s.substr(b, e - b));
}

std::string StripComment(std::string_view line) {
    auto hash = line.find('#');
    return Trim(line.substr(0, hash));
}

std::vector<std::string> Lines(std::string_view text) {
    std::vector<std::string> out;
    std::string cur;
    for (char c : text) {
        if (c == '\n') {
            out.push_back(cur);
            cur.clear();
        } else if (c != '\r') {
            cur.push_back(c);
        }
    }
    if (!cur.empty()) out.push_back(cur);
    return out;
}

std::vector<std::string> Words(std::string_view s) {
    std::istringstream in{std::string(s)};
    std::vector<std::string> w;
    for (std::string t; in >> t;) w.push_back(t);
    return w;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A number in decimal or with 0x; nullopt when it is neither or out of range.
std::optional<long> ParseNumber(std::string_view s, long max) {
    int base = 10;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        base = 16;
        s.remove_prefix(2);
    }
    long v = 0;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v, base);
    if (ec != std::errc{} || p != s.data() + s.size() || v < 0 || v > max) return std::nullopt;
    return v;
}

std::string ReadFile(const std::filesystem::path& path, const std::string& from, int line) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw PackError(from, line, "cannot read " + path.string());
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string CxxString(std::string_view s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\' && c != '?') {
            out.push_back(static_cast<char>(c));
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\%03o", c);
            out += buf;
        }
    }
    return out + "\"";
}

void EmitArray(std::ostringstream& out, const std::string& name, const Bytes& bytes) {
    // Placeholders and empty lists still get one byte, so every pointer is valid.
    const Bytes& b = bytes.empty() ? Bytes{0xFF} : bytes;
    out << "constexpr std::uint8_t " << name << "[" << b.size() << "] = {";
    for (std::size_t i = 0; i < b.size(); ++i) {
        if (i % 16 == 0) out << "\n   ";
        char buf[8];
        std::snprintf(buf, sizeof buf, " 0x%02X,", b[i]);
        out << buf;
    }
    out << "\n};\n";
}

}  // namespace

PackError::PackError(const std::string& f, int l, const std::string& message)
    : std::runtime_error(f + ":" + std::to_string(l) + ": " + message), file(f), line(l) {}

std::vector<HexRecord> ReadHexRecords(std::string_view text, const std::string& file) {
    std::vector<HexRecord> records;
    std::uint32_t upper = 0;  // extended address bits above 15
    bool ended = false;
    int lineNo = 0;
    for (const auto& raw : Lines(text)) {
        ++lineNo;
        const std::string line = Trim(raw);
        if (line.empty()) continue;
        if (ended) throw PackError(file, lineNo, "record after the end-of-file record");
        if (line[0] != ':') throw PackError(file, lineNo, "malformed HEX record: no ':' at the start");
        if (line.size() < 11 || (line.size() - 1) % 2 != 0)
            throw PackError(file, lineNo, "malformed HEX record: bad length");
        Bytes rec;
        for (std::size_t i = 1; i < line.size(); i += 2) {
            int hi = HexDigit(line[i]), lo = HexDigit(line[i + 1]);
            if (hi < 0 || lo < 0) throw PackError(file, lineNo, "malformed HEX record: not a hexadecimal digit");
            rec.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
        }
        const std::size_t count = rec[0];
        if (rec.size() != count + 5)
            throw PackError(file, lineNo, "malformed HEX record: byte count does not match the record");
        std::uint8_t sum = 0;
        for (auto b : rec) sum = static_cast<std::uint8_t>(sum + b);
        if (sum != 0) throw PackError(file, lineNo, "bad record checksum");
        const std::uint32_t offset = (std::uint32_t{rec[1]} << 8) | rec[2];
        switch (rec[3]) {
        case 0x00:
            // An empty data record places nothing, wherever it points.
            if (count > 0) records.push_back({upper + offset, Bytes(rec.begin() + 4, rec.begin() + 4 + count), lineNo});
            break;
        case 0x01:
            ended = true;
            break;
        case 0x02:
        case 0x04:
            if (count != 2) throw PackError(file, lineNo, "malformed HEX record: address record needs 2 bytes");
            upper = (std::uint32_t{rec[4]} << 8 | rec[5]) << (rec[3] == 0x04 ? 16 : 4);
            break;
        case 0x03:
        case 0x05:
            break;  // start address: meaningless for a boot loader transfer
        default:
            throw PackError(file, lineNo, "malformed HEX record: unknown record type");
        }
    }
    if (!ended) throw PackError(file, lineNo, "no end-of-file record");
    return records;
}

namespace {

std::uint64_t EndOf(const HexRecord& r) { return std::uint64_t{r.address} + r.bytes.size(); }

void PlaceAt(Bytes& into, std::size_t at, const Bytes& bytes) {
    if (into.size() < at + bytes.size()) into.resize(at + bytes.size(), 0xFF);
    std::copy(bytes.begin(), bytes.end(), into.begin() + static_cast<std::ptrdiff_t>(at));
}

std::string HexNumber(std::uint64_t v) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "0x%llX", static_cast<unsigned long long>(v));
    return buf;
}

const char* FamilyName(ChipFamily f) { return f == ChipFamily::Dspic ? "dsPIC33/PIC24" : "PIC18"; }

enum class HexUse { Skip, Eeprom };

struct HexRegion {
    ChipFamily family;
    std::uint32_t first;  // HEX byte addresses, inclusive
    std::uint32_t last;
    const char* what;
    HexUse use;
};

// What compilers write beyond program memory. The boot loader writes program
// memory and (PIC18) data EEPROM only, so configuration and ID words are left
// to the programmer that installed the boot loader; the device ID is read-only.
// dsPIC33/PIC24 HEX addresses are twice the device address: the configuration
// registers of the dsPIC33FJ/PIC24HJ 64 and 128 KB parts (0xF80000-0xF80017)
// and the device ID (0xFF0000-0xFF0003). Anything nearby is refused rather
// than guessed at.
// family, first and last HEX address, what lies there, what becomes of it
constexpr HexRegion HexRegions[] = {
    {ChipFamily::Pic18, 0x200000, 0x200007, "user ID words", HexUse::Skip},
    {ChipFamily::Pic18, 0x300000, 0x30000F, "configuration words", HexUse::Skip},
    {ChipFamily::Pic18, 0x3FFFFE, 0x3FFFFF, "device ID", HexUse::Skip},
    {ChipFamily::Pic18, 0xF00000, 0xF003FF, "data EEPROM", HexUse::Eeprom},
    {ChipFamily::Dspic, 0x1F00000, 0x1F0002F, "configuration words", HexUse::Skip},
    {ChipFamily::Dspic, 0x1FE0000, 0x1FE0007, "device ID", HexUse::Skip},
};
constexpr std::size_t HexRegionCount = sizeof HexRegions / sizeof HexRegions[0];

}  // namespace

Bytes ParseIntelHex(std::string_view text, const std::string& file) {
    Bytes image;
    for (const auto& r : ReadHexRecords(text, file)) {
        if (EndOf(r) > MaxProgramBytes) throw PackError(file, r.line, "data outside program memory");
        PlaceAt(image, r.address, r.bytes);
    }
    return image;
}

HexContent SortHexRecords(const std::vector<HexRecord>& records, ChipFamily family, const std::string& file) {
    HexContent out;
    struct Seen {
        std::uint32_t low, high;
        int line;
    };
    std::array<std::optional<Seen>, HexRegionCount> skipped;
    int eepromOverflowLine = 0;
    for (const auto& r : records) {
        const std::uint64_t end = EndOf(r);
        if (end <= MaxProgramBytes) {
            PlaceAt(out.program, r.address, r.bytes);
            continue;
        }
        if (r.address < MaxProgramBytes)
            throw PackError(file, r.line, "data outside program memory: the record runs past " +
                                              HexNumber(MaxProgramBytes - 1));
        std::size_t k = 0;
        while (k < HexRegionCount && !(HexRegions[k].family == family && r.address >= HexRegions[k].first &&
                                       r.address <= HexRegions[k].last))
            ++k;
        if (k == HexRegionCount)
            throw PackError(file, r.line, "data at " + HexNumber(r.address) +
                                              " lies outside program memory and every other region a " +
                                              FamilyName(family) + " HEX file may hold");
        const HexRegion& region = HexRegions[k];
        const auto last = static_cast<std::uint32_t>(end - 1);
        if (last > region.last)
            throw PackError(file, r.line, std::string("record runs past the end of the ") + region.what + " (" +
                                              HexNumber(region.first) + "-" + HexNumber(region.last) + ")");
        if (region.use == HexUse::Eeprom) {
            const std::size_t at = r.address - region.first;
            if (out.eepromLine == 0) out.eepromLine = r.line;
            if (at + r.bytes.size() > MaxEepromBytes && eepromOverflowLine == 0) eepromOverflowLine = r.line;
            PlaceAt(out.eeprom, at, r.bytes);
        } else if (!skipped[k]) {
            skipped[k] = Seen{r.address, last, r.line};
        } else {
            skipped[k]->low = std::min(skipped[k]->low, r.address);
            skipped[k]->high = std::max(skipped[k]->high, last);
        }
    }
    if (out.eeprom.size() > MaxEepromBytes)
        throw PackError(file, eepromOverflowLine,
                        "more than 256 EEPROM bytes (" + std::to_string(out.eeprom.size()) + ")");
    for (std::size_t k = 0; k < HexRegionCount; ++k) {
        if (!skipped[k]) continue;
        const Seen& s = *skipped[k];
        std::string note = file + ":" + std::to_string(s.line) + ": note: skipped the " + HexRegions[k].what +
                           " at " + HexNumber(s.low) + "-" + HexNumber(s.high);
        if (family == ChipFamily::Dspic)
            note += " (device addresses " + HexNumber(s.low / 2) + "-" + HexNumber(s.high / 2) + ")";
        out.notes.push_back(note + ", which the boot loader cannot write");
    }
    return out;
}

Bytes ParseByteList(std::string_view text, const std::string& file) {
    Bytes out;
    int lineNo = 0;
    for (const auto& raw : Lines(text)) {
        ++lineNo;
        for (const auto& w : Words(StripComment(raw))) {
            auto v = ParseNumber(w.size() <= 2 ? "0x" + w : w, 255);
            if (!v) throw PackError(file, lineNo, "not a byte: '" + w + "'");
            out.push_back(static_cast<std::uint8_t>(*v));
        }
    }
    return out;
}

ScrambleConfig ParseScrambleConfig(std::string_view text, const std::string& file) {
    ScrambleConfig c;
    bool haveKey = false, haveEnable = false;
    int lineNo = 0;
    for (const auto& raw : Lines(text)) {
        ++lineNo;
        const std::string line = StripComment(raw);
        if (line.empty()) continue;
        auto eq = line.find('=');
        if (eq == std::string::npos) throw PackError(file, lineNo, "expected 'name = value'");
        const std::string name = Trim(line.substr(0, eq));
        auto v = ParseNumber(Trim(line.substr(eq + 1)), 255);
        if (!v) throw PackError(file, lineNo, "value must be a byte (0 to 255)");
        if (name == "key") {
            c.key = static_cast<std::uint8_t>(*v);
            haveKey = true;
        } else if (name == "enable") {
            c.enable = static_cast<std::uint8_t>(*v);
            haveEnable = true;
        } else {
            throw PackError(file, lineNo, "unknown setting '" + name + "'");
        }
    }
    if (!haveKey || !haveEnable) throw PackError(file, lineNo, "both 'key' and 'enable' are required");
    return c;
}

std::vector<std::string> ParseHardwareNames(std::string_view text, const std::string& file) {
    std::vector<std::string> names;
    int lineNo = 0;
    for (const auto& raw : Lines(text)) {
        ++lineNo;
        const std::string name = StripComment(raw);
        if (name.empty()) continue;
        const int code = static_cast<int>(names.size());
        if (code >= HardwareNameCount) throw PackError(file, lineNo, "more than 33 hardware names");
        if (name.size() > MaxHardwareNameLength)
            throw PackError(file, lineNo, "hardware name longer than 14 characters");
        if (code <= 1 && name != "UNK") throw PackError(file, lineNo, "codes 0 and 1 must be named UNK");
        if (code >= 26 && code <= 31 && name != std::to_string(code + 1))
            throw PackError(file, lineNo, "code " + std::to_string(code) + " must be named " + std::to_string(code + 1));
        names.push_back(name);
    }
    if (names.size() != HardwareNameCount)
        throw PackError(file, lineNo, "expected 33 hardware names, found " + std::to_string(names.size()));
    return names;
}

Bytes ScrambleImage(const Bytes& plain, ChipFamily family, ScrambleConfig scramble) {
    Bytes out(plain.size());
    for (std::size_t i = 0; i < plain.size(); ++i)
        out[i] = plain[i] ^ ScrambleMask(scramble.key, scramble.enable,
                                         RowAddressLowByte(family, static_cast<std::int64_t>(i)));
    return out;
}

namespace {

void ParseManifest(Product& p, const std::filesystem::path& manifestPath) {
    const std::string file = manifestPath.string();
    const auto dir = manifestPath.parent_path();
    const std::string text = ReadFile(manifestPath, file, 0);
    std::map<std::string, std::size_t> byName;
    std::vector<std::vector<HexRecord>> hexRecords;  // by image
    int lineNo = 0;
    for (const auto& raw : Lines(text)) {
        ++lineNo;
        const auto w = Words(StripComment(raw));
        if (w.empty()) continue;
        if (w[0] == "image") {
            if (w.size() < 3) throw PackError(file, lineNo, "expected 'image <name> <hex file> tail=<file> ...'");
            if (byName.count(w[1])) throw PackError(file, lineNo, "image '" + w[1] + "' declared twice");
            ImageSpec img;
            img.name = w[1];
            img.file = file;
            img.line = lineNo;
            // The HEX file is sorted into program memory and EEPROM once a
            // cell has told which chip family it is for.
            img.hexFile = (dir / w[2]).string();
            auto records = ReadHexRecords(ReadFile(dir / w[2], file, lineNo), img.hexFile);
            bool haveTail = false, haveHw = false, havePrep = false;
            for (std::size_t i = 3; i < w.size(); ++i) {
                const auto eq = w[i].find('=');
                const std::string key = w[i].substr(0, eq);
                const std::string value = eq == std::string::npos ? "" : w[i].substr(eq + 1);
                if (key == "plain" && eq == std::string::npos) {
                    img.plain = true;
                } else if (key == "tail") {
                    img.tail = ParseByteList(ReadFile(dir / value, file, lineNo), (dir / value).string());
                    haveTail = true;
                } else if (key == "eeprom") {
                    const auto path = (dir / value).string();
                    img.eeprom = ParseByteList(ReadFile(dir / value, file, lineNo), path);
                    img.eepromFile = path;
                    if (img.eeprom.size() > MaxEepromBytes)
                        throw PackError(path, static_cast<int>(Lines(ReadFile(dir / value, file, lineNo)).size()),
                                        "more than 256 EEPROM bytes (" + std::to_string(img.eeprom.size()) + ")");
                } else if (key == "hardware" || key == "preparation") {
                    auto v = ParseNumber(value, 255);
                    if (!v) throw PackError(file, lineNo, key + " must be a byte (0 to 255)");
                    (key == "hardware" ? img.hardwareCode : img.preparationCode) = static_cast<std::uint8_t>(*v);
                    (key == "hardware" ? haveHw : havePrep) = true;
                } else {
                    throw PackError(file, lineNo, "unknown image attribute '" + w[i] + "'");
                }
            }
            if (!haveTail) throw PackError(file, lineNo, "image '" + img.name + "' has no tail=<file>");
            if (img.plain && !(haveHw && havePrep))
                throw PackError(file, lineNo, "a plain image needs hardware= and preparation=");
            if (!img.plain && (haveHw || havePrep))
                throw PackError(file, lineNo, "a scrambled image carries its codes in its header; drop hardware=/preparation=");
            byName[img.name] = p.images.size();
            p.images.push_back(std::move(img));
            hexRecords.push_back(std::move(records));
        } else if (w[0] == "cell") {
            if (w.size() != 4) throw PackError(file, lineNo, "expected 'cell <hardware code> <slot> <image name>'");
            auto row = ParseNumber(w[1], 1000), slot = ParseNumber(w[2], 1000);
            if (!row || !slot) throw PackError(file, lineNo, "hardware code and slot must be numbers");
            if (*row >= ImageRows || *slot >= ImageColumns)
                throw PackError(file, lineNo, "cell " + w[1] + " " + w[2] + " is outside the image table");
            const CellRef c{static_cast<std::uint8_t>(*row), static_cast<std::uint8_t>(*slot)};
            if (c.row == SharedCell.row && c.slot == SharedCell.slot)
                throw PackError(file, lineNo, "cell 32 6 always shares the image of cell 16 6");
            if (!IsWired(c))
                throw PackError(file, lineNo, "cell " + w[1] + " " + w[2] + " is outside the table of wired cells");
            for (const auto& existing : p.cells)
                if (existing.cell.row == c.row && existing.cell.slot == c.slot)
                    throw PackError(file, lineNo, "cell " + w[1] + " " + w[2] + " named twice");
            auto it = byName.find(w[3]);
            if (it == byName.end()) throw PackError(file, lineNo, "no image named '" + w[3] + "' above");
            auto& img = p.images[it->second];
            const ChipFamily fam = FamilyOfSlot(c.slot);
            if (img.family && *img.family != fam)
                throw PackError(file, lineNo, "image '" + img.name + "' is named for PIC18 and dsPIC slots alike");
            img.family = fam;
            p.cells.push_back({c, it->second});
        } else {
            throw PackError(file, lineNo, "unknown line '" + w[0] + "'");
        }
    }

    for (std::size_t i = 0; i < p.images.size(); ++i) {
        auto& img = p.images[i];
        if (!img.family) throw PackError(img.file, img.line, "image '" + img.name + "' is named by no cell");
        HexContent hex = SortHexRecords(hexRecords[i], *img.family, img.hexFile);
        if (hex.eepromLine != 0) {
            if (!img.eepromFile.empty())
                throw PackError(img.file, img.line,
                                "image '" + img.name + "' takes EEPROM bytes from both " + img.hexFile + " (line " +
                                    std::to_string(hex.eepromLine) + ") and " + img.eepromFile + "; keep one of them");
            // Taken exactly as an .eep file's bytes would be: stored, and sent, as written.
            img.eeprom = std::move(hex.eeprom);
        }
        img.data = std::move(hex.program);
        for (auto& note : hex.notes) p.notes.push_back(std::move(note));
        if (img.data.size() <= 1)
            throw PackError(img.file, img.line, "image '" + img.name + "' holds no program bytes");
        const auto g = GeometryOf(*img.family);
        const std::size_t header = static_cast<std::size_t>(HeaderOffset(*img.family)) + 2;
        if (img.data.size() < header)
            throw PackError(img.file, img.line, "image '" + img.name + "' is too short to hold its header codes (" +
                                                    std::to_string(img.data.size()) + " bytes, needs " +
                                                    std::to_string(header) + ")");
        if (img.tail.size() > static_cast<std::size_t>(g.rowBytes))
            throw PackError(img.file, img.line, "tail of image '" + img.name + "' is longer than a row (" +
                                                    std::to_string(img.tail.size()) + " > " +
                                                    std::to_string(g.rowBytes) + " bytes)");
        if (!img.plain) {
            const auto at = static_cast<std::size_t>(HeaderOffset(*img.family));
            img.hardwareCode = img.data[at];
            img.preparationCode = img.data[at + 1];
        }
    }
}

}  // namespace

Product LoadProduct(const std::filesystem::path& dir) {
    Product p;
    const auto identityPath = dir / "identity.txt";
    {
        std::string text = ReadFile(identityPath, identityPath.string(), 0);
        auto lines = Lines(text);
        if (lines.size() > 1) throw PackError(identityPath.string(), 2, "the identity is one line");
        p.identity = lines.empty() ? std::string() : lines[0];
    }
    const auto scramblePath = dir / "scramble.conf";
    p.scramble = ParseScrambleConfig(ReadFile(scramblePath, scramblePath.string(), 0), scramblePath.string());
    const auto namesPath = dir / "hardware-names.txt";
    p.hardwareNames = ParseHardwareNames(ReadFile(namesPath, namesPath.string(), 0), namesPath.string());
    ParseManifest(p, dir / "images" / "manifest.txt");
    return p;
}

std::string GenerateSource(const Product& p) {
    std::ostringstream out;
    out << "// Generated by torvane-mkimage from product/. Do not edit.\n"
           "#include \"images/ProductData.h\"\n\n"
           "namespace torvane::product {\n\n";
    out << "const bool HasIdentity = " << (p.identity ? "true" : "false") << ";\n";
    out << "const char IdentityText[] = " << CxxString(p.identity.value_or("")) << ";\n";
    char buf[64];
    std::snprintf(buf, sizeof buf, "const std::uint8_t ScrambleKey = 0x%02X;\n", p.scramble.key);
    out << buf;
    std::snprintf(buf, sizeof buf, "const std::uint8_t ScrambleEnable = 0x%02X;\n", p.scramble.enable);
    out << buf;
    out << "const std::array<const char*, HardwareNameCount> HardwareNames = {\n";
    for (const auto& n : p.hardwareNames) out << "    " << CxxString(n) << ",\n";
    out << "};\n\nnamespace {\n\n";

    // One EmbeddedImage per named image, then one placeholder per wired cell
    // that the manifest leaves empty.
    std::vector<std::string> cellImage(WiredCells.size());
    for (std::size_t i = 0; i < p.images.size(); ++i) {
        const auto& img = p.images[i];
        const std::string id = "image" + std::to_string(i);
        const Bytes stored = img.plain ? img.data : ScrambleImage(img.data, *img.family, p.scramble);
        out << "// " << img.name << "\n";
        EmitArray(out, id + "_data", stored);
        EmitArray(out, id + "_tail", img.tail);
        EmitArray(out, id + "_eeprom", img.eeprom);
        std::snprintf(buf, sizeof buf, "%d, 0x%02X, 0x%02X", img.plain ? 1 : 0, img.hardwareCode, img.preparationCode);
        out << "constexpr EmbeddedImage " << id << "{" << id << "_data, " << img.data.size() << ", " << id << "_tail, "
            << img.tail.size() << ", " << id << "_eeprom, " << img.eeprom.size() << ", " << buf << "};\n\n";
    }
    for (std::size_t w = 0; w < WiredCells.size(); ++w) {
        for (const auto& c : p.cells)
            if (c.cell.row == WiredCells[w].row && c.cell.slot == WiredCells[w].slot)
                cellImage[w] = "image" + std::to_string(c.image);
        if (!cellImage[w].empty()) continue;
        const std::string id = "placeholder_" + std::to_string(WiredCells[w].row) + "_" +
                               std::to_string(WiredCells[w].slot);
        out << "constexpr std::uint8_t " << id << "_data[1] = {0xFF};\nconstexpr std::uint8_t " << id
            << "_tail[1] = {0xFF};\n"
            << "constexpr std::uint8_t " << id << "_eeprom[1] = {0xFF};\n"
            << "constexpr EmbeddedImage " << id << "{" << id << "_data, 1, " << id << "_tail, 1, " << id
            << "_eeprom, 0, 0, 0, 0};\n";
        cellImage[w] = id;
    }
    out << "\nconstexpr ProductCell AllCells[] = {\n";
    for (std::size_t w = 0; w < WiredCells.size(); ++w)
        out << "    {" << int(WiredCells[w].row) << ", " << int(WiredCells[w].slot) << ", &" << cellImage[w] << "},\n";
    out << "};\n\n}  // namespace\n\nstd::span<const ProductCell> Cells() { return AllCells; }\n\n"
           "}  // namespace torvane::product\n";
    return out.str();
}

}  // namespace torvane::mkimage
