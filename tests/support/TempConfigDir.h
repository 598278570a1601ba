#pragma once
// A fresh configuration folder for one test: TORVANE_CONFIG_DIR points at an
// empty temporary directory while the object lives, and is restored after.
// XDG_STATE_HOME points at its "state" folder, so run logs stay in it too.

#include <filesystem>
#include <optional>
#include <string>

namespace torvane::test {

class TempConfigDir {
public:
    // Throws std::runtime_error when no temporary directory can be made.
    TempConfigDir();
    ~TempConfigDir();
    TempConfigDir(const TempConfigDir&) = delete;
    TempConfigDir& operator=(const TempConfigDir&) = delete;

    const std::filesystem::path& path() const { return dir_; }
    std::filesystem::path stateDir() const { return dir_ / "state"; }

private:
    std::filesystem::path dir_;
    std::optional<std::string> previous_;
    std::optional<std::string> previousState_;
};

}  // namespace torvane::test
