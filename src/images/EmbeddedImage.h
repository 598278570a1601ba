#pragma once
// The compiled-in form of one firmware image, as the product packer emits it.

#include <cstdint>
#include <span>

namespace torvane {

// Static image data, read-only and shared by every run in the process; a run
// patches its own copy (see PatchableCopy).
struct EmbeddedImage {
    const std::uint8_t* data = nullptr;
    std::int32_t size = 0;  // 1 or less: no image
    const std::uint8_t* tailBytes = nullptr;
    std::int32_t tailCount = 0;
    const std::uint8_t* eepromBytes = nullptr;
    std::int32_t eepromCount = 0;
    std::uint8_t plain = 0;            // nonzero: stored unscrambled
    std::uint8_t hardwareCode = 0;     // codes the image was built for
    std::uint8_t preparationCode = 0;
};

// One image the product names for a cell of the image table.
struct ProductCell {
    std::uint8_t row;   // board hardware code
    std::uint8_t slot;  // image slot
    const EmbeddedImage* image;
};

}  // namespace torvane
