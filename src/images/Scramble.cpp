#include "images/Scramble.h"

#include "images/ProductData.h"

namespace torvane {

std::uint8_t ScrambleByte(std::uint8_t offset, std::uint8_t enable) {
    return ScrambleMask(product::ScrambleKey, enable, offset);
}

std::uint8_t ScrambleByte(std::uint8_t offset) { return ScrambleByte(offset, product::ScrambleEnable); }

}  // namespace torvane
