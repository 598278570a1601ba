#pragma once
// The settings in the Windows registry, as string values under the key paths
// the updater names ("HKEY_LOCAL_MACHINE\Software\...").
//
// A user without administrator rights cannot write below HKEY_LOCAL_MACHINE,
// and a port chosen there would be forgotten at every start. So every key
// below HKEY_LOCAL_MACHINE has a user's copy at the same path below
// HKEY_CURRENT_USER: a read takes the user's value first and the machine-wide
// one when the user has none (values an installer or an administrator put
// there still count), and a write goes to the user's copy.

#include <windows.h>

#include <string>

#include "platform/SettingsBackend.h"

namespace torvane::win32 {

// A registry key by its root and a path below it, where a settings root lives.
struct RegistryPlace {
    HKEY root;
    std::wstring path;  // empty for the root itself
};

class RegistrySettings final : public SettingsBackend {
public:
    // The real places: HKEY_CURRENT_USER for the user's copy and
    // HKEY_LOCAL_MACHINE for the machine's.
    RegistrySettings();
    // Other places standing for the two roots (tests use keys of their own).
    RegistrySettings(RegistryPlace user, RegistryPlace machine);

    StoredSetting read(std::string_view keyPath, std::string_view name, const SettingsNotice& notice) override;
    SettingWrite write(std::string_view keyPath, std::string_view name, std::string_view text,
                       const SettingsNotice& notice) override;
    std::string location() const override;

private:
    // Where `keyPath` lives in the user's copy and, below
    // HKEY_LOCAL_MACHINE, in the machine's; false for a root it does not know.
    bool resolve(std::string_view keyPath, RegistryPlace& user, RegistryPlace& machine, bool& machineWide) const;

    RegistryPlace user_;
    RegistryPlace machine_;
};

// UTF-8 <-> UTF-16, as the wide registry calls take their text.
std::wstring Widen(std::string_view text);
std::string Narrow(std::wstring_view text);

}  // namespace torvane::win32
