#include "bootloader/Suitability.h"

#include <cstdio>

#include "bootloader/Verdicts.h"

namespace torvane {

namespace {

constexpr std::uint8_t HardwareAny = 0;
constexpr std::uint8_t HardwareNone = 255;
constexpr std::uint8_t HardwareWide = 0x20;    // an image for 0x20 also suits boards 0x10
constexpr std::uint8_t HardwareNarrow = 0x10;
constexpr std::uint8_t PrepResolverBit = 0x80; // bit 7
constexpr std::uint8_t PrepExtraBit = 0x10;    // bit 4
constexpr std::uint8_t PrepAnyWithBit7 = 3;    // a board prepared as 3 takes any bit-7 image
constexpr std::uint8_t PrepLowBits = 0x0F;
constexpr std::uint8_t PrepImageBits = 0x6F;   // image code without bits 4 and 7

bool LowBitsSuit(std::uint8_t d, std::uint8_t i) {
    switch (d) {
    case 1: return i == 1 || i == 4;
    case 2: return i == 1 || i == 2 || i == 4;
    case 5: return i == 4 || i == 5;
    default: return i == d;
    }
}

bool PreparationSuits(std::uint8_t dp, std::uint8_t ip) {
    if (dp == ip) return true;
    if (dp == PrepAnyWithBit7 && (ip & PrepResolverBit)) return true;
    if ((dp & PrepResolverBit) && (ip & PrepResolverBit)) return true;
    if ((dp & PrepExtraBit) && !(ip & PrepExtraBit)) return false;
    return LowBitsSuit(dp & PrepLowBits, ip & PrepImageBits);
}

}  // namespace

bool ImageSuitsBoard(std::uint8_t ih, std::uint8_t ip, std::uint8_t dh, std::uint8_t dp, bool identitySeen) {
    if (ih == HardwareAny || ih == HardwareNone || !identitySeen) return true;
    const bool hardwareSuits = ih == dh || (ih == HardwareWide && dh == HardwareNarrow);
    return hardwareSuits && PreparationSuits(dp, ip);
}

std::string NotSuitableText(std::string_view boardName, std::uint8_t imagePreparation) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*s - Preparation %x", static_cast<int>(boardName.size()), boardName.data(),
                  unsigned{imagePreparation});
    return text;
}

bool CheckSuitability(RunContext& ctx) {
    const auto& img = ctx.images.active;
    const auto& id = ctx.identity;
    if (ImageSuitsBoard(img.hardwareCode, img.preparationCode, id.hardwareCode, id.preparationCode,
                        id.identitySeen != 0))
        return true;
    ctx.outcome = Outcome::NotSuitable;
    RunView& view = ctx.runView();
    view.failed(NotSuitableText(HardwareName(img.hardwareCode), img.preparationCode));
    view.panel(DevicePanel, NotSuitableWarningText);
    view.panel(DetailPanel, NotSuitableDetailText);
    return false;
}

}  // namespace torvane
