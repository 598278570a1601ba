#include "formats/RegistryDocument.h"

#include <cstdio>

namespace torvane {

namespace {

constexpr std::string_view HeaderV5 = "Windows Registry Editor Version 5.00";
constexpr std::string_view HeaderV4 = "REGEDIT4";
constexpr std::string_view ByteOrderMark = "\xEF\xBB\xBF";
constexpr char PathSeparator = '\\';
constexpr char32_t ReplacementChar = 0xFFFD;

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

std::string_view TrimTrailingSeparators(std::string_view path) {
    while (!path.empty() && path.back() == PathSeparator) path.remove_suffix(1);
    return path;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Up to eight hex digits, the whole of `s`.
bool ParseHex32(std::string_view s, std::uint32_t& out) {
    if (s.empty() || s.size() > 8) return false;
    out = 0;
    for (char c : s) {
        const int d = HexDigit(c);
        if (d < 0) return false;
        out = out * 16 + static_cast<std::uint32_t>(d);
    }
    return true;
}

// --- UTF-8 <-> UTF-16LE, for strings kept as raw registry bytes -------------

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Little-endian UTF-16 up to the first zero unit.
std::string Utf16ToUtf8(const std::vector<std::uint8_t>& bytes) {
    std::string out;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        char32_t unit = static_cast<char32_t>(bytes[i] | (bytes[i + 1] << 8));
        if (unit == 0) break;
        if (unit >= 0xD800 && unit < 0xDC00 && i + 3 < bytes.size()) {
            const char32_t low = static_cast<char32_t>(bytes[i + 2] | (bytes[i + 3] << 8));
            if (low >= 0xDC00 && low < 0xE000) {
                unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            }
        }
        if (unit >= 0xD800 && unit < 0xE000) unit = ReplacementChar;
        AppendUtf8(out, unit);
    }
    return out;
}

// Decodes one UTF-8 character at `i`, advancing it; malformed bytes give
// the replacement character, one byte at a time.
char32_t NextUtf8(std::string_view s, std::size_t& i) {
    const auto b0 = static_cast<unsigned char>(s[i++]);
    if (b0 < 0x80) return b0;
    int extra = b0 >= 0xF0 && b0 < 0xF5 ? 3 : b0 >= 0xE0 ? 2 : b0 >= 0xC2 && b0 < 0xE0 ? 1 : -1;
    if (extra < 0 || i + static_cast<std::size_t>(extra) > s.size()) return ReplacementChar;
    char32_t c = b0 & (0x3F >> extra);
    for (int k = 0; k < extra; ++k) {
        const auto b = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
        if ((b & 0xC0) != 0x80) return ReplacementChar;
        c = (c << 6) | (b & 0x3F);
    }
    i += static_cast<std::size_t>(extra);
    return c;
}

// Little-endian UTF-16 with its zero terminator.
std::vector<std::uint8_t> Utf8ToUtf16(std::string_view s) {
    std::vector<std::uint8_t> out;
    auto put = [&out](char32_t unit) {
        out.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        out.push_back(static_cast<std::uint8_t>(unit >> 8));
    };
    for (std::size_t i = 0; i < s.size();) {
        const char32_t c = NextUtf8(s, i);
        if (c >= 0x10000) {
            put(0xD800 + ((c - 0x10000) >> 10));
            put(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            put(c);
        }
    }
    put(0);
    return out;
}

std::size_t Utf16Units(std::string_view s) {
    std::size_t units = 0;
    for (std::size_t i = 0; i < s.size();) units += NextUtf8(s, i) >= 0x10000 ? 2 : 1;
    return units;
}

// --- text form ---------------------------------------------------------------

std::string Quote(std::string_view s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out + '"';
}

bool NeedsRawForm(std::string_view s) {
    for (char c : s)
        if (c == '\n' || c == '\r' || c == '\0') return true;
    return false;
}

std::string FormatValue(const RegValue& v) {
    if (v.form == RegForm::Comment) return v.text;
    std::string line = v.name.empty() ? "@" : Quote(v.name);
    line += '=';
    char buf[16];
    switch (v.form) {
    case RegForm::Quoted:
        line += Quote(v.text);
        break;
    case RegForm::Dword:
        std::snprintf(buf, sizeof buf, "dword:%08x", static_cast<unsigned>(v.number));
        line += buf;
        break;
    case RegForm::Hex:
        if (v.hexType == RegBinary) {
            line += "hex:";
        } else {
            std::snprintf(buf, sizeof buf, "hex(%x):", static_cast<unsigned>(v.hexType));
            line += buf;
        }
        for (std::size_t i = 0; i < v.bytes.size(); ++i) {
            std::snprintf(buf, sizeof buf, i ? ",%02x" : "%02x", v.bytes[i]);
            line += buf;
        }
        break;
    case RegForm::Comment:
        break;
    }
    return line;
}

// Reads a quoted text at the start of `s`; `rest` gets what follows it.
bool ReadQuoted(std::string_view s, std::string& out, std::string_view& rest) {
    if (s.empty() || s.front() != '"') return false;
    out.clear();
    for (std::size_t i = 1; i < s.size(); ++i) {
        char c = s[i];
        if (c == '"') {
            rest = s.substr(i + 1);
            return true;
        }
        if (c == '\\') {
            if (i + 1 >= s.size() || (s[i + 1] != '\\' && s[i + 1] != '"')) return false;
            c = s[++i];
        }
        out += c;
    }
    return false;
}

class Parser {
public:
    explicit Parser(std::string_view text) {
        if (text.substr(0, ByteOrderMark.size()) == ByteOrderMark) {
            text.remove_prefix(ByteOrderMark.size());
            byteOrderMark_ = true;
        }
        std::size_t start = 0;
        while (start <= text.size()) {
            std::size_t end = text.find('\n', start);
            if (end == std::string_view::npos) end = text.size();
            std::string_view line = text.substr(start, end - start);
            // A comment is kept whole, its CR with it: written back with
            // the LF that ended it, it is the same bytes again.
            raw_.push_back(line);
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            lines_.push_back(line);
            start = end + 1;
        }
    }

    ParsedRegistry run() {
        ParsedRegistry result;
        std::size_t i = 0;
        while (i < lines_.size() && Trim(lines_[i]).empty()) ++i;
        if (i == lines_.size()) return result;  // nothing stored yet
        const auto header = Trim(lines_[i]);
        if (header != HeaderV5 && header != HeaderV4) return fail(result, i, "not a registry export");
        result.document.header = std::string(lines_[i]);
        result.document.byteOrderMark = byteOrderMark_;
        result.document.crlf = raw_[i].size() > lines_[i].size();
        RegKey* key = nullptr;
        for (++i; i < lines_.size(); ++i) {
            const std::string_view line = Trim(lines_[i]);
            if (line.empty()) continue;
            if (line.front() == ';') {
                RegValue comment;
                comment.form = RegForm::Comment;
                comment.text = std::string(raw_[i]);
                if (key) key->values.push_back(std::move(comment));
                else result.document.preamble.push_back(comment.text);
                continue;
            }
            if (line.front() == '[') {
                const auto close = line.rfind(']');
                if (close == std::string_view::npos || close != line.size() - 1)
                    return fail(result, i, "a key line must end with ']'");
                const auto path = line.substr(1, close - 1);
                if (path.empty() || path.front() == '-') return fail(result, i, "a key deletion is not a setting");
                result.document.keys.push_back(RegKey{std::string(path), {}});
                key = &result.document.keys.back();
                continue;
            }
            if (line.front() != '"' && line.front() != '@') return fail(result, i, "expected a key or a value");
            if (!key) return fail(result, i, "a value before any key");
            RegValue value;
            const std::size_t first = i;
            if (const char* why = parseValue(i, value)) return fail(result, first, why);
            key->values.push_back(std::move(value));
        }
        return result;
    }

private:
    ParsedRegistry& fail(ParsedRegistry& r, std::size_t line, std::string_view why) {
        r.document = {};
        r.error = "line " + std::to_string(line + 1) + ": " + std::string(why);
        return r;
    }

    // Parses the value starting on line `i`; a hex value may continue over
    // lines ending in a backslash, and `i` then ends on its last line.
    const char* parseValue(std::size_t& i, RegValue& v) {
        std::string_view line = Trim(lines_[i]);
        std::string_view rest;
        if (line.front() == '@') {
            rest = line.substr(1);
        } else if (!ReadQuoted(line, v.name, rest)) {
            return "a value name must be quoted";
        }
        rest = Trim(rest);
        if (rest.empty() || rest.front() != '=') return "expected '=' after the value name";
        rest = Trim(rest.substr(1));
        if (!rest.empty() && rest.front() == '"') {
            std::string_view after;
            if (!ReadQuoted(rest, v.text, after) || !Trim(after).empty()) return "a string value must be one quoted text";
            v.form = RegForm::Quoted;
            return nullptr;
        }
        if (rest.substr(0, 6) == "dword:") {
            if (!ParseHex32(rest.substr(6), v.number)) return "a dword needs up to eight hex digits";
            v.form = RegForm::Dword;
            return nullptr;
        }
        if (rest.substr(0, 3) != "hex") return "unknown value data";
        rest.remove_prefix(3);
        v.form = RegForm::Hex;
        v.hexType = RegBinary;
        if (!rest.empty() && rest.front() == '(') {
            const auto close = rest.find(')');
            if (close == std::string_view::npos || !ParseHex32(rest.substr(1, close - 1), v.hexType))
                return "a hex type needs hex digits in brackets";
            rest.remove_prefix(close + 1);
        }
        if (rest.empty() || rest.front() != ':') return "expected ':' after hex";
        std::string data(rest.substr(1));
        while (!data.empty() && data.back() == '\\') {
            data.pop_back();
            if (++i >= lines_.size()) return "a continued hex value ends the file";
            data += Trim(lines_[i]);
        }
        std::string_view d = Trim(data);
        while (!d.empty()) {
            const auto comma = d.find(',');
            const auto item = Trim(d.substr(0, comma));
            std::uint32_t b = 0;
            if (item.size() > 2 || !ParseHex32(item, b)) return "hex data must be bytes separated by commas";
            v.bytes.push_back(static_cast<std::uint8_t>(b));
            if (comma == std::string_view::npos) break;
            d = Trim(d.substr(comma + 1));
            if (d.empty()) return "hex data ends with a comma";
        }
        return nullptr;
    }

    std::vector<std::string_view> lines_;
    std::vector<std::string_view> raw_;  // the lines with their CR, if any
    bool byteOrderMark_ = false;
};

}  // namespace

std::uint32_t RegValue::type() const {
    switch (form) {
    case RegForm::Quoted: return RegSz;
    case RegForm::Dword: return RegDword;
    case RegForm::Hex: return hexType;
    case RegForm::Comment: break;
    }
    return 0;
}

std::size_t RegValue::dataSize() const {
    switch (form) {
    case RegForm::Quoted: return (Utf16Units(text) + 1) * 2;
    case RegForm::Dword: return 4;
    case RegForm::Hex: return bytes.size();
    case RegForm::Comment: break;
    }
    return 0;
}

std::string RegValue::stringText() const {
    if (form == RegForm::Quoted) return text.substr(0, text.find('\0'));
    return Utf16ToUtf8(bytes);
}

RegKey* RegistryDocument::findKey(std::string_view path) {
    path = TrimTrailingSeparators(path);
    for (auto& k : keys)
        if (SameName(TrimTrailingSeparators(k.path), path)) return &k;
    return nullptr;
}

RegKey& RegistryDocument::createKey(std::string_view path) {
    path = TrimTrailingSeparators(path);
    if (RegKey* k = findKey(path)) return *k;
    // The root itself (HKEY_LOCAL_MACHINE) is never a section of its own.
    const auto parent = path.rfind(PathSeparator);
    if (parent != std::string_view::npos && path.substr(0, parent).find(PathSeparator) != std::string_view::npos)
        createKey(path.substr(0, parent));
    keys.push_back(RegKey{std::string(path), {}});
    return keys.back();
}

RegValue* FindValue(RegKey& key, std::string_view name) {
    for (auto& v : key.values)
        if (v.form != RegForm::Comment && SameName(v.name, name)) return &v;
    return nullptr;
}

RegValue StringValue(std::string_view name, std::string_view text) {
    RegValue v;
    v.name = std::string(name);
    if (NeedsRawForm(text)) {
        v.form = RegForm::Hex;
        v.hexType = RegSz;
        v.bytes = Utf8ToUtf16(text);
    } else {
        v.form = RegForm::Quoted;
        v.text = std::string(text);
    }
    return v;
}

bool IsWritableValueName(std::string_view name) { return !NeedsRawForm(name); }

ParsedRegistry ParseRegistryText(std::string_view text) { return Parser(text).run(); }

std::string FormatRegistryText(const RegistryDocument& document) {
    const std::string_view eol = document.crlf ? "\r\n" : "\n";
    std::string out = document.byteOrderMark ? std::string(ByteOrderMark) : std::string();
    out += document.header.empty() ? HeaderV5 : std::string_view(document.header);
    out += eol;
    for (const auto& c : document.preamble) out += c + '\n';
    for (const auto& k : document.keys) {
        out += std::string(eol) + "[" + k.path + "]" + std::string(eol);
        for (const auto& v : k.values) out += FormatValue(v) + std::string(v.form == RegForm::Comment ? "\n" : eol);
    }
    return out;
}

}  // namespace torvane
