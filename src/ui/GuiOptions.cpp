#include "ui/GuiOptions.h"

#include "shell/ProductIdentity.h"

namespace torvane {

GuiOptions GuiOptions::ThisBuild(int argc, char** argv) {
    GuiOptions o;
    if (auto id = ProductIdentity()) o.identity = std::string(*id);
    o.buildDate = BuildDate();
    o.buildTime = BuildTime();
    for (int i = 1; i < argc; ++i) o.arguments.emplace_back(argv[i]);
    return o;
}

std::string GuiOptions::identityOrDefault() const {
    return identity ? *identity : std::string(DefaultIdentity);
}

}  // namespace torvane
