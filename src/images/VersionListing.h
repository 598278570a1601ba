#pragma once
// The list of carried firmware images that the version dialog shows: a header,
// a rule and one fixed-pitch line per image, naming the chip, the board with
// its connector and the preparation the image was built for.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "images/ImageTable.h"

namespace torvane {

inline constexpr std::string_view VersionHeaderLine = "Device - Print          - Preparation";
inline constexpr std::string_view VersionRuleLine = "-------------------------------------";

// Connector of a board, by hardware code (codes 1..32 are looked up).
inline constexpr std::array<const char*, 34> ConnectorNames{
    "UNK",   "UNK",   "14PIN", "16PIN", "16PIN", "16PIN", "16PIN", "16PIN", "16PIN",
    "16PIN", "16PIN", "16PIN", "16PIN", "16PIN", "DB9",   "16PIN", "16PIN", "16PIN",
    "16PIN", "16PIN", "RJ45",  "6PIN",  "16PIN", "16PIN", "16PIN", "14PIN", "16PIN",
    "16PIN", "16PIN", "16PIN", "16PIN", "16PIN", "16PIN", "16PIN",
};

// Preparation, by preparation code AND 0x6F; entry 0 is never shown.
inline constexpr std::array<const char*, 11> PreparationNames{
    "UNK", "CAN+SPI", "", "RES", "CAN", "SRV", "2RES", "CDC", "MXP/CDC", "WEX/NOK.", "ETH0",
};

// One image of the listing, as its line names it.
struct ImageVersion {
    std::string device;       // as listed: six characters, blank-padded
    std::string hardware;     // board designation
    std::string connector;
    std::string preparation;  // "UNKNOWN" when the code names none
    bool reserved = false;    // the line's "RES" marker
    std::uint8_t preparationCode = 0;
};

// The images a listing shows, in its order.
std::vector<ImageVersion> ListedImages(const ImageCatalog& catalog);

// How the line at `position` names an image (see FormatImageLine).
ImageVersion DescribeImage(std::uint8_t position, std::string_view deviceName, std::uint8_t hardwareCode,
                           std::uint8_t preparationCode);

// Appends the header line, the rule line and one line per listed image of
// `catalog`. Does not clear `lines`. A cell too short to hold its header
// codes counts as holding no image.
void ListImageVersions(const ImageCatalog& catalog, std::vector<std::string>& lines);

// Appends one image line. `position` is the number of image lines already
// appended in this listing; it picks the default names for a hardware code
// outside 1..32.
void FormatImageLine(std::uint8_t position, std::string_view deviceName, std::uint8_t hardwareCode,
                     std::uint8_t preparationCode, std::vector<std::string>& lines);

}  // namespace torvane
