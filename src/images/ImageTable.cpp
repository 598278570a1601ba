#include "images/ImageTable.h"

#include "images/ProductData.h"
#include "images/Scramble.h"

namespace torvane {

namespace {

// The catalogue's copy of `bytes` when one of its runs has patched them.
const std::uint8_t* Resolved(const ImageCatalog& catalog, const std::uint8_t* bytes) {
    for (const auto& p : catalog.patched)
        if (p.source == bytes) return p.bytes.data();
    return bytes;
}

void Wire(const ImageCatalog& catalog, ImageDescriptor& d, const EmbeddedImage& image, bool takePlain, bool takeCodes) {
    d.tailBytes = Resolved(catalog, image.tailBytes);
    d.tailCount = image.tailCount;
    d.data = Resolved(catalog, image.data);
    d.size = image.size;
    d.eepromBytes = Resolved(catalog, image.eepromBytes);
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

// Sends every pointer of the table and of the active image from `from` to `to`.
void Repoint(ImageCatalog& catalog, const std::uint8_t* from, const std::uint8_t* to) {
    const auto move = [&](const std::uint8_t*& p) {
        if (p == from) p = to;
    };
    for (auto& row : *catalog.table)
        for (auto& d : row) {
            move(d.data);
            move(d.tailBytes);
            move(d.eepromBytes);
        }
    move(catalog.active.data);
    move(catalog.active.tailBytes);
    move(catalog.active.eepromBytes);
}

}  // namespace

void BuildImageTable(ImageCatalog& catalog, std::span<const ProductCell> cells) {
    for (auto& row : *catalog.table)
        for (auto& d : row) d.size = 0;

    for (const auto& c : cells) {
        if (!IsWired({c.row, c.slot}) || c.image == nullptr) continue;
        const bool rowZero = c.row == 0;
        const SlotRule rule = RuleOfSlot(c.slot);
        Wire(catalog, catalog.cell(c.row, c.slot), *c.image, rowZero && rule.fallbackTakesPlain,
             rowZero && rule.fallbackTakesCodes);
        if (c.row == SharedCellSource.row && c.slot == SharedCellSource.slot)
            Wire(catalog, catalog.cell(SharedCell.row, SharedCell.slot), *c.image, false, false);
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
    for (const auto& rule : SlotRules) catalog.cell(0, rule.slot).repeatAction = rule.repeat;
    return catalog.pendingCount;
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

std::span<std::uint8_t> PatchableCopy(ImageCatalog& catalog, const std::uint8_t* bytes, std::size_t count) {
    for (auto& p : catalog.patched) {
        if (p.source != bytes && p.bytes.data() != bytes) continue;
        if (p.bytes.size() < count) {
            // A longer view of the same bytes: extend the copy, keeping what was patched.
            std::vector<std::uint8_t> longer(p.bytes);
            longer.insert(longer.end(), p.source + p.bytes.size(), p.source + count);
            const std::uint8_t* old = p.bytes.data();
            p.bytes = std::move(longer);
            Repoint(catalog, old, p.bytes.data());
        }
        Repoint(catalog, p.source, p.bytes.data());  // whatever was pointed at the shared bytes since
        return {p.bytes.data(), count};
    }
    auto& copy = catalog.patched.emplace_back(PatchedBytes{bytes, std::vector<std::uint8_t>(bytes, bytes + count)});
    Repoint(catalog, bytes, copy.bytes.data());
    return {copy.bytes.data(), count};
}

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
