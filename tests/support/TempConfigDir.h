#pragma once
// A fresh configuration folder for one test: TORVANE_CONFIG_DIR points at an
// empty temporary directory while the object lives, and is restored after.

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

private:
    std::filesystem::path dir_;
    std::optional<std::string> previous_;
};

}  // namespace torvane::test
