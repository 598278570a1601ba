#pragma once
// Records that several programs append to at once (the run log).

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace torvane::posix {

// $XDG_STATE_HOME/torvane, else ~/.local/state/torvane; each only when it is
// an absolute path (HOME from the user database when the variable is not).
// Empty when there is none.
std::filesystem::path StateDir();

// Appends the line and a line break to `file`, whole or not at all, whoever
// else appends at the same time: under an exclusive lock, one write() on a
// descriptor opened with O_APPEND; a short write (a full disk) is reported
// and cut back off, and part of a line left by a writer that died is cut off
// before. A symbolic link in the file's place is refused. Missing folders are
// made for the user alone (0700), a new file too (0600). Empty on success,
// else why not.
std::string AppendLine(const std::filesystem::path& file, std::string_view line);

}  // namespace torvane::posix
