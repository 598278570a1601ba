#include "shell/ProgramVersion.h"

#include "shell/ProductIdentity.h"

#ifndef TORVANE_VERSION
#error "TORVANE_VERSION comes from the project version in CMakeLists.txt"
#endif

namespace torvane {

std::string_view ProgramVersion() { return TORVANE_VERSION; }

std::string VersionText(std::string_view program) {
    std::string text = std::string(program) + " " + std::string(ProgramVersion()) + "\n";
    const auto identity = ProductIdentity();
    text += identity ? "product identity \"" + std::string(*identity) + "\"" : std::string("no product identity");
    text += ", built " + BuildDate() + " " + BuildTime() + "\n";
    return text;
}

}  // namespace torvane
