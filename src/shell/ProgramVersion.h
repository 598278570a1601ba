#pragma once
// The release every program of this build answers --version with. The number
// is set once, in the top-level CMakeLists.txt.

#include <string>
#include <string_view>

namespace torvane {

std::string_view ProgramVersion();

// "<program> <version>" and, on a second line, the product identity this
// build carries (or that it carries none) with its build stamp.
std::string VersionText(std::string_view program);

}  // namespace torvane
