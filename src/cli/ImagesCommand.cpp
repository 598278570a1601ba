// torvane-cli images: the version list of the images this build carries.

#include <iostream>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "images/ImageTable.h"
#include "images/VersionListing.h"

namespace torvane::cli {

int RunImages(const Args& args) {
    if (!args.empty()) {
        const bool help = args[0] == "--help" || args[0] == "-h";
        (help ? std::cout : std::cerr)
            << (help ? "" : "torvane-cli images: unexpected argument '" + args[0] + "'\n\n")
            << "usage: torvane-cli images\n\n"
               "Lists the firmware images this build carries, one line each: chip, board\n"
               "with its connector, preparation and the raw preparation code.\n";
        return help ? 0 : 2;
    }
    ImageCatalog catalog;
    BuildImageTable(catalog);
    std::vector<std::string> lines;
    ListImageVersions(catalog, lines);
    for (const auto& l : lines) std::cout << l << "\n";
    return 0;
}

}  // namespace torvane::cli
