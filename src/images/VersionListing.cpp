#include "images/VersionListing.h"

#include <cstdio>
#include <utility>

namespace torvane {

namespace {

constexpr std::uint8_t PreparationIndexMask = 0x6F;
constexpr std::uint8_t ReservedPreparationBit = 0x80;
constexpr int FirstNamedHardwareCode = 1;
constexpr int LastNamedHardwareCode = 32;
constexpr int DefaultHardwareCode = 2;   // named for unknown codes on the first six lines
constexpr int DefaultNamePositions = 6;  // lines 0..5 use hardware code 2's names

// slot, device name as listed (six characters)
struct ListedSlot {
    int slot;
    const char* deviceName;
};

constexpr ListedSlot DsPicSlot{6, "24HJ64"};
// Board rows listed for slot 6 when it has no fallback image; row 32 shares row 16's image.
constexpr int DsPicBoardRows[] = {5, 6, 7, 8, 11, 16, 19};
// Slots listed by fallback image, else by these board rows.
constexpr ListedSlot BoardSlots[] = {{1, "2580  "}, {0, "258   "}};
constexpr int Pic18BoardRows[] = {2, 4, 5, 6};
// Slots listed by their fallback image only.
constexpr ListedSlot FallbackOnlySlots[] = {{2, "2480  "}, {3, "248   "}, {4, "2320  "}, {5, "24J10 "}};

class Listing {
public:
    Listing(const ImageCatalog& catalog, std::vector<ImageVersion>& images) : catalog_(catalog), images_(images) {}

    // A cell lists when it holds an image long enough to carry its header codes.
    bool holdsImage(int row, int slot) const {
        const auto& d = cell(row, slot);
        return d.size > 1 && d.data != nullptr && d.size >= HeaderOffset(FamilyOfSlot(slot)) + 2;
    }

    void list(int row, ListedSlot s) {
        const auto codes = ReadHeaderCodes(FamilyOfSlot(s.slot), cell(row, s.slot).data);
        images_.push_back(DescribeImage(position_++, s.deviceName, codes.hardwareCode, codes.preparationCode));
    }

    // The fallback image alone, else every board image of `rows` in order.
    template <std::size_t N>
    void listSlot(ListedSlot s, const int (&rows)[N]) {
        if (holdsImage(0, s.slot)) {
            list(0, s);
            return;
        }
        for (int row : rows)
            if (holdsImage(row, s.slot)) list(row, s);
    }

private:
    const ImageDescriptor& cell(int row, int slot) const {
        return (*catalog_.table)[static_cast<std::size_t>(row)][static_cast<std::size_t>(slot)];
    }

    const ImageCatalog& catalog_;
    std::vector<ImageVersion>& images_;
    std::uint8_t position_ = 0;
};

}  // namespace

std::vector<ImageVersion> ListedImages(const ImageCatalog& catalog) {
    std::vector<ImageVersion> images;
    Listing listing(catalog, images);
    listing.listSlot(DsPicSlot, DsPicBoardRows);
    for (auto s : BoardSlots) listing.listSlot(s, Pic18BoardRows);
    for (auto s : FallbackOnlySlots)
        if (listing.holdsImage(0, s.slot)) listing.list(0, s);
    return images;
}

ImageVersion DescribeImage(std::uint8_t position, std::string_view deviceName, std::uint8_t hardwareCode,
                           std::uint8_t preparationCode) {
    const int code = static_cast<std::int8_t>(hardwareCode);
    ImageVersion v{std::string(deviceName), {}, {}, "UNKNOWN", false, preparationCode};
    if (code >= FirstNamedHardwareCode && code <= LastNamedHardwareCode) {
        v.hardware = HardwareName(code);
        v.connector = ConnectorNames[static_cast<std::size_t>(code)];
        v.reserved = (preparationCode & ReservedPreparationBit) != 0;
        const std::size_t index = preparationCode & PreparationIndexMask;
        if (index >= 1 && index < PreparationNames.size()) v.preparation = PreparationNames[index];
    } else if (position < DefaultNamePositions) {
        v.hardware = HardwareName(DefaultHardwareCode);
        v.connector = ConnectorNames[DefaultHardwareCode];
    } else {
        v.hardware = "UNK";
        v.connector = "16PIN";
    }
    return v;
}

namespace {

void AppendLine(const ImageVersion& v, std::vector<std::string>& lines) {
    // "%s - %s[%s] - %s  %s[Code:%02x]"
    char code2[3];
    std::snprintf(code2, sizeof code2, "%02x", static_cast<unsigned>(v.preparationCode));
    lines.push_back(v.device + " - " + v.hardware + "[" + v.connector + "] - " + v.preparation + "  " +
                    (v.reserved ? "RES" : " ") + "[Code:" + code2 + "]");
}

}  // namespace

void ListImageVersions(const ImageCatalog& catalog, std::vector<std::string>& lines) {
    lines.emplace_back(VersionHeaderLine);
    lines.emplace_back(VersionRuleLine);
    for (const auto& v : ListedImages(catalog)) AppendLine(v, lines);
}

void FormatImageLine(std::uint8_t position, std::string_view deviceName, std::uint8_t hardwareCode,
                     std::uint8_t preparationCode, std::vector<std::string>& lines) {
    AppendLine(DescribeImage(position, deviceName, hardwareCode, preparationCode), lines);
}

}  // namespace torvane
