#include "formats/Json.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace torvane {

namespace {

// Length of the valid UTF-8 sequence starting at s[i], or 0.
std::size_t Utf8Length(std::string_view s, std::size_t i) {
    const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = b(i);
    std::size_t n;
    std::uint32_t cp;
    if (c < 0x80) return 1;
    if (c >= 0xC2 && c <= 0xDF) n = 2, cp = c & 0x1Fu;
    else if (c >= 0xE0 && c <= 0xEF) n = 3, cp = c & 0x0Fu;
    else if (c >= 0xF0 && c <= 0xF4) n = 4, cp = c & 0x07u;
    else return 0;
    if (i + n > s.size()) return 0;
    for (std::size_t k = 1; k < n; ++k) {
        if ((b(i + k) & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (b(i + k) & 0x3Fu);
    }
    // Overlong forms, surrogates and code points past U+10FFFF are not UTF-8.
    if ((n == 3 && cp < 0x800) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF)) || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return n;
}

}  // namespace

std::string JsonString(std::string_view text) {
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        switch (c) {
        case '"': out += "\\\""; ++i; continue;
        case '\\': out += "\\\\"; ++i; continue;
        case '\n': out += "\\n"; ++i; continue;
        case '\r': out += "\\r"; ++i; continue;
        case '\t': out += "\\t"; ++i; continue;
        default: break;
        }
        if (c < 0x20 || c == 0x7F) {
            char u[8];
            std::snprintf(u, sizeof u, "\\u%04x", c);
            out += u;
            ++i;
            continue;
        }
        const std::size_t n = Utf8Length(text, i);
        if (n == 0) {
            out += "\xEF\xBF\xBD";  // U+FFFD
            ++i;
            continue;
        }
        out.append(text.substr(i, n));
        i += n;
    }
    return out + "\"";
}

void JsonObject::key(std::string_view k) {
    if (!members_.empty()) members_ += ",";
    members_ += JsonString(k) + ":";
}

JsonObject& JsonObject::add(std::string_view k, std::string_view text) {
    key(k);
    members_ += JsonString(text);
    return *this;
}

JsonObject& JsonObject::add(std::string_view k, std::int64_t number) {
    key(k);
    members_ += std::to_string(number);
    return *this;
}

JsonObject& JsonObject::add(std::string_view k, double number) {
    key(k);
    if (!std::isfinite(number)) {
        members_ += "null";  // JSON has no infinities
        return *this;
    }
    // to_chars, unlike printf, ignores the locale: a GUI's decimal comma
    // would make the record unreadable.
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, number, std::chars_format::fixed, 3);
    members_.append(buf, r.ptr);
    return *this;
}

JsonObject& JsonObject::add(std::string_view k, bool value) {
    key(k);
    members_ += value ? "true" : "false";
    return *this;
}

JsonObject& JsonObject::addNull(std::string_view k) {
    key(k);
    members_ += "null";
    return *this;
}

JsonObject& JsonObject::addRaw(std::string_view k, std::string_view json) {
    key(k);
    members_ += json;
    return *this;
}

JsonArray& JsonArray::addRaw(std::string_view json) {
    if (!items_.empty()) items_ += ",";
    items_ += json;
    return *this;
}

}  // namespace torvane
