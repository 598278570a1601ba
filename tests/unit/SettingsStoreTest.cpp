#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "shell/SettingsStore.h"

using namespace torvane;

namespace {

// Settings held in memory; each key path and name answers as it was told to.
class MemorySettings : public SettingsBackend {
public:
    StoredSetting read(std::string_view keyPath, std::string_view name, const SettingsNotice& notice) override {
        if (notice && !noticeText.empty()) notice(noticeText);
        const auto it = values.find(Key(keyPath, name));
        return it == values.end() ? StoredSetting{} : it->second;
    }
    SettingWrite write(std::string_view keyPath, std::string_view name, std::string_view text,
                       const SettingsNotice&) override {
        if (writeResult == SettingWrite::Written)
            values[Key(keyPath, name)] = {SettingStatus::Found, std::string(text)};
        return writeResult;
    }
    std::string location() const override { return "memory"; }

    static std::string Key(std::string_view keyPath, std::string_view name) {
        return std::string(keyPath) + "|" + std::string(name);
    }
    std::map<std::string, StoredSetting> values;
    SettingWrite writeResult = SettingWrite::Written;
    std::string noticeText;  // told on every read when set
};

TEST(SettingsStore, EachBrandReadsAndWritesUnderItsOwnFullKeyPath) {
    MemorySettings memory;
    SettingsStore store{memory, {}};
    WriteSetting(store, "com", "4", BrandUpgrade);
    WriteSetting(store, "com", "12", BrandLoader);
    WriteSetting(store, "com", "-1", 7);  // an unknown brand shares the main key

    EXPECT_EQ(memory.values.count("HKEY_LOCAL_MACHINE\\Software\\Varnholt\\Upgrade\\|com"), 1u);
    EXPECT_EQ(memory.values.count("HKEY_LOCAL_MACHINE\\Software\\Pelliam\\Loader\\|com"), 1u);
    EXPECT_EQ(memory.values.count("HKEY_LOCAL_MACHINE\\Software\\Oskel\\Torvane\\|com"), 1u);
    EXPECT_EQ(ReadSetting(store, "com", BrandMain), "-1");
    EXPECT_EQ(ReadSetting(store, "com", BrandUpgrade), "4");
    EXPECT_EQ(ReadSetting(store, "other", BrandUpgrade), "");
}

TEST(SettingsStore, WhatTheBackendSaysBecomesTheStoresErrors) {
    MemorySettings memory;
    std::vector<std::string> notices;
    SettingsStore store{memory, [&](const std::string& m) { notices.push_back(m); }};
    const std::string key = "HKEY_LOCAL_MACHINE\\Software\\Oskel\\Torvane\\";

    memory.values[MemorySettings::Key(key, "com")] = {SettingStatus::NotText, "ignored"};
    try {
        ReadSetting(store, "com", BrandMain);
        ADD_FAILURE() << "no error";
    } catch (const SettingsError& e) {
        EXPECT_STREQ(e.what(), "Invalid data type for 'com'");
    }

    memory.writeResult = SettingWrite::NotWritable;
    EXPECT_NO_THROW(WriteSetting(store, "com", "3", BrandMain));
    memory.writeResult = SettingWrite::Failed;
    try {
        WriteSetting(store, "com", "3", BrandMain);
        ADD_FAILURE() << "no error";
    } catch (const SettingsError& e) {
        EXPECT_STREQ(e.what(), "Failed to set data for 'com'");
    }

    // The backend's word on damaged settings reaches the user unchanged.
    memory.noticeText = "The settings file memory cannot be read (line 1: x); its settings are ignored.";
    EXPECT_EQ(ReadSetting(store, "absent", BrandMain), "");
    EXPECT_EQ(notices, std::vector<std::string>{memory.noticeText});
}

TEST(RememberedPort, ReadsTheSettingAsTheFrontEndsDo) {
    struct Case { const char* text; std::int16_t index; };
    const Case cases[] = {
        {"", 0}, {"4", 4}, {"-1", -1}, {"  +12", 12}, {"\t7x9", 7}, {"x7", 0}, {"-", 0},
        {"32767", 32767}, {"32768", -32768}, {"65537", 1}, {"-65535", 1}, {"4294967297", 1},
    };
    for (auto c : cases) EXPECT_EQ(PortIndexFromSetting(c.text), c.index) << '"' << c.text << '"';

    MemorySettings memory;
    SettingsStore store{memory, {}};
    EXPECT_EQ(RememberedPort(store, BrandLoader), 0);
    WriteSetting(store, PortSettingName, " 41", BrandLoader);
    EXPECT_EQ(RememberedPort(store, BrandLoader), 41);
    EXPECT_EQ(RememberedPort(store, BrandMain), 0);
}

}  // namespace
