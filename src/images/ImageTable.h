#pragma once
// The table of compiled-in images, indexed by board hardware code (row) and
// image slot (column), with the selection of the image a run programs and the
// bookkeeping of which images a sequence has already programmed.

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "images/EmbeddedImage.h"
#include "images/Wiring.h"

namespace torvane {

inline constexpr std::uint8_t PendingNone = 255;
inline constexpr std::uint8_t PendingYes = 1;
inline constexpr std::uint8_t PendingDone = 0;
inline constexpr std::int32_t MinPendingSize = 11;  // smaller images are never pending

// One cell; it points into an EmbeddedImage, or into the catalogue's patched
// copy of one, and owns nothing.
struct ImageDescriptor {
    const std::uint8_t* tailBytes = nullptr;
    std::int32_t tailCount = 0;
    const std::uint8_t* data = nullptr;
    std::int32_t size = 0;  // 1 or less: no image in this cell
    const std::uint8_t* eepromBytes = nullptr;
    std::int32_t eepromCount = 0;
    std::uint8_t plain = 0;
    std::uint8_t hardwareCode = 0;
    std::uint8_t preparationCode = 0;
    std::uint8_t pending = 0;       // row 0 only
    std::uint8_t repeatAction = 0;  // row 0 only
};

// The image the current run programs.
struct ActiveImage {
    const std::uint8_t* data = nullptr;
    std::int32_t size = 0;
    const std::uint8_t* eepromBytes = nullptr;
    std::int32_t eepromCount = 0;
    const std::uint8_t* tailBytes = nullptr;
    std::int32_t tailCount = 0;
    std::uint8_t plain = 0;
    std::uint8_t hardwareCode = 0;     // image hardware code
    std::uint8_t preparationCode = 0;  // image preparation code
};

using ImageTable = std::array<std::array<ImageDescriptor, ImageColumns>, ImageRows>;

// A run's own copy of compiled-in bytes it has written into.
struct PatchedBytes {
    const std::uint8_t* source;       // the bytes this copy stands in for
    std::vector<std::uint8_t> bytes;
};

// The catalogue state of one updater: table, active image, pending count and
// the copies of image bytes its runs have patched. The compiled-in images are
// shared by every catalogue in the process and never written.
struct ImageCatalog {
    std::unique_ptr<ImageTable> table = std::make_unique<ImageTable>();  // zero-initialised
    ActiveImage active;
    std::uint8_t pendingCount = 0;
    bool hardwareCodeOutOfTable = false;  // last selection fell back to row 0 for code 255
    std::vector<PatchedBytes> patched;

    ImageDescriptor& cell(int row, int slot) { return (*table)[static_cast<std::size_t>(row)][static_cast<std::size_t>(slot)]; }
};

// Clears every size, wires the product's cells and marks the pending images.
// A cell whose bytes this catalogue has patched is wired to its copy, so a
// rebuilt table keeps the patches. The images must outlive the catalogue.
void BuildImageTable(ImageCatalog& catalog, std::span<const ProductCell> cells);
void BuildImageTable(ImageCatalog& catalog);  // with this build's product cells

// Marks row-0 images larger than 10 bytes pending; returns the pending count.
std::uint8_t MarkPendingImages(ImageCatalog& catalog);

// Copies the cell for (hardware code, slot of chip) into the active image,
// falling back to row 0 of the slot when the cell holds no image. Hardware
// code 255 has no row and selects row 0 directly.
ImageSlot SelectImage(ImageCatalog& catalog, std::uint8_t chipCode, std::uint8_t hardwareCode);

std::uint8_t ImagePending(const ImageCatalog& catalog, ImageSlot slot);
std::uint8_t RepeatAction(const ImageCatalog& catalog, ImageSlot slot);

// Records a programmed slot; the pending count drops only for a pending slot.
void MarkImageProgrammed(ImageCatalog& catalog, ImageSlot slot);
std::uint8_t PendingCount(const ImageCatalog& catalog);

// The catalogue's own writable copy of the `count` bytes at `bytes` (shared
// image bytes, or a copy it already holds), made on first use. Every cell and
// the active image that pointed at those bytes then point at the copy for the
// catalogue's life, so its later runs and listings see the patch and no other
// catalogue ever does.
std::span<std::uint8_t> PatchableCopy(ImageCatalog& catalog, const std::uint8_t* bytes, std::size_t count);

// Board designation of a hardware code; codes outside 1..32 are named as code 2.
std::string HardwareName(std::int32_t code);

struct ImageCodes {
    std::uint8_t hardwareCode;
    std::uint8_t preparationCode;
};

// Whether ReadImageCodes may read the image: a plain image is never read,
// any other must reach past the header (16 bytes on PIC18, 1026 on
// dsPIC33/PIC24).
bool HoldsImageCodes(ChipFamily family, const ActiveImage& image);

// Header codes of an image: the descriptor's codes for a plain image,
// otherwise the unscrambled header bytes of its family.
// Precondition: HoldsImageCodes(family, image).
ImageCodes ReadImageCodes(ChipFamily family, const ActiveImage& image);

// Header bytes XOR the mask, whatever the plain flag says (version listing).
ImageCodes ReadHeaderCodes(ChipFamily family, const std::uint8_t* data);

}  // namespace torvane
