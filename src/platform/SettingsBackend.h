#pragma once
// Where the settings text is kept between runs. The settings store reads and
// writes the whole text at once; one implementation per OS (posix/: a file).

#include <string>
#include <string_view>

namespace torvane {

enum class SettingsLoad {
    Loaded,
    Missing,     // nothing stored yet
    Unreadable,  // stored but not readable (permissions, I/O error)
};

enum class SettingsSave {
    Saved,
    NotWritable,  // no place to write at all (read-only, no folder): nothing was started
    Failed,       // the write began but did not complete (full disk); the old text is kept
};

struct SettingsText {
    SettingsLoad status = SettingsLoad::Missing;
    std::string text;  // meaningful when Loaded
};

struct SettingsCopy {
    SettingsSave status = SettingsSave::Failed;
    std::string name;  // where the copy went, when Saved
};

class SettingsBackend {
public:
    virtual ~SettingsBackend() = default;
    virtual SettingsText load() = 0;
    // Replaces the stored text in one step: afterwards the store holds either
    // the whole new text or the whole old one, also after a crash.
    virtual SettingsSave save(std::string_view text) = 0;
    // Stores `text` beside the settings under a name no file has yet, leaving
    // the settings themselves alone; returns that name.
    virtual SettingsCopy keepCopy(std::string_view text) = 0;
    // Where the settings live, for messages.
    virtual std::string location() const = 0;
};

}  // namespace torvane
