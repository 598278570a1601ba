#pragma once
// Whether a module's memory holds the image it was updated with, judged row
// by row: a difference is explained only when the last write the device took
// at that place came from a frame the line had damaged in a way its checksum
// could not show. No updater can see such damage on this protocol; every
// other difference under a "Program Ok" is the updater's false success.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/bootsim/BootSim.h"

namespace torvane::bootsim {

// Starts the check's line that sums up a failed check whose every difference
// is explained; the line goes on with UnseenDamageText.
inline constexpr std::string_view ExplainedCheckText = "check explained";

// One flash row, or one EEPROM byte, that does not hold the image.
struct MemoryDifference {
    bool eeprom = false;
    std::uint32_t where = 0;       // flash: the row's address in address units; EEPROM: the index
    std::size_t firstByte = 0;     // flash: image byte offset of the first difference
    std::size_t bytes = 0;         // how many bytes differ there
    std::optional<int> lastWrite;  // the frame the device last accepted there
    bool explained = false;        // that frame was damaged by the line
};

struct ImageCheck {
    bool fits = true;             // false: the image is larger than this device's flash
    std::size_t compared = 0;     // flash bytes compared
    bool keptRows = false;        // rows of the protected range were left out
    std::uint32_t rowUnits = 1;   // address units of a flash row
    std::vector<MemoryDifference> differences;  // EEPROM first, then flash by address

    bool holds() const { return fits && differences.empty(); }
    bool allExplained() const;
};

// Compares a module's flash past the boot jump bytes (4 on PIC18 parts, 8 on
// dsPIC33/PIC24, which the updater replaces on purpose) and outside the rows
// its protected range keeps (which can never hold the image), and its EEPROM,
// with `program` (byte i is image offset i) and `eeprom` (from index 0).
ImageCheck CheckImage(const BootSim& module, const std::vector<std::uint8_t>& program,
                      const std::vector<std::uint8_t>& eeprom);

// What the check found, for the operator: one line per difference (a run of
// rows never written makes one line) and the
// verdict ("check passed", "check FAILED", or an ExplainedCheckText line
// naming UnseenDamageText). `image` names the image file.
std::vector<std::string> CheckLines(const ImageCheck& check, const std::string& image);

}  // namespace torvane::bootsim
