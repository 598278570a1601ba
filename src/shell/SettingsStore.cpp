#include "shell/SettingsStore.h"

namespace torvane {

namespace {

// brand index, key below the root
struct BrandKey {
    std::uint8_t brand;
    std::string_view path;
};
constexpr BrandKey BrandKeys[] = {
    {BrandMain, "Software\\Oskel\\Torvane\\"},
    {BrandUpgrade, "Software\\Varnholt\\Upgrade\\"},
    {BrandLoader, "Software\\Pelliam\\Loader\\"},
};

std::string FullKeyPath(std::uint8_t brand) {
    return std::string(SettingsRoot) + "\\" + std::string(SettingsKeyPath(brand));
}

std::string Quoted(std::string_view name) { return "'" + std::string(name) + "'"; }

}  // namespace

std::string_view SettingsKeyPath(std::uint8_t brand) {
    for (const auto& k : BrandKeys)
        if (k.brand == brand) return k.path;
    return BrandKeys[0].path;
}

std::string ReadSetting(SettingsStore& store, std::string_view name, std::uint8_t brand) {
    const StoredSetting stored = store.backend.read(FullKeyPath(brand), name, store.notice);
    switch (stored.status) {
    case SettingStatus::Found: return stored.text;
    case SettingStatus::Absent: return {};
    case SettingStatus::NotText: break;
    }
    throw SettingsError("Invalid data type for " + Quoted(name));
}

void WriteSetting(SettingsStore& store, std::string_view name, std::string_view text, std::uint8_t brand) {
    switch (store.backend.write(FullKeyPath(brand), name, text, store.notice)) {
    case SettingWrite::Written:
    case SettingWrite::NotWritable:
        return;
    case SettingWrite::Failed:
        break;
    }
    throw SettingsError("Failed to set data for " + Quoted(name));
}

std::int16_t PortIndexFromSetting(std::string_view text) {
    std::size_t i = 0;
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; };
    while (i < text.size() && blank(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    // Accumulates modulo 2^32, then keeps the low 16 bits: an overlong number
    // wraps instead of overflowing.
    std::uint32_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        value = value * 10u + static_cast<std::uint32_t>(text[i] - '0');
    if (negative) value = 0u - value;
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(value & 0xFFFFu));
}

std::int16_t RememberedPort(SettingsStore& store, BrandIndex brand) {
    return PortIndexFromSetting(ReadSetting(store, PortSettingName, brand));
}

}  // namespace torvane
