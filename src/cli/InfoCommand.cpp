// torvane-cli info: what this build is and what it carries.

#include <cstdio>
#include <iostream>
#include <string>

#include "cli/Arguments.h"
#include "cli/Commands.h"
#include "images/ImageTable.h"
#include "shell/ProductIdentity.h"

namespace torvane::cli {

namespace {

const char* FrontEndName(torvane::FrontEnd f) {
    switch (f) {
    case torvane::FrontEnd::UpgradeWindow: return "UpgradeWindow (START/STOP)";
    case torvane::FrontEnd::LoaderWindow: return "LoaderWindow (compact)";
    case torvane::FrontEnd::MainWindow: break;
    }
    return "MainWindow (full)";
}

}  // namespace

int RunInfo(const Args& args) {
    using namespace torvane;
    try {
        if (ParseArgs(args, {}).help) {
            std::cout << "usage: torvane-cli info\n\n"
                         "The product identity, the front end this build shows, its build stamp and\n"
                         "the images it carries, cell by cell.\n";
            return 0;
        }
    } catch (const UsageError& e) {
        return UsageFailure("info", e.what());
    }
    const auto identity = ProductIdentity();
    std::cout << "Product identity: " << (identity ? "\"" + std::string(*identity) + "\"" : "(none)") << "\n"
              << "Front end:        " << FrontEndName(ChooseFrontEnd(identity)) << "\n"
              << "Built:            " << BuildDate() << " " << BuildTime() << "\n\n"
              << "Images carried (hardware code / slot):\n";
    ImageCatalog catalog;
    BuildImageTable(catalog);
    for (int slot = 0; slot < SelectableSlots; ++slot) {
        for (int row = 0; row < ImageRows; ++row) {
            const auto& d = catalog.cell(row, slot);
            if (d.size <= 1) continue;
            const auto codes = d.plain ? ImageCodes{d.hardwareCode, d.preparationCode}
                                       : ReadHeaderCodes(FamilyOfSlot(slot), d.data);
            std::printf("  row %3d slot %d: %6d bytes, tail %d, EEPROM %d, %s, board %s, preparation 0x%02x\n",
                        row, slot, d.size, d.tailCount, d.eepromCount, d.plain ? "plain" : "scrambled",
                        HardwareName(codes.hardwareCode).c_str(), codes.preparationCode);
        }
    }
    std::cout << "\nPending after a fresh build of the table: " << int(PendingCount(catalog)) << "\n";
    return 0;
}

}  // namespace torvane::cli
