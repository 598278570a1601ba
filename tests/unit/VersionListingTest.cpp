#include <gtest/gtest.h>

#include <deque>
#include <vector>

#include "images/Scramble.h"
#include "images/VersionListing.h"
#include "shell/ProductIdentity.h"

using namespace torvane;

namespace {

std::string Line(std::uint8_t position, std::string_view device, std::uint8_t hardware, std::uint8_t preparation) {
    std::vector<std::string> lines;
    FormatImageLine(position, device, hardware, preparation, lines);
    EXPECT_EQ(lines.size(), 1u);
    return lines.empty() ? "" : lines[0];
}

TEST(FormatImageLine, FillsTheColumnsFromTheCodes) {
    struct Case {
        const char* device;
        std::uint8_t position, hardware, preparation;
        std::string expected;
    };
    const std::string code2 = HardwareName(2), code25 = HardwareName(25), code32 = HardwareName(32);
    const Case cases[] = {
        {"24HJ64", 0, 26, 0x84, "24HJ64 - 27[16PIN] - CAN  RES[Code:84]"},
        {"2580  ", 1, 26, 0x10, "2580   - 27[16PIN] - UNKNOWN   [Code:10]"},  // bit 4 is not shown
        {"258   ", 6, 0, 0x05, "258    - UNK[16PIN] - UNKNOWN   [Code:05]"},   // unknown board, late line
        {"2480  ", 2, 0, 0x05, "2480   - " + code2 + "[14PIN] - UNKNOWN   [Code:05]"},
        {"248   ", 0, 25, 0x82, "248    - " + code25 + "[14PIN] -   RES[Code:82]"},  // empty preparation name
        {"248   ", 0, 25, 0x0B, "248    - " + code25 + "[14PIN] - UNKNOWN   [Code:0b]"},  // index 11
        {"258   ", 0, 33, 0x84, "258    - " + code2 + "[14PIN] - UNKNOWN   [Code:84]"},  // 33 is like 0
        {"258   ", 5, 0x80, 0xFF, "258    - " + code2 + "[14PIN] - UNKNOWN   [Code:ff]"},  // negative code
        {"258   ", 9, 0xE0, 0x84, "258    - UNK[16PIN] - UNKNOWN   [Code:84]"},
        {"2320  ", 3, 14, 0x1A, "2320   - " + HardwareName(14) + "[DB9] - ETH0   [Code:1a]"},
        {"2320  ", 3, 21, 0x01, "2320   - " + HardwareName(21) + "[6PIN] - CAN+SPI   [Code:01]"},
        {"24J10 ", 4, 32, 0xEF, "24J10  - " + code32 + "[16PIN] - UNKNOWN  RES[Code:ef]"},
        {"24J10 ", 4, 20, 0x00, "24J10  - " + HardwareName(20) + "[RJ45] - UNKNOWN   [Code:00]"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected);
        EXPECT_EQ(Line(c.position, c.device, c.hardware, c.preparation), c.expected);
    }
}

// Images made for the table cells, with their header codes scrambled as the
// listing expects whatever the plain flag says.
class VersionListingTest : public ::testing::Test {
protected:
    ImageCatalog catalog;
    std::deque<std::vector<std::uint8_t>> images;

    void Put(int row, int slot, std::uint8_t hardware, std::uint8_t preparation, int size = 0) {
        const int at = HeaderOffset(FamilyOfSlot(slot));
        if (size == 0) size = at + 2;
        auto& data = images.emplace_back(static_cast<std::size_t>(size), 0xEE);
        if (at + 1 < size) {
            data[static_cast<std::size_t>(at)] = hardware ^ ScrambleByte(0);
            data[static_cast<std::size_t>(at + 1)] = preparation ^ ScrambleByte(0);
        }
        auto& d = catalog.cell(row, slot);
        d.data = data.data();
        d.size = size;
    }

