#pragma once
// Records that several programs append to at once (the run log).

#include <filesystem>
#include <string>
#include <string_view>

namespace torvane::posix {

// $XDG_STATE_HOME/torvane, else ~/.local/state/torvane.
std::filesystem::path StateDir();

// One write() on a descriptor opened with O_APPEND: the kernel puts the whole
// line at the end of the file, after any other writer's. A short write is
// reported and cut back off, so no half line is left for the next writer to
// run into. Empty on success, else why not.
std::string AppendLine(const std::filesystem::path& file, std::string_view line);

}  // namespace torvane::posix
