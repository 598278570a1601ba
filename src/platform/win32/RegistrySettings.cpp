#include "platform/win32/RegistrySettings.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace torvane::win32 {

namespace {

// root names a key path may start with, whether it is the machine-wide root
struct RootName {
    std::string_view name;
    bool machine;
};
constexpr RootName RootNames[] = {
    {"HKEY_LOCAL_MACHINE", true},
    {"HKLM", true},
    {"HKEY_CURRENT_USER", false},
    {"HKCU", false},
};

bool SameLetters(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
           });
}

std::wstring Below(const RegistryPlace& place, const std::wstring& rest) {
    if (place.path.empty()) return rest;
    if (rest.empty()) return place.path;
    return place.path + L"\\" + rest;
}

enum class Lookup { Found, Absent, NotText };

Lookup ReadValue(const RegistryPlace& place, const std::wstring& name, std::string& text) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(place.root, place.path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return Lookup::Absent;
    DWORD type = 0;
    DWORD size = 0;
    LONG r = ::RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &size);
    std::vector<wchar_t> data;
    if (r == ERROR_SUCCESS && size > 0) {
        data.resize(size / sizeof(wchar_t) + 1, L'\0');
        r = ::RegQueryValueExW(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
    }
    ::RegCloseKey(key);
    if (r != ERROR_SUCCESS || size == 0) return Lookup::Absent;
    // An expandable string is read as it is stored: nothing is expanded.
    if (type != REG_SZ && type != REG_EXPAND_SZ) return Lookup::NotText;
    text = Narrow(std::wstring_view(data.data()));  // up to the first zero
    return Lookup::Found;
}

}  // namespace

std::wstring Widen(std::string_view text) {
    if (text.empty()) return {};
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring w(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), w.data(), n);
    return w;
}

std::string Narrow(std::wstring_view text) {
    if (text.empty()) return {};
    const int n =
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), s.data(), n, nullptr, nullptr);
    return s;
}

RegistrySettings::RegistrySettings() : RegistrySettings({HKEY_CURRENT_USER, L""}, {HKEY_LOCAL_MACHINE, L""}) {}

RegistrySettings::RegistrySettings(RegistryPlace user, RegistryPlace machine)
    : user_(std::move(user)), machine_(std::move(machine)) {}

bool RegistrySettings::resolve(std::string_view keyPath, RegistryPlace& user, RegistryPlace& machine,
                               bool& machineWide) const {
    const auto slash = keyPath.find('\\');
    const std::string_view rootName = keyPath.substr(0, slash);
    std::string_view rest = slash == std::string_view::npos ? std::string_view{} : keyPath.substr(slash + 1);
    // "Software\Maker\Product\" names the key Product: the closing backslash is no part of it.
    while (!rest.empty() && rest.back() == '\\') rest.remove_suffix(1);
    const auto known = std::find_if(std::begin(RootNames), std::end(RootNames),
                                    [&](const RootName& r) { return SameLetters(r.name, rootName); });
    if (known == std::end(RootNames)) return false;
    const std::wstring below = Widen(rest);
    machineWide = known->machine;
    user = {user_.root, Below(user_, below)};
    machine = {machine_.root, Below(machine_, below)};
    return true;
}

StoredSetting RegistrySettings::read(std::string_view keyPath, std::string_view name, const SettingsNotice&) {
    RegistryPlace user, machine;
    bool machineWide = false;
    if (!resolve(keyPath, user, machine, machineWide)) return {SettingStatus::Absent, {}};
    const std::wstring valueName = Widen(name);
    std::string text;
    Lookup found = ReadValue(user, valueName, text);
    if (found == Lookup::Absent && machineWide) found = ReadValue(machine, valueName, text);
    switch (found) {
    case Lookup::Found: return {SettingStatus::Found, text};
    case Lookup::NotText: return {SettingStatus::NotText, {}};
    case Lookup::Absent: break;
    }
    return {SettingStatus::Absent, {}};
}

SettingWrite RegistrySettings::write(std::string_view keyPath, std::string_view name, std::string_view text,
                                     const SettingsNotice&) {
    RegistryPlace user, machine;
    bool machineWide = false;
    if (!resolve(keyPath, user, machine, machineWide)) return SettingWrite::NotWritable;
    HKEY key = nullptr;
    if (::RegCreateKeyExW(user.root, user.path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &key,
                          nullptr) != ERROR_SUCCESS)
        return SettingWrite::NotWritable;
    const std::wstring data = Widen(text);
    const DWORD bytes = static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t));
    const LONG r = ::RegSetValueExW(key, Widen(name).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                                    bytes);
    ::RegCloseKey(key);
    return r == ERROR_SUCCESS ? SettingWrite::Written : SettingWrite::Failed;
}

std::string RegistrySettings::location() const {
    return "the registry (HKEY_CURRENT_USER, then HKEY_LOCAL_MACHINE)";
}

}  // namespace torvane::win32
