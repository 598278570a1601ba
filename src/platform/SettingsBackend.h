#pragma once
// Where the remembered settings are kept between runs: named text values
// under key paths such as HKEY_LOCAL_MACHINE\Software\<maker>\<product>\.
// One implementation per OS (posix/: a file in the registry's text export
// format); a registry can hold them as they are.

#include <functional>
#include <string>
#include <string_view>

namespace torvane {

enum class SettingStatus {
    Found,
    Absent,   // no such key or value, no data, or the stored settings cannot be read
    NotText,  // the value holds something other than text
};

struct StoredSetting {
    SettingStatus status = SettingStatus::Absent;
    std::string text;  // meaningful when Found
};

enum class SettingWrite {
    Written,
    NotWritable,  // no place to write at all (read-only, no folder): nothing was started
    Failed,       // the write began but did not complete (full disk); the old settings are kept
};

// Told, in a sentence for the user, when the stored settings are damaged:
// they are then ignored, and set aside before the next write starts afresh.
using SettingsNotice = std::function<void(const std::string& message)>;

class SettingsBackend {
public:
    virtual ~SettingsBackend() = default;
    // The value `name` under `keyPath`; names and paths compare regardless
    // of letter case. `notice` (may be empty) hears of damaged settings.
    virtual StoredSetting read(std::string_view keyPath, std::string_view name, const SettingsNotice& notice) = 0;
    // Stores `text` as a string value, creating the key; every other key and
    // value stays as it was. Afterwards the store holds either all the new
    // settings or all the old ones, also after a crash.
    virtual SettingWrite write(std::string_view keyPath, std::string_view name, std::string_view text,
                               const SettingsNotice& notice) = 0;
    // Where the settings live, for messages.
    virtual std::string location() const = 0;
};

}  // namespace torvane
