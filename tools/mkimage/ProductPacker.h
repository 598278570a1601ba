#pragma once
// Reads the product configuration under product/ and writes it as C++ data.
// Every error names the file and line it comes from.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "images/Wiring.h"

namespace torvane::mkimage {

class PackError : public std::runtime_error {
public:
    PackError(const std::string& file, int line, const std::string& message);
    const std::string file;
    const int line;
};

using Bytes = std::vector<std::uint8_t>;

// One data record of an Intel HEX file, at its full (extended) address.
struct HexRecord {
    std::uint32_t address = 0;
    Bytes bytes;
    int line = 0;  // line of the file, for messages
};

// The data records of an Intel HEX file in file order, checked for form,
// checksum and end record; where they lie is not judged here.
std::vector<HexRecord> ReadHexRecords(std::string_view text, const std::string& file);

// Program memory of an Intel HEX file: byte i is address i; gaps read 0xFF.
// Data anywhere else is an error, whatever the chip family.
Bytes ParseIntelHex(std::string_view text, const std::string& file);

// A compiler's HEX file sorted by what the boot loader can do with each region
// of the given family: program memory, PIC18 data EEPROM, and regions it cannot
// write (configuration words, IDs), which are skipped with a note. Data in no
// known region is a PackError naming the record's line.
struct HexContent {
    Bytes program;           // byte i is address i; gaps read 0xFF
    Bytes eeprom;            // PIC18 data EEPROM from index 0; gaps read 0xFF
    int eepromLine = 0;      // first EEPROM record; 0 when the file holds none
    std::vector<std::string> notes;  // "file:line: note: ..." per skipped region
};
HexContent SortHexRecords(const std::vector<HexRecord>& records, ChipFamily family, const std::string& file);

// Whitespace-separated hexadecimal bytes; '#' starts a comment.
Bytes ParseByteList(std::string_view text, const std::string& file);

struct ScrambleConfig {
    std::uint8_t key = 0;
    std::uint8_t enable = 0;
};
ScrambleConfig ParseScrambleConfig(std::string_view text, const std::string& file);

std::vector<std::string> ParseHardwareNames(std::string_view text, const std::string& file);

struct ImageSpec {
    std::string name;
    std::string file;      // manifest file and line that declared it
    int line = 0;
    std::string hexFile;
    std::string eepromFile;  // the .eep file the manifest names, if any
    Bytes data;            // plain program memory
    Bytes tail;
    Bytes eeprom;          // as stored: sent to the device unchanged
    bool plain = false;
    std::uint8_t hardwareCode = 0;
    std::uint8_t preparationCode = 0;
    std::optional<ChipFamily> family;  // from the cells that name it
};

struct CellSpec {
    CellRef cell;
    std::size_t image;  // index into images
};

struct Product {
    std::optional<std::string> identity;
    ScrambleConfig scramble;
    std::vector<std::string> hardwareNames;
    std::vector<ImageSpec> images;
    std::vector<CellSpec> cells;
    std::vector<std::string> notes;  // for the build log: what was left out of the HEX files
};

// Reads and checks the whole configuration in `dir`.
Product LoadProduct(const std::filesystem::path& dir);

// The stored form of a plain image: each byte XOR the mask of its row address.
Bytes ScrambleImage(const Bytes& plain, ChipFamily family, ScrambleConfig scramble);

// C++ source defining the declarations of images/ProductData.h.
std::string GenerateSource(const Product& product);

}  // namespace torvane::mkimage
