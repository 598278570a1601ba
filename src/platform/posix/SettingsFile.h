#pragma once
// The settings as one file, <folder>/settings.reg, replaced atomically on
// every write: a new file is written and flushed beside it, then renamed
// over it.

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

    SettingsText load() override;
    SettingsSave save(std::string_view text) override;
    // Writes settings.reg.corrupt-<yyyymmdd-hhmmss>[-n] beside the settings.
    SettingsCopy keepCopy(std::string_view text) override;
    std::string location() const override { return path_.string(); }

    const std::filesystem::path& path() const { return path_; }

private:
    enum class Publish { Replace, NewNameOnly };
    // Writes `text` to a temporary file in the folder, flushes it to disk and
    // moves it to `target`. NewNameOnly fails with EEXIST (reported through
    // `exists`) instead of replacing a file.
    SettingsSave writeFile(const std::filesystem::path& target, std::string_view text, Publish how, bool* exists = nullptr);

    std::filesystem::path folder_;
    std::filesystem::path path_;
};

}  // namespace torvane::posix
