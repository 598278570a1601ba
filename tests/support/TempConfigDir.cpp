#include "TempConfigDir.h"

#include <cstdlib>
#include <stdexcept>
#include <system_error>
#include <vector>

namespace torvane::test {

namespace {
constexpr const char* ConfigVariable = "TORVANE_CONFIG_DIR";
constexpr const char* StateVariable = "XDG_STATE_HOME";
}

TempConfigDir::TempConfigDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "torvane-config-XXXXXX").string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (::mkdtemp(name.data()) == nullptr) throw std::runtime_error("cannot create a temporary directory");
    dir_ = name.data();
    if (const char* old = std::getenv(ConfigVariable)) previous_ = old;
    ::setenv(ConfigVariable, dir_.c_str(), 1);
    if (const char* old = std::getenv(StateVariable)) previousState_ = old;
    ::setenv(StateVariable, stateDir().c_str(), 1);
}

TempConfigDir::~TempConfigDir() {
    if (previous_) ::setenv(ConfigVariable, previous_->c_str(), 1);
    else ::unsetenv(ConfigVariable);
    if (previousState_) ::setenv(StateVariable, previousState_->c_str(), 1);
    else ::unsetenv(StateVariable);
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
}

}  // namespace torvane::test