    std::vector<std::string> List() {
        std::vector<std::string> lines{"kept"};
        ListImageVersions(catalog, lines);
        EXPECT_EQ(lines.at(0), "kept");  // the caller clears, not the listing
        lines.erase(lines.begin());
        EXPECT_GE(lines.size(), 2u);
        if (lines.size() >= 2) {
            EXPECT_EQ(lines[0], "Device - Print          - Preparation");
            EXPECT_EQ(lines[1], "-------------------------------------");
            lines.erase(lines.begin(), lines.begin() + 2);
        }
        return lines;
    }
};

TEST_F(VersionListingTest, AnEmptyTableListsOnlyTheHeader) { EXPECT_TRUE(List().empty()); }

TEST_F(VersionListingTest, ListsBoardImagesInSlotOrderWhenThereIsNoFallback) {
    Put(5, 6, 26, 0x84);
    Put(11, 6, 3, 0x04);
    Put(32, 6, 3, 0x04);          // shares row 16's image: never listed
    Put(19, 6, 3, 0x04, 1025);    // too short for its header: no image
    Put(0, 1, 0, 0, 1);           // placeholder
    Put(5, 1, 4, 0x07);
    Put(2, 1, 2, 0x05);
    Put(0, 0, 0, 0x05);
    Put(2, 0, 3, 0x05);           // slot 0 has a fallback: board rows are not listed
    Put(0, 2, 3, 0x01, 15);       // PIC18 header needs 16 bytes
    Put(0, 3, 25, 0x82);
    catalog.cell(0, 3).plain = 1;  // the descriptor's codes are not used
    catalog.cell(0, 3).hardwareCode = 7;
    Put(0, 4, 0, 0x03);
    Put(0, 5, 0, 0x03);
    Put(0, 7, 3, 0x01);           // slots 7 to 9 are not listed
    Put(0, 9, 3, 0x01);

    const std::vector<std::string> expected{
        "24HJ64 - 27[16PIN] - CAN  RES[Code:84]",
        "24HJ64 - " + HardwareName(3) + "[16PIN] - CAN   [Code:04]",
        "2580   - " + HardwareName(2) + "[14PIN] - SRV   [Code:05]",
        "2580   - " + HardwareName(4) + "[16PIN] - CDC   [Code:07]",
        "258    - " + HardwareName(2) + "[14PIN] - UNKNOWN   [Code:05]",  // position 4: code 2's names
        "248    - " + HardwareName(25) + "[14PIN] -   RES[Code:82]",
        "2320   - UNK[16PIN] - UNKNOWN   [Code:03]",                      // position 6: UNK
        "24J10  - UNK[16PIN] - UNKNOWN   [Code:03]",
    };
    EXPECT_EQ(List(), expected);
}

TEST_F(VersionListingTest, AFallbackImageHidesTheBoardImagesOfItsSlot) {
    Put(0, 6, 26, 0x84);
    Put(5, 6, 3, 0x04);
    Put(0, 1, 26, 0x10);
    Put(4, 1, 3, 0x04);
    const std::vector<std::string> expected{
        "24HJ64 - 27[16PIN] - CAN  RES[Code:84]",
        "2580   - 27[16PIN] - UNKNOWN   [Code:10]",
    };
    EXPECT_EQ(List(), expected);
}

TEST(VersionListing, TheProductListsItsDsPicImageOnly) {
    auto id = ProductIdentity();
    if (!id || *id != "KBV 7E 02.10.04.01") GTEST_SKIP() << "built with another product";
    ImageCatalog catalog;
    BuildImageTable(catalog);
    std::vector<std::string> lines;
    ListImageVersions(catalog, lines);
    ASSERT_EQ(lines.size(), 3u);  // the slot 9 image is carried but not listed
    EXPECT_EQ(lines[2], "24HJ64 - 27[16PIN] - CAN  RES[Code:84]");
}

}  // namespace
