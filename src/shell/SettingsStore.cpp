#include "shell/SettingsStore.h"


#include "shell/RegistryDocument.h"

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

void Tell(const SettingsStore& store, const std::string& message) {
    if (store.notice) store.notice(message);
}

}  // namespace

std::string_view SettingsKeyPath(std::uint8_t brand) {
    for (const auto& k : BrandKeys)
        if (k.brand == brand) return k.path;
    return BrandKeys[0].path;
}

std::string ReadSetting(SettingsStore& store, std::string_view name, std::uint8_t brand) {
    const SettingsText stored = store.backend.load();
    if (stored.status != SettingsLoad::Loaded) return {};
    ParsedRegistry parsed = ParseRegistryText(stored.text);
    if (!parsed.error.empty()) {
        Tell(store, "The settings file " + store.backend.location() + " cannot be read (" + parsed.error +
                        "); its settings are ignored.");
        return {};
    }
    RegKey* key = parsed.document.findKey(FullKeyPath(brand));
    if (!key) return {};
    const RegValue* value = FindValue(*key, name);
    if (!value || value->dataSize() == 0) return {};
    if (!value->isString()) throw SettingsError("Invalid data type for " + Quoted(name));
    return value->stringText();
}

void WriteSetting(SettingsStore& store, std::string_view name, std::string_view text, std::uint8_t brand) {
    const SettingsText stored = store.backend.load();
    // Settings that exist but cannot be read cannot be carried over either:
    // writing now would lose them, so the write is skipped like any other
    // write that cannot happen.
    if (stored.status == SettingsLoad::Unreadable) return;

    RegistryDocument document;
    if (stored.status == SettingsLoad::Loaded) {
        ParsedRegistry parsed = ParseRegistryText(stored.text);
        if (parsed.error.empty()) {
            document = std::move(parsed.document);
        } else {
            // Never overwrite what we cannot read without keeping it first.
            const SettingsCopy copy = store.backend.keepCopy(stored.text);
            if (copy.status == SettingsSave::NotWritable) return;
            if (copy.status != SettingsSave::Saved) throw SettingsError("Failed to set data for " + Quoted(name));
            Tell(store, "The settings file " + store.backend.location() + " could not be read (" + parsed.error +
                            "); it was kept as " + copy.name + " and new settings were started.");
        }
    }

    if (!IsWritableValueName(name)) throw SettingsError("Failed to set data for " + Quoted(name));
    RegKey& key = document.createKey(FullKeyPath(brand));
    RegValue value = StringValue(name, text);
    if (RegValue* old = FindValue(key, name)) {
        value.name = old->name;  // the stored spelling of the name stays
        *old = std::move(value);
    } else {
        key.values.push_back(std::move(value));
    }

    switch (store.backend.save(FormatRegistryText(document))) {
    case SettingsSave::Saved:
    case SettingsSave::NotWritable:
        return;
    case SettingsSave::Failed:
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
