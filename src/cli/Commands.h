#pragma once
// The commands of torvane-cli. Each takes the arguments after its own name
// and returns the process exit code.

#include <string>
#include <vector>

namespace torvane::cli {

using Args = std::vector<std::string>;

int RunInfo(const Args& args);
int RunUpdate(const Args& args);
int RunPorts(const Args& args);
int RunImages(const Args& args);

}  // namespace torvane::cli
