#pragma once
// The remembered settings: named text values under one registry key per front
// end, kept by the platform's SettingsBackend.

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/SettingsBackend.h"
#include "shell/ProductIdentity.h"

namespace torvane {

inline constexpr std::string_view SettingsRoot = "HKEY_LOCAL_MACHINE";
inline constexpr std::string_view PortSettingName = "com";

// Raised for a stored value that is not text, and for a write that began but failed.
class SettingsError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct SettingsStore {
    SettingsBackend& backend;
    SettingsNotice notice;  // may be empty; hears of damaged settings
};

// Key below the root for a brand index; any index but 1 and 2 uses key 0's.
std::string_view SettingsKeyPath(std::uint8_t brand);

// The text stored under `name`, or the empty text when the key, the value or
// its data is missing (or the stored settings cannot be read).
// Throws SettingsError "Invalid data type for '<name>'" for a value that is not a string.
std::string ReadSetting(SettingsStore& store, std::string_view name, std::uint8_t brand);

// Stores `text` as a string value under `name`, creating the key; every other
// key and value stays as it was. Silently does nothing when the settings
// cannot be written at all. Throws SettingsError "Failed to set data for
// '<name>'" when the write began but failed; the earlier settings are then kept.
void WriteSetting(SettingsStore& store, std::string_view name, std::string_view text, std::uint8_t brand);

// A port index from its setting text as the front ends read it: leading
// blanks, an optional sign, the digits up to the first other character; no
// digits give 0; the value is cut to 16 bits.
std::int16_t PortIndexFromSetting(std::string_view text);

// The port index remembered for a front end; 0 (COM1) when none is.
std::int16_t RememberedPort(SettingsStore& store, BrandIndex brand);

}  // namespace torvane
