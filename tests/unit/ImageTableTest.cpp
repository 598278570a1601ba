#include <gtest/gtest.h>

#include <vector>

#include "images/ImageTable.h"
#include "images/ProductData.h"
#include "images/Scramble.h"

using namespace torvane;

namespace {

// A small product of our own: distinct images in a few cells, so every
// selection shows which cell it came from.
struct FixtureImage {
    std::vector<std::uint8_t> data, tail, eeprom;
    EmbeddedImage image;
    explicit FixtureImage(int size, std::uint8_t fill, std::uint8_t plain = 0)
        : data(static_cast<std::size_t>(size), fill), tail(2, 0x77), eeprom(1, 0) {
        image = {data.data(), size, tail.data(), 2, eeprom.data(), 0, plain, 0x11, 0x22};
    }
};

class ImageTableTest : public ::testing::Test {
protected:
    FixtureImage row0slot1{40, 0x01}, row5slot1{40, 0x51}, row16slot6{2000, 0x16}, row0slot6{2000, 0x06, 1},
        placeholder{1, 0xFF}, tenBytes{10, 0x0A}, elevenBytes{11, 0x0B};
    std::vector<ProductCell> cells{{0, 1, &row0slot1.image},  {5, 1, &row5slot1.image},
                                   {2, 1, &placeholder.image}, {16, 6, &row16slot6.image},
                                   {0, 6, &row0slot6.image},  {0, 2, &tenBytes.image},
                                   {0, 3, &elevenBytes.image}, {3, 3, &row0slot1.image} /* not wired */};
    ImageCatalog catalog;
    void SetUp() override { BuildImageTable(catalog, cells); }
    std::uint8_t SelectedFill() const { return catalog.active.data[0]; }
};

TEST_F(ImageTableTest, WiresOnlyTheWiringTableAndSharesRow16WithRow32) {
    EXPECT_EQ(catalog.cell(3, 3).size, 0);  // named but not a wired cell
    EXPECT_EQ(catalog.cell(32, 6).data, row16slot6.data.data());
    EXPECT_EQ(catalog.cell(32, 6).plain, 0);
    // Row 0 slot 6 takes plain and both codes from its image; no other cell does.
    EXPECT_EQ(catalog.cell(0, 6).plain, 1);
    EXPECT_EQ(catalog.cell(0, 6).hardwareCode, 0x11);
    EXPECT_EQ(catalog.cell(0, 1).hardwareCode, 0);
    EXPECT_EQ(catalog.cell(0, 1).plain, 0);
}

// A run's patch goes into this catalogue's copy: every cell sharing the bytes
// sees it, a rebuilt table keeps it, and neither the image nor another
// catalogue built from it ever does.
TEST_F(ImageTableTest, PatchesLandInThisCataloguesOwnCopy) {
    const auto jump = PatchableCopy(catalog, catalog.cell(16, 6).data, 4);
    jump[0] = 0xAB;
    EXPECT_EQ(catalog.cell(32, 6).data[0], 0xAB);  // row 32 runs row 16's image
    // A longer view of the same bytes keeps the patch; asked again, it is the same copy.
    const auto whole = PatchableCopy(catalog, catalog.cell(16, 6).data, 2000);
    EXPECT_EQ(whole[0], 0xAB);
    EXPECT_EQ(whole[1999], 0x16);
    EXPECT_EQ(PatchableCopy(catalog, row16slot6.data.data(), 2000).data(), whole.data());
    BuildImageTable(catalog, cells);
    EXPECT_EQ(catalog.cell(32, 6).data, whole.data());
    EXPECT_EQ(SelectImage(catalog, 252, 16), 6);
    EXPECT_EQ(SelectedFill(), 0xAB);

    ImageCatalog other;
    BuildImageTable(other, cells);
    EXPECT_EQ(other.cell(16, 6).data, row16slot6.data.data());
    EXPECT_EQ(row16slot6.data, std::vector<std::uint8_t>(2000, 0x16));
}

TEST_F(ImageTableTest, SelectionFallsBackToRowZero) {
    struct Case { std::uint8_t chip, hardware, slot, fill; };
    const Case cases[] = {
        {67, 2, 1, 0x01},    // placeholder in row 2 gives way to row 0
        {67, 5, 1, 0x51},    // the board's own image
        {252, 32, 6, 0x16},  // row 32 runs row 16's image
        {254, 3, 6, 0x06},   // row 3 not wired for slot 6
        {254, 255, 6, 0x06}, // no row for 255: row 0, without reading past the table
        {251, 5, 0, 0},      // unknown chips select slot 0 (empty here)
        {255, 0, 0, 0},
    };
    for (auto c : cases) {
        SCOPED_TRACE(testing::Message() << "chip " << int(c.chip) << " hardware " << int(c.hardware));
        EXPECT_EQ(SelectImage(catalog, c.chip, c.hardware), c.slot);
        if (c.fill) {
            EXPECT_EQ(SelectedFill(), c.fill);
        } else {
            EXPECT_LE(catalog.active.size, 1);
        }
    }
}

TEST_F(ImageTableTest, HardwareCode255IsNotedAsOutsideTheTable) {
    SelectImage(catalog, 252, 255);
    EXPECT_TRUE(catalog.hardwareCodeOutOfTable);
    SelectImage(catalog, 252, 16);
    EXPECT_FALSE(catalog.hardwareCodeOutOfTable);
}

TEST_F(ImageTableTest, PendingCountsOnlyImagesOfElevenBytesOrMore) {
    // Pending: slot 1 (40), slot 3 (11), slot 6 (2000). Slot 2 holds 10 bytes.
    EXPECT_EQ(PendingCount(catalog), 3);
    EXPECT_EQ(ImagePending(catalog, 2), PendingNone);
    EXPECT_EQ(ImagePending(catalog, 3), PendingYes);
    EXPECT_EQ(RepeatAction(catalog, 6), RepeatSendAccessFrames);
    EXPECT_EQ(RepeatAction(catalog, 7), RepeatSendAccessFrames);
    EXPECT_EQ(RepeatAction(catalog, 9), RepeatWaitOneSecond);
    EXPECT_EQ(RepeatAction(catalog, 1), RepeatProgramAgain);

    MarkImageProgrammed(catalog, 2);  // not pending: count unchanged
    EXPECT_EQ(ImagePending(catalog, 2), PendingDone);
    EXPECT_EQ(PendingCount(catalog), 3);
    MarkImageProgrammed(catalog, 3);
    MarkImageProgrammed(catalog, 3);  // twice lowers once
    EXPECT_EQ(PendingCount(catalog), 2);
    EXPECT_EQ(MarkPendingImages(catalog), 3);
    EXPECT_EQ(ImagePending(catalog, 3), PendingYes);
}

TEST(ProductImageTable, CarriesTwoPendingImages) {
    ImageCatalog catalog;
    BuildImageTable(catalog);
    EXPECT_EQ(MarkPendingImages(catalog), 2);
    EXPECT_EQ(catalog.cell(0, 6).size, 57592);
    EXPECT_EQ(catalog.cell(0, 6).tailCount, 8);
    EXPECT_EQ(catalog.cell(0, 6).eepromCount, 0);
    EXPECT_EQ(catalog.cell(0, 9).size, 26781);
    EXPECT_EQ(catalog.cell(0, 9).tailCount, 8);
    EXPECT_EQ(catalog.cell(0, 6).hardwareCode, 26);
    EXPECT_EQ(catalog.cell(0, 6).preparationCode, 0x84);
    // Every other wired cell is a placeholder of one byte.
    for (auto w : WiredCells) {
        if (!(w.row == 0 && (w.slot == 6 || w.slot == 9))) {
            EXPECT_EQ(catalog.cell(w.row, w.slot).size, 1);
        }
    }
    MarkImageProgrammed(catalog, 9);
    EXPECT_EQ(PendingCount(catalog), 1);
}

TEST(HardwareName, IsBoundedByTheTable) {
    EXPECT_EQ(HardwareName(0), HardwareName(2));
    EXPECT_EQ(HardwareName(33), HardwareName(2));
    EXPECT_EQ(HardwareName(-1), HardwareName(2));
    EXPECT_EQ(HardwareName(1), "UNK");
    EXPECT_EQ(HardwareName(26), "27");
    EXPECT_EQ(HardwareName(31), "32");
    EXPECT_EQ(HardwareName(32), product::HardwareNames[32]);
    for (int code = 2; code <= 25; ++code) EXPECT_LE(HardwareName(code).size(), 14u);
}

TEST(Scramble, MaskIsKeyPlusOffsetAndItsOwnInverse) {
    EXPECT_NE(product::ScrambleEnable, 0);
    EXPECT_EQ(ScrambleByte(0), product::ScrambleKey);
    EXPECT_EQ(ScrambleByte(1), static_cast<std::uint8_t>(product::ScrambleKey + 1));
    EXPECT_EQ(ScrambleByte(255), static_cast<std::uint8_t>(product::ScrambleKey + 255));
    for (int off : {0, 1, 0x40, 0x80, 0xFF}) EXPECT_EQ(ScrambleByte(static_cast<std::uint8_t>(off), 0), 0);
    const std::uint8_t b = 0x5A;
    EXPECT_EQ(static_cast<std::uint8_t>(b ^ ScrambleByte(0x40) ^ ScrambleByte(0x40)), b);
    // Row address low bytes: 64-byte rows at byte addresses, 256-byte rows at half addresses.
    EXPECT_EQ(RowAddressLowByte(ChipFamily::Pic18, 63), 0x00);
    EXPECT_EQ(RowAddressLowByte(ChipFamily::Pic18, 64), 0x40);
    EXPECT_EQ(RowAddressLowByte(ChipFamily::Pic18, 0x1C5), 0xC0);
    EXPECT_EQ(RowAddressLowByte(ChipFamily::Dspic, 255), 0x00);
    EXPECT_EQ(RowAddressLowByte(ChipFamily::Dspic, 256), 0x80);
    EXPECT_EQ(RowAddressLowByte(ChipFamily::Dspic, 1024), 0x00);
}

TEST(ReadImageCodes, TakesHeaderBytesOfTheFamilyOrThePlainDescriptor) {
    std::vector<std::uint8_t> data(1100, 0xFF);
    data[14] = static_cast<std::uint8_t>(0x1A ^ ScrambleByte(0));
    data[15] = static_cast<std::uint8_t>(0x84 ^ ScrambleByte(0));
    data[1024] = static_cast<std::uint8_t>(0x05 ^ ScrambleByte(0));
    data[1025] = static_cast<std::uint8_t>(0x02 ^ ScrambleByte(0));
    ActiveImage image{data.data(), 1100, nullptr, 0, nullptr, 0, 0, 0x33, 0x44};

    auto pic = ReadImageCodes(ChipFamily::Pic18, image);
    EXPECT_EQ(pic.hardwareCode, 0x1A);
    EXPECT_EQ(pic.preparationCode, 0x84);
    auto ds = ReadImageCodes(ChipFamily::Dspic, image);
    EXPECT_EQ(ds.hardwareCode, 0x05);
    EXPECT_EQ(ds.preparationCode, 0x02);

    image.plain = 1;  // codes from the descriptor, data not read
    auto plain = ReadImageCodes(ChipFamily::Dspic, image);
    EXPECT_EQ(plain.hardwareCode, 0x33);
    EXPECT_EQ(plain.preparationCode, 0x44);
    // The header reader ignores the plain flag.
    EXPECT_EQ(ReadHeaderCodes(ChipFamily::Dspic, data.data()).hardwareCode, 0x05);
}

}  // namespace
