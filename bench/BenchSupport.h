#pragma once
// What the benchmarks share: the two product modules they update, their
// command line, and one whole update against a simulated module timed from
// the first wake-up to the verdict. Each benchmark keeps its settings in a
// TempConfigDir (the tests' own), never in the user's.

#include <cstdint>
#include <map>
#include <string>

#include "bootloader/EventPump.h"
#include "tools/bootsim/SimRunner.h"

namespace torvane::bench {

// A simulated module as the product ships it: chip, board and preparation
// code the boot loader reports, and the image's size for the table.
struct ProductModule {
    const char* name;
    const char* imageSize;
    std::uint8_t chip, hardware, preparation;

    bootsim::SimConfig simulated() const;
};
inline constexpr ProductModule ProductModules[] = {
    {"PIC18F26K80", "26,781 bytes", 72, 12, 0x04},
    {"dsPIC33FJ64", "57,592 bytes", 252, 26, 0x84},
};

// The benchmark's options, "--name N" each, from `defaults` (which also
// says which names exist). Anything else, or a value below 1, prints
// `usage` and ends the program with 2.
std::map<std::string, int> ParseOptions(int argc, char** argv, std::map<std::string, int> defaults, const char* usage);

struct UpdateFigures {
    double seconds = 0;
    int frames = 0;  // the simulated module received
    bool programmed = false;
};

// One whole update by the main window's Update button on COM7, against
// `module` on a pseudo-terminal at `baud` with wire time, waiting with `pump`.
UpdateFigures TimeOneUpdate(const bootsim::SimConfig& module, int baud, EventPump& pump);

}  // namespace torvane::bench
