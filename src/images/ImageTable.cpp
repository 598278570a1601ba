#include "images/ImageTable.h"

#include "images/ProductData.h"
#include "images/Scramble.h"

namespace torvane {

namespace {

void Wire(ImageDescriptor& d, const EmbeddedImage& image, bool takePlain, bool takeCodes) {
    d.tailBytes = image.tailBytes;
    d.tailCount = image.tailCount;
    d.data = image.data;
    d.size = image.size;
    d.eepromBytes = image.eepromBytes;
    d.eepromCount = image.eepromCount;
    d.plain = takePlain ? image.plain : 0;
    d.hardwareCode = takeCodes ? image.hardwareCode : 0;
    d.preparationCode = takeCodes ? image.preparationCode : 0;
}

void CopyToActive(ActiveImage& a, const ImageDescriptor& d) {
    a.data = d.data;
    a.size = d.size;
    a.eepromBytes = d.eepromBytes;
    a.eepromCount = d.eepromCount;
    a.tailBytes = d.tailBytes;
    a.tailCount = d.tailCount;
    a.plain = d.plain;
    a.hardwareCode = d.hardwareCode;
    a.preparationCode = d.preparationCode;
}

}  // namespace

void BuildImageTable(ImageCatalog& catalog, std::span<const ProductCell> cells) {
    for (auto& row : *catalog.table)
        for (auto& d : row) d.size = 0;

    for (const auto& c : cells) {
        if (!IsWired({c.row, c.slot}) || c.image == nullptr) continue;
        const bool rowZero = c.row == 0;
        Wire(catalog.cell(c.row, c.slot), *c.image,
             rowZero && (c.slot == 6 || c.slot == 7), rowZero && c.slot == 6);
        if (c.row == SharedCellSource.row && c.slot == SharedCellSource.slot)
            Wire(catalog.cell(SharedCell.row, SharedCell.slot), *c.image, false, false);
    }
    MarkPendingImages(catalog);
}

void BuildImageTable(ImageCatalog& catalog) { BuildImageTable(catalog, product::Cells()); }

std::uint8_t MarkPendingImages(ImageCatalog& catalog) {
    catalog.pendingCount = 0;
    for (int slot = 0; slot < SelectableSlots; ++slot) {
        auto& d = catalog.cell(0, slot);
        d.pending = PendingNone;
        if (d.size >= MinPendingSize) {
            d.pending = PendingYes;
            ++catalog.pendingCount;
        }
    }
    catalog.cell(0, 6).repeatAction = RepeatSendAccessFrames;
    catalog.cell(0, 7).repeatAction = RepeatSendAccessFrames;
    catalog.cell(0, 9).repeatAction = RepeatWaitOneSecond;
    return catalog.pendingCount;
}

ImageSlot SlotForChip(std::uint8_t chipCode) {
    // chip code, slot
    struct ChipSlot { std::uint8_t chip; ImageSlot slot; };
    static constexpr ChipSlot Slots[] = {
        {66, 0}, {67, 1}, {68, 2}, {69, 3}, {70, 4}, {199, 5},
        {252, 6}, {254, 6}, {253, 7}, {71, 8}, {72, 9},
    };
    for (auto s : Slots)
        if (s.chip == chipCode) return s.slot;
    return 0;
}

ImageSlot SelectImage(ImageCatalog& catalog, std::uint8_t chipCode, std::uint8_t hardwareCode) {
    const ImageSlot slot = SlotForChip(chipCode);
    // The table has no row for hardware code 255; such a board gets the
    // slot's fallback image rather than a read past the table.
    catalog.hardwareCodeOutOfTable = hardwareCode >= ImageRows;
    const int row = catalog.hardwareCodeOutOfTable ? 0 : hardwareCode;
    CopyToActive(catalog.active, catalog.cell(row, slot));
    if (catalog.active.size <= 1) CopyToActive(catalog.active, catalog.cell(0, slot));
    return slot;
}

std::uint8_t ImagePending(const ImageCatalog& catalog, ImageSlot slot) {
    return (*catalog.table)[0][slot].pending;
}

std::uint8_t RepeatAction(const ImageCatalog& catalog, ImageSlot slot) {
    return (*catalog.table)[0][slot].repeatAction;
}

void MarkImageProgrammed(ImageCatalog& catalog, ImageSlot slot) {
    auto& d = catalog.cell(0, slot);
    if (d.pending == PendingYes) --catalog.pendingCount;
    d.pending = PendingDone;
}

std::uint8_t PendingCount(const ImageCatalog& catalog) { return catalog.pendingCount; }

std::string HardwareName(std::int32_t code) {
    if (code >= 1 && code < product::HardwareNameCount)
        return product::HardwareNames[static_cast<std::size_t>(code)];
    return product::HardwareNames[2];
}

ImageCodes ReadHeaderCodes(ChipFamily family, const std::uint8_t* data) {
    const int at = HeaderOffset(family);
    const std::uint8_t mask = ScrambleByte(0);
    return {static_cast<std::uint8_t>(data[at] ^ mask),
            static_cast<std::uint8_t>(data[at + 1] ^ mask)};
}

bool HoldsImageCodes(ChipFamily family, const ActiveImage& image) {
    return image.plain != 0 || (image.data != nullptr && image.size >= HeaderOffset(family) + 2);
}

ImageCodes ReadImageCodes(ChipFamily family, const ActiveImage& image) {
    if (image.plain != 0) return {image.hardwareCode, image.preparationCode};
    return ReadHeaderCodes(family, image.data);
}

}  // namespace torvane
