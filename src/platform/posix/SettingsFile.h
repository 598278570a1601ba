#pragma once
// The settings as one file, <folder>/settings.reg, in the registry's text
// export format (so it reads like an exported registry branch, and keys and
// values this program does not use survive a rewrite unchanged). It is
// replaced atomically on every write: a new file is written and flushed
// beside it, then renamed over it. A file that is not an export is ignored
// on reading and kept as settings.reg.corrupt-<yyyymmdd-hhmmss>[-n] before
// the next write starts afresh.

#include <filesystem>
#include <string>

#include "platform/SettingsBackend.h"
#include "platform/posix/PortMap.h"

namespace torvane::posix {

inline constexpr const char* SettingsFileName = "settings.reg";

class SettingsFile final : public SettingsBackend {
public:
    // The folder is created on the first write.
    explicit SettingsFile(std::filesystem::path folder = ConfigDir());

    StoredSetting read(std::string_view keyPath, std::string_view name, const SettingsNotice& notice) override;
    SettingWrite write(std::string_view keyPath, std::string_view name, std::string_view text,
                       const SettingsNotice& notice) override;
    std::string location() const override { return path_.string(); }

    const std::filesystem::path& path() const { return path_; }

private:
    enum class Load { Loaded, Missing, Unreadable };
    struct Loaded {
        Load status = Load::Missing;
        std::string text;
    };
    Loaded load() const;
    // Removes the temporary files of writers that died before renaming them.
    void removeLeftovers() const;
    // Stores `text` beside the settings under a name no file has yet;
    // returns that name, empty when nothing could be written.
    std::string keepCopy(std::string_view text, SettingWrite& result);

    enum class Publish { Replace, NewNameOnly };
    // Writes `text` to a temporary file in the folder, flushes it to disk and
    // moves it to `target`. NewNameOnly fails with EEXIST (reported through
    // `exists`) instead of replacing a file.
    SettingWrite writeFile(const std::filesystem::path& target, std::string_view text, Publish how, bool* exists = nullptr);

    std::filesystem::path folder_;
    std::filesystem::path path_;
};

}  // namespace torvane::posix
