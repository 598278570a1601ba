// The image inputs of the packer: an Intel HEX file and the product's
// small text files. Bad input must end in the packer's error, never a crash.

#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

#include "tools/mkimage/ProductPacker.h"

using namespace torvane;
using namespace torvane::mkimage;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::uint8_t which = data[0];
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    try {
        switch (which % 4) {
        case 0: {
            const auto records = ReadHexRecords(text, "fuzz.hex");
            SortHexRecords(records, which & 4 ? ChipFamily::Dspic : ChipFamily::Pic18, "fuzz.hex");
            break;
        }
        case 1: ParseByteList(text, "fuzz.tail"); break;
        case 2: ParseScrambleConfig(text, "scramble.conf"); break;
        case 3: ParseHardwareNames(text, "hardware-names.txt"); break;
        }
    } catch (const std::exception&) {
        // a clear error is the right answer to bad input
    }
    return 0;
}
