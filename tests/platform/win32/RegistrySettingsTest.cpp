// The registry settings on a key of the test's own, standing in for the user's
// and the machine's roots, so the real ones are never touched.

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <string>

#include "platform/win32/RegistrySettings.h"

namespace {

using torvane::SettingStatus;
using torvane::SettingWrite;
using torvane::win32::RegistryPlace;
using torvane::win32::RegistrySettings;

constexpr const char* MachineKey = "HKEY_LOCAL_MACHINE\\Software\\Oskel\\Torvane\\";
constexpr const wchar_t* Below = L"Software\\Oskel\\Torvane";

class RegistrySettingsTest : public ::testing::Test {
protected:
    std::wstring base = L"Software\\TorvaneTests\\" + std::to_wstring(::GetCurrentProcessId());
    RegistryPlace user{HKEY_CURRENT_USER, base + L"\\user"};
    RegistryPlace machine{HKEY_CURRENT_USER, base + L"\\machine"};
    RegistrySettings settings{user, machine};

    void TearDown() override { ::RegDeleteTreeW(HKEY_CURRENT_USER, base.c_str()); }

    static void Put(const RegistryPlace& place, DWORD type, const void* data, DWORD size) {
        HKEY key = nullptr;
        const std::wstring path = place.path + L"\\" + Below;
        ASSERT_EQ(::RegCreateKeyExW(place.root, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(::RegSetValueExW(key, L"com", 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
        ::RegCloseKey(key);
    }
    static void PutText(const RegistryPlace& place, const std::wstring& text, DWORD type = REG_SZ) {
        Put(place, type, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    }
    static std::wstring Stored(const RegistryPlace& place) {
        wchar_t data[64] = {};
        DWORD size = sizeof data;
        const std::wstring path = place.path + L"\\" + Below;
        if (::RegGetValueW(place.root, path.c_str(), L"com", RRF_RT_REG_SZ, nullptr, data, &size) != ERROR_SUCCESS)
            return L"<none>";
        return data;
    }
    std::string Read(const char* key = MachineKey) {
        const auto s = settings.read(key, "com", {});
        return s.status == SettingStatus::Found ? s.text : s.status == SettingStatus::Absent ? "<absent>" : "<not text>";
    }
};

TEST_F(RegistrySettingsTest, TheUsersCopyComesFirstAndTheMachinesStillCounts) {
    EXPECT_EQ(Read(), "<absent>");  // never written anywhere
    PutText(machine, L"4");
    EXPECT_EQ(Read(), "4");  // an installer's machine-wide value
    PutText(user, L"-1");
    EXPECT_EQ(Read(), "-1");
    // A key named below the user's root is the user's alone.
    EXPECT_EQ(Read("HKEY_CURRENT_USER\\Software\\Oskel\\Torvane\\"), "-1");
    ::RegDeleteTreeW(user.root, (user.path + L"\\" + Below).c_str());
    EXPECT_EQ(Read("HKEY_CURRENT_USER\\Software\\Oskel\\Torvane\\"), "<absent>");
    EXPECT_EQ(Read("HKEY_CLASSES_ROOT\\Software\\Oskel\\Torvane\\"), "<absent>");
}

TEST_F(RegistrySettingsTest, AWriteCreatesTheUsersKeyAndLeavesTheMachinesAlone) {
    PutText(machine, L"4");
    EXPECT_EQ(settings.write(MachineKey, "com", "12", {}), SettingWrite::Written);
    EXPECT_EQ(Stored(user), L"12");
    EXPECT_EQ(Stored(machine), L"4");
    EXPECT_EQ(Read(), "12");
    EXPECT_EQ(settings.write("HKEY_SOMEWHERE\\Software\\", "com", "1", {}), SettingWrite::NotWritable);
}

TEST_F(RegistrySettingsTest, ValuesAreTakenAsStored) {
    struct Case {
        const char* what;
        DWORD type;
        std::wstring data;
        const char* expected;
    };
    const Case cases[] = {
        {"an expandable string, not expanded", REG_EXPAND_SZ, L"%TEMP%", "%TEMP%"},
        {"text up to the first zero", REG_SZ, std::wstring(L"7\0" L"9", 3), "7"},
        {"UTF-8 in, UTF-8 out", REG_SZ, L"\u00e9", "\xc3\xa9"},
        {"a number that is no text", REG_DWORD, std::wstring(2, L'\x1'), "<not text>"},
    };
    for (const auto& c : cases) {
        Put(user, c.type, c.data.data(), static_cast<DWORD>(c.data.size() * sizeof(wchar_t)));
        EXPECT_EQ(Read(), c.expected) << c.what;
    }
}

}  // namespace

namespace {

// The real keys, in a throw-away Wine prefix only (./run test-windows sets the
// variable and then looks at the value with `wine reg query`).
TEST(RegistrySettingsRealKeys, TheMachineKeysValueIsWrittenToTheUsersCopy) {
    const char* allowed = std::getenv("TORVANE_TEST_REAL_REGISTRY");
    if (allowed == nullptr || std::string(allowed) != "1") GTEST_SKIP() << "writes the user's real settings";
    RegistrySettings settings;
    ASSERT_EQ(settings.write(MachineKey, "com", "6", {}), SettingWrite::Written);
    wchar_t data[16] = {};
    DWORD size = sizeof data;
    EXPECT_EQ(::RegGetValueW(HKEY_CURRENT_USER, Below, L"com", RRF_RT_REG_SZ, nullptr, data, &size), ERROR_SUCCESS);
    EXPECT_EQ(std::wstring(data), L"6");
    EXPECT_EQ(settings.read(MachineKey, "com", {}).text, "6");
}

}  // namespace
