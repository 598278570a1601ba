#pragma once
// JSON as the run record and the listings print it: one object per line,
// keys in the order they were added. Texts are taken as UTF-8; a byte that is
// not part of a valid sequence becomes U+FFFD, so the output stays valid JSON
// whatever a device or a port name holds.

#include <cstdint>
#include <string>
#include <string_view>

namespace torvane {

// `text` as a JSON string, quotes included.
std::string JsonString(std::string_view text);

class JsonObject {
public:
    JsonObject& add(std::string_view key, std::string_view text);
    JsonObject& add(std::string_view key, const char* text) { return add(key, std::string_view(text)); }
    JsonObject& add(std::string_view key, const std::string& text) { return add(key, std::string_view(text)); }
    JsonObject& add(std::string_view key, std::int64_t number);
    JsonObject& add(std::string_view key, int number) { return add(key, std::int64_t{number}); }
    JsonObject& add(std::string_view key, double number);
    JsonObject& add(std::string_view key, bool value);
    JsonObject& addNull(std::string_view key);
    // `json` must already be JSON (an object or array built here).
    JsonObject& addRaw(std::string_view key, std::string_view json);
    std::string text() const { return "{" + members_ + "}"; }

private:
    void key(std::string_view k);
    std::string members_;
};

class JsonArray {
public:
    JsonArray& addRaw(std::string_view json);
    JsonArray& add(std::string_view text) { return addRaw(JsonString(text)); }
    std::string text() const { return "[" + items_ + "]"; }

private:
    std::string items_;
};

}  // namespace torvane
