// torvane-cli images: the version list of the images this build carries.

#include <iostream>
#include <string>
#include <vector>

#include "cli/Arguments.h"
#include "cli/Commands.h"
#include "formats/Json.h"
#include "images/ImageTable.h"
#include "images/VersionListing.h"

namespace torvane::cli {

namespace {

constexpr const char* ImagesHelp =
    "usage: torvane-cli images [--json]\n\n"
    "Lists the firmware images this build carries, one line each: chip, board\n"
    "with its connector, preparation and the raw preparation code.\n\n"
    "  --json   one JSON array of {device, hardware, connector, preparation,\n"
    "           reserved, preparation_code}\n";

}  // namespace

int RunImages(const Args& args) {
    ParsedArgs parsed;
    try {
        parsed = ParseArgs(args, {{"--json", false}});
    } catch (const UsageError& e) {
        return UsageFailure("images", e.what());
    }
    if (parsed.help) {
        std::cout << ImagesHelp;
        return 0;
    }
    ImageCatalog catalog;
    BuildImageTable(catalog);
    if (parsed.has("--json")) {
        JsonArray list;
        for (const auto& v : ListedImages(catalog)) {
            std::string device = v.device;
            device.erase(device.find_last_not_of(' ') + 1);  // the listing pads it to six characters
            list.addRaw(JsonObject()
                            .add("device", device)
                            .add("hardware", v.hardware)
                            .add("connector", v.connector)
                            .add("preparation", v.preparation)
                            .add("reserved", v.reserved)
                            .add("preparation_code", int{v.preparationCode})
                            .text());
        }
        std::cout << list.text() << "\n";
        return 0;
    }
    std::vector<std::string> lines;
    ListImageVersions(catalog, lines);
    for (const auto& l : lines) std::cout << l << "\n";
    return 0;
}

}  // namespace torvane::cli
